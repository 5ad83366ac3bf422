// The characters of XML 1.0 and the small pieces of markup built from them:
// which characters a document may hold, which make up names (the platform
// layer's rules, which the library's checks use too), and what a reference
// stands for. Texts are UTF-8, as pugixml keeps them.
#pragma once

#include <cstddef>
#include <string>

#include "foundation/platform/utf8.h"
#include "foundation/platform/xmlchars.h"

namespace kv {
namespace xmldom {

// The character whose UTF-8 starts at `p` (before `end`), with `p` moved past
// it; kv::utf8::kNotUtf8 (and `p` moved by one byte) when none starts there.
inline char32_t NextChar(const char*& p, const char* end) {
    return kv::utf8::Next(p, end);
}

inline bool IsXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

using xmlutils::IsAsciiNameStart;
using xmlutils::IsNameChar;
using xmlutils::IsNameStartChar;
using xmlutils::IsXmlChar;
using xmlutils::IsXmlName;
using xmlutils::IsXmlText;
inline bool IsXmlName(const std::string& name) {
    return IsXmlName(name.data(), name.size());
}

// The character that the reference after an "&" at `s` stands for (a
// character reference to an XML character, or one of the five predefined
// entities), with `after` set past its ";"; 0 when no such reference begins
// there. Reads no further than `end`.
char32_t ReferencedChar(const char* s, const char* end, const char*& after);

// Writes the UTF-8 of `c` at `out`; returns the end of what it wrote.
inline char* PutUtf8(char* out, char32_t c) {
    return kv::utf8::Put(out, c);
}

}  // namespace xmldom
}  // namespace kv
