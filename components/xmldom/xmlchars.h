// The characters of XML 1.0 and the small pieces of markup built from them:
// which characters a document may hold, which make up names, and what a
// reference stands for. Texts are UTF-8, as pugixml keeps them.
#pragma once

#include <cstddef>
#include <string>

#include "xml/xmlchars.h"

namespace kv {
namespace xmldom {

// What NextChar gives for bytes that are not UTF-8: no XML character.
constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

// The character whose UTF-8 starts at `p` (before `end`), with `p` moved past
// it; kNotUtf8 (and `p` moved by one byte) when none starts there.
char32_t NextChar(const char*& p, const char* end);

inline bool IsXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

using xmlutils::IsAsciiNameStart;
using xmlutils::IsNameChar;
using xmlutils::IsNameStartChar;
using xmlutils::IsXmlChar;

// Whether the text is UTF-8 of XML characters only: no control character
// other than tab, line feed and carriage return, no surrogate, neither
// U+FFFE nor U+FFFF.
bool IsXmlText(const char* text, std::size_t length);

// Whether the text is an XML Name: a name-start character, then name
// characters.
bool IsXmlName(const char* text, std::size_t length);
inline bool IsXmlName(const std::string& name) {
    return IsXmlName(name.data(), name.size());
}

// The character that the reference after an "&" at `s` stands for (a
// character reference to an XML character, or one of the five predefined
// entities), with `after` set past its ";"; 0 when no such reference begins
// there. Reads no further than `end`.
char32_t ReferencedChar(const char* s, const char* end, const char*& after);

// Writes the UTF-8 of `c` at `out`; returns the end of what it wrote.
char* PutUtf8(char* out, char32_t c);

}  // namespace xmldom
}  // namespace kv
