#include "components/xmldom/xmlchars.h"

#include <cstring>

namespace kv {
namespace xmldom {

namespace {

int DigitValue(char c, bool hex) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

char32_t NextChar(const char*& p, const char* end) {
    const auto lead = static_cast<unsigned char>(*p++);
    if (lead < 0x80)
        return lead;
    int extra = 0;
    char32_t c = 0, least = 0;
    if ((lead & 0xE0) == 0xC0)
        extra = 1, c = lead & 0x1F, least = 0x80;
    else if ((lead & 0xF0) == 0xE0)
        extra = 2, c = lead & 0x0F, least = 0x800;
    else if ((lead & 0xF8) == 0xF0)
        extra = 3, c = lead & 0x07, least = 0x10000;
    else
        return kNotUtf8;
    if (end - p < extra)
        return kNotUtf8;
    for (int i = 0; i < extra; ++i) {
        const auto next = static_cast<unsigned char>(p[i]);
        if ((next & 0xC0) != 0x80)
            return kNotUtf8;
        c = (c << 6) | (next & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return kNotUtf8;
    p += extra;
    return c;
}

bool IsXmlText(const char* text, std::size_t length) {
    // Whole documents pass through here: printable ASCII, nearly all of it,
    // is found eight bytes at a time; a text with anything else is read
    // again, byte by byte.
    if (xmlutils::IsPrintableAscii(text, length))
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
        } else if (!IsXmlChar(NextChar(p, end))) {
            return false;
        }
    }
    return true;
}

bool IsXmlName(const char* text, std::size_t length) {
    const char* const end = text + length;
    const char* p = text;
    if (p == end || !IsNameStartChar(NextChar(p, end)))
        return false;
    while (p < end)
        if (!IsNameChar(NextChar(p, end)))
            return false;
    return true;
}

char32_t ReferencedChar(const char* s, const char* end, const char*& after) {
    static const struct {
        const char* name;
        std::size_t length;
        char character;
    } kPredefined[] = {
        {"lt;", 3, '<'}, {"gt;", 3, '>'}, {"amp;", 4, '&'}, {"apos;", 5, '\''}, {"quot;", 5, '"'}};
    const auto left = static_cast<std::size_t>(end - s);
    if (left == 0)
        return 0;
    if (*s != '#') {
        for (const auto& entity : kPredefined)
            if (left >= entity.length && std::memcmp(s, entity.name, entity.length) == 0) {
                after = s + entity.length;
                return static_cast<unsigned char>(entity.character);
            }
        return 0;
    }
    const bool hex = left > 1 && s[1] == 'x';
    const char* digits = s + (hex ? 2 : 1);
    const char* p = digits;
    char32_t value = 0;
    for (int digit; p < end && (digit = DigitValue(*p, hex)) >= 0; ++p)
        if ((value = value * (hex ? 16 : 10) + static_cast<char32_t>(digit)) > 0x10FFFF)
            return 0;
    if (p == digits || p == end || *p != ';' || !IsXmlChar(value))
        return 0;
    after = p + 1;
    return value;
}

char* PutUtf8(char* out, char32_t c) {
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

}  // namespace xmldom
}  // namespace kv
