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

}  // namespace xmldom
}  // namespace kv
