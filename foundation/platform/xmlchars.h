// The character classes of XML 1.0 (Fifth Edition): which characters a
// document may hold and which make up names, and the tests of whole texts
// built on them. One copy for the library's checks of a loaded document and
// the project's XML component, which checks its own input: both judge by the
// same rules because they call the same code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "foundation/platform/types.h"

namespace xmlutils {

// Elements nest at most this deep in a document the library or the XML
// component takes, as common strict parsers allow by default; repository
// files are a few levels deep, and a caller that walks a tree recursively
// stays within its stack.
constexpr unsigned kMaxElementDepth = 256;

// Whether UTF-8 text is printable ASCII only (U+0020 to U+007F), which needs
// no closer look: eight bytes at a time, since most texts are short names and
// values.
inline bool IsPrintableAscii(const char* text, std::size_t length) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kHigh = 0x8080808080808080u;
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text + i, sizeof word);
        // A byte from 0x80 on, or one below 0x20 (which borrows when 0x20 is
        // taken from it, setting its high bit where it had none).
        if ((word | ((word - 0x20 * kOnes) & ~word)) & kHigh)
            return false;
    }
    for (; i < length; ++i)
        if (static_cast<unsigned char>(text[i] - 0x20) >= 0x80 - 0x20)
            return false;
    return true;
}

// A character a document may hold: tab, line feed, carriage return and
// everything from U+0020 on but the surrogates, U+FFFE and U+FFFF.
constexpr bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The name-start characters of ASCII: letters, "_" and ":".
constexpr bool IsAsciiNameStart(char32_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
}

constexpr bool IsNameStartChar(char32_t c) {
    return IsAsciiNameStart(c) || (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) ||
           (c >= 0xF8 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
           (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0xEFFFF);
}

constexpr bool IsNameChar(char32_t c) {
    return IsNameStartChar(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// Whether the text is UTF-8 of XML characters only: no control character
// other than tab, line feed and carriage return, no surrogate, neither U+FFFE
// nor U+FFFF; a sequence that is not UTF-8 is no character at all.
bool IsXmlText(const char* text, std::size_t length);

// Whether UTF-8 text is an XML Name: a name-start character, then name
// characters (":" among both, as XML 1.0 has it).
bool IsXmlName(const char* text, std::size_t length);

// The same tests of UTF-16 text, where surrogates count only in pairs.
bool IsXmlText(const OLECHAR* text, std::size_t length);
bool IsXmlName(const OLECHAR* text, std::size_t length);

}  // namespace xmlutils
