// Text conversions of the document component: the tree holds UTF-8, the
// interfaces speak UTF-16 (BSTR and VARIANT).
#pragma once

#include <string>

#include "win32/bstr.h"
#include "foundation/platform/variant.h"

namespace kv {
namespace xmldom {

std::string Utf8FromUtf16(const OLECHAR* text, std::size_t length);
std::basic_string<OLECHAR> Utf16FromUtf8(const char* text, std::size_t length);
inline std::string Utf8FromBstr(BSTR text) {
    return Utf8FromUtf16(text, SysStringLen(text));
}

// A new BSTR (and a text variant) holding UTF-8 text; E_OUTOFMEMORY.
HRESULT NewBstr(const std::string& utf8, BSTR* out);
HRESULT NewBstr(const char* utf8, std::size_t length, BSTR* out);
HRESULT NewTextVariant(const std::string& utf8, VARIANT* out);
HRESULT NewTextVariant(const char* utf8, std::size_t length, VARIANT* out);

// The UTF-16 length of UTF-8 text as NewBstr converts it (0 for text that
// does not convert); `ascii` tells whether each byte is one unit. WriteUtf16
// writes those units.
std::size_t Utf16Units(const char* utf8, std::size_t length, bool& ascii);
void WriteUtf16(const char* utf8, std::size_t length, bool ascii, OLECHAR* out, std::size_t units);
// UTF-8 text converted as NewBstr converts it, into the start of `buffer`
// (grown when too short, never shrunk); returns the number of units.
std::size_t ToUtf16(const char* utf8, std::size_t length, std::basic_string<OLECHAR>& buffer);

// The text form of any variant (VariantChangeType to VT_BSTR) as UTF-8.
HRESULT VariantText(const VARIANT& value, std::string& utf8);

}  // namespace xmldom
}  // namespace kv
