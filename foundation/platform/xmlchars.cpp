#include "foundation/platform/xmlchars.h"

#include <type_traits>

#include "foundation/platform/utf8.h"

namespace xmlutils {
namespace {

// The name characters (1) and name-start characters (2, also name
// characters) of ASCII, for the common case.
constexpr struct AsciiNameChars {
    unsigned char is[0x80] = {};
    constexpr AsciiNameChars() {
        for (char32_t c = 0; c < 0x80; ++c) {
            if ((c >= '0' && c <= '9') || c == '-' || c == '.')
                is[c] = 1;
            if (IsAsciiNameStart(c))
                is[c] = 3;
        }
    }
} kAsciiNameChars;

char32_t NextChar(const char* text, std::size_t length, std::size_t& i) {
    const char* p = text + i;
    const char32_t c = kv::utf8::Next(p, text + length);
    i = static_cast<std::size_t>(p - text);
    return c;
}

char32_t NextChar(const OLECHAR* text, std::size_t length, std::size_t& i) {
    return kv::utf8::NextUtf16(text, length, i);
}

// Whether `text` is an XML Name: a name-start character, then name
// characters, ASCII ones by table.
template <class Char>
bool IsName(const Char* text, std::size_t length) {
    if (length == 0)
        return false;
    // Names are nearly always ASCII: tested by table, unit by unit, until
    // the first unit that is not.
    typedef std::make_unsigned_t<Char> Unit;
    std::size_t i = 0;
    const Unit first = static_cast<Unit>(text[0]);
    if (first < 0x80) {
        if ((kAsciiNameChars.is[first] & 2) == 0)
            return false;
        i = 1;
    } else if (!IsNameStartChar(NextChar(text, length, i))) {
        return false;
    }
    while (i < length) {
        const Unit unit = static_cast<Unit>(text[i]);
        if (unit < 0x80) {
            if (kAsciiNameChars.is[unit] == 0)
                return false;
            ++i;
            continue;
        }
        std::size_t at = i;  // apart, so that `i` stays out of memory
        if (!IsNameChar(NextChar(text, length, at)))
            return false;
        i = at;
    }
    return true;
}

}  // namespace

bool IsXmlText(const char* text, std::size_t length) {
    // Whole documents pass through here: printable ASCII, nearly all of it,
    // is found eight bytes at a time; a text with anything else is read
    // again, ASCII byte by byte and the rest decoded.
    if (IsPrintableAscii(text, length))
        return true;
    const char* const end = text + length;
    for (const char* p = text; p < end;) {
        const auto c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c < 0x80) {
            ++p;
        } else if (c < 0x20) {
            if (c != '\t' && c != '\n' && c != '\r')
                return false;
            ++p;
        } else if (!IsXmlChar(kv::utf8::Next(p, end))) {
            return false;
        }
    }
    return true;
}

bool IsXmlName(const char* text, std::size_t length) {
    return IsName(text, length);
}

bool IsXmlText(const OLECHAR* text, std::size_t length) {
    // Nearly all of a text is printable and below the surrogates: tested in
    // one pass without a branch per unit, the rest one character at a time.
    unsigned other = 0;
    for (std::size_t i = 0; i < length; ++i)
        other |= static_cast<OLECHAR>(text[i] - 0x20) >= 0xD800 - 0x20;
    if (!other)
        return true;
    for (std::size_t i = 0; i < length;)
        if (!IsXmlChar(kv::utf8::NextUtf16(text, length, i)))
            return false;
    return true;
}

bool IsXmlName(const OLECHAR* text, std::size_t length) {
    return IsName(text, length);
}

}  // namespace xmlutils
