// UTF-8 and UTF-16, read and written the one way the whole code base uses:
// strict UTF-8 (no overlong form, no surrogate, nothing beyond U+10FFFF),
// surrogate pairs for what lies beyond U+FFFF. Inline: the XML component and
// the code-page conversions run these over every byte of a document.
#pragma once

#include <cstddef>
#include <string>

namespace kv {
namespace utf8 {

// What Next gives for bytes that are not UTF-8: no character at all.
constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

// What a lone surrogate becomes where UTF-16 is written out as UTF-8.
constexpr char32_t kReplacement = 0xFFFD;

// The character whose UTF-8 starts at `p` (before `end`), with `p` moved past
// it; kNotUtf8, with `p` moved by one byte, when none starts there.
inline char32_t Next(const char*& p, const char* end) {
    const auto lead = static_cast<unsigned char>(*p++);
    if (lead < 0x80)
        return lead;
    int extra;
    char32_t c, least;
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

// Writes the UTF-8 of `c` (at most U+10FFFF) at `out`; returns the end of
// what it wrote (at most four bytes on).
inline char* Put(char* out, char32_t c) {
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
        return out;
    }
    if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
    } else {
        if (c < 0x10000) {
            *out++ = static_cast<char>(0xE0 | (c >> 12));
        } else {
            *out++ = static_cast<char>(0xF0 | (c >> 18));
            *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        }
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
    return out;
}

inline void Append(std::string& out, char32_t c) {
    char bytes[4];
    out.append(bytes, static_cast<std::size_t>(Put(bytes, c) - bytes));
}

inline bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
inline bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The character of UTF-16 text at `i`, with `i` moved past it; a surrogate
// that is not half of a pair comes back as itself.
template <class Unit>
char32_t NextUtf16(const Unit* text, std::size_t length, std::size_t& i) {
    const char32_t c = static_cast<char16_t>(text[i++]);
    if (IsHighSurrogate(c) && i < length && IsLowSurrogate(static_cast<char16_t>(text[i])))
        return 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(text[i++]) - 0xDC00);
    return c;
}

// Appends the UTF-16 of `c`.
template <class Unit>
void AppendUtf16(std::basic_string<Unit>& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<Unit>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<Unit>(0xD800 + (c >> 10)));
        out.push_back(static_cast<Unit>(0xDC00 + (c & 0x3FF)));
    }
}

// Appends UTF-16 text as UTF-8; a lone surrogate becomes U+FFFD.
template <class Unit>
void AppendFromUtf16(std::string& out, const Unit* text, std::size_t length) {
    for (std::size_t i = 0; i < length;) {
        const char32_t c = NextUtf16(text, length, i);
        Append(out, c >= 0xD800 && c <= 0xDFFF ? kReplacement : c);
    }
}

// Appends UTF-8 text as UTF-16: false at the first byte that is not UTF-8
// when `strict`, otherwise one U+FFFD for each such byte.
template <class Unit>
bool AppendToUtf16(std::basic_string<Unit>& out, const char* text, std::size_t length,
                   bool strict) {
    const char* const end = text + length;
    for (const char* p = text; p < end;) {
        const char32_t c = Next(p, end);
        if (c == kNotUtf8) {
            if (strict)
                return false;
            out.push_back(static_cast<Unit>(kReplacement));
        } else {
            AppendUtf16(out, c);
        }
    }
    return true;
}

}  // namespace utf8
}  // namespace kv
