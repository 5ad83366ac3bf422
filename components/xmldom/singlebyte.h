// Documents in single-byte code pages: decoding, and writing serialised markup
// so that no character is lost to the code page's smaller repertoire.
#pragma once

#include <string>

#include "foundation/platform/types.h"

namespace kv {
namespace xmldom {

// US-ASCII, which this component converts itself.
constexpr UINT kAsciiCodePage = 20127;

// The text of bytes in a single-byte code page. False when the code page
// cannot be converted or a byte stands for no character in it.
bool DecodeSingleByte(UINT codePage, const std::string& bytes, std::basic_string<OLECHAR>& text);

// Serialised markup written in a single-byte code page. A character the code
// page lacks becomes a character reference (&#N;) in text and attribute
// values, and leaves and re-enters a CDATA section to stand as one there; in
// names, comments, processing instructions and the document type, where no
// reference is possible, it becomes "?". False when the code page cannot be
// converted.
bool EncodeSingleByte(UINT codePage, const std::basic_string<OLECHAR>& text, std::string& bytes);

}  // namespace xmldom
}  // namespace kv
