// Code-page conversions. UTF-8 (the POSIX "ANSI" code page), Windows-1252 and
// ISO 8859-1 are converted here; other code pages through iconv.
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/platform/utf8.h"
#include "win32/codepage.h"
#include "win32/errors.h"

namespace {

// Windows-1252 bytes 0x80-0x9F; the five undefined bytes map to the same C1
// code point, as Windows does.
constexpr char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool IsUtf8(UINT cp) {
    return cp == CP_ACP || cp == CP_THREAD_ACP || cp == CP_UTF8 || cp == CP_OEMCP;
}

char16_t From1252(unsigned char b) {
    return b >= 0x80 && b < 0xA0 ? k1252High[b - 0x80] : b;
}

// A single byte for a UTF-16 unit in 1252 or 28591, or -1 when unmappable.
int ToSingleByte(UINT cp, char16_t c) {
    if (cp == CP_LATIN1)
        return c <= 0xFF ? c : -1;
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < 32; ++i)
        if (k1252High[i] == c)
            return 0x80 + i;
    return -1;
}

// Converts through iconv. Returns false when the code page is unknown.
bool IconvConvert(const char* to, const char* from, const char* in, std::size_t inBytes,
                  std::string& out, bool& lossy) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    char buffer[256];
    char* src = const_cast<char*>(in);
    while (inBytes > 0) {
        char* dst = buffer;
        std::size_t room = sizeof(buffer);
        std::size_t rc = iconv(cd, &src, &inBytes, &dst, &room);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // Skip one unconvertible unit and mark the loss.
            lossy = true;
            std::size_t skip = std::strcmp(from, "UTF-16LE") == 0 ? 2 : 1;
            if (skip > inBytes)
                skip = inBytes;
            src += skip;
            inBytes -= skip;
            out.append(std::strcmp(to, "UTF-16LE") == 0 ? std::string("\xFD\xFF", 2) : "?");
        }
    }
    // Some converters hold a character back in case a combining mark follows
    // (windows-1255 and windows-1258 do): the end of the input lets it out.
    char* dst = buffer;
    std::size_t room = sizeof(buffer);
    iconv(cd, nullptr, nullptr, &dst, &room);
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
    iconv_close(cd);
    return true;
}

// iconv's name of a Windows code page: the ISO 8859 parts and US-ASCII go by
// their own names, the rest by "CP" and the number.
std::string IconvName(UINT cp) {
    if (cp > 28590 && cp <= 28606)
        return "ISO-8859-" + std::to_string(cp - 28590);
    if (cp == 20127)
        return "ASCII";
    return "CP" + std::to_string(cp);
}

// Whether every unit is below 0x80; whole data files pass through here, so
// eight bytes are tested at a time.
template <class C>
bool IsAscii(const C* text, std::size_t length) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t size = length * sizeof(C);
    // The bits that are set in no ASCII unit of this width.
    const std::uint64_t high = sizeof(C) == 1 ? 0x8080808080808080ull : 0xFF80FF80FF80FF80ull;
    std::uint64_t bits = 0;
    for (; size >= 8; bytes += 8, size -= 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes, 8);
        bits |= word;
    }
    if ((bits & high) != 0)
        return false;
    unsigned rest = 0;
    const C* tail = reinterpret_cast<const C*>(bytes);
    for (std::size_t i = 0; i < size / sizeof(C); ++i)
        rest |= static_cast<unsigned>(tail[i]);
    return rest < 0x80;
}

int Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

// Copies a converted result into the caller's buffer with Win32 conventions.
template <class C, class S>
int Deliver(const S& converted, C* target, int targetUnits) {
    if (converted.empty())
        return Fail(ERROR_NO_UNICODE_TRANSLATION);
    const int units = static_cast<int>(converted.size());
    if (targetUnits == 0)
        return units;
    if (!target || targetUnits < units)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(target, converted.data(), converted.size() * sizeof(C));
    return units;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes, OLECHAR* target,
                        int targetChars) {
    if (!source || sourceBytes == 0 || sourceBytes < -1 || targetChars < 0)
        return Fail(ERROR_INVALID_PARAMETER);
    const std::size_t n = sourceBytes == -1 ? std::strlen(source) + 1 : std::size_t(sourceBytes);
    const auto* bytes = reinterpret_cast<const unsigned char*>(source);
    // Plain ASCII, by far the most common text (names, paths, whole data
    // files), is each byte as one unit in these code pages: no decoding and no
    // intermediate copy.
    if ((IsUtf8(codePage) || codePage == CP_WINDOWS1252 || codePage == CP_LATIN1) &&
        IsAscii(bytes, n)) {
        const int units = static_cast<int>(n);
        if (targetChars == 0)
            return units;
        if (!target || targetChars < units)
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        for (std::size_t i = 0; i < n; ++i)
            target[i] = bytes[i];
        return units;
    }
    std::u16string out;
    out.reserve(n);
    if (IsUtf8(codePage)) {
        // A malformed sequence is refused, or gives one U+FFFD per offending byte.
        if (!kv::utf8::AppendToUtf16(out, source, n, (flags & MB_ERR_INVALID_CHARS) != 0))
            return Fail(ERROR_NO_UNICODE_TRANSLATION);
    } else if (codePage == CP_WINDOWS1252 || codePage == CP_LATIN1) {
        for (std::size_t i = 0; i < n; ++i)
            out.push_back(codePage == CP_LATIN1 ? bytes[i] : From1252(bytes[i]));
    } else {
        std::string raw;
        bool lossy = false;
        if (codePage == CP_UTF16LE || codePage == CP_UTF16BE ||
            !IconvConvert("UTF-16LE", IconvName(codePage).c_str(), source, n, raw, lossy))
            return Fail(ERROR_INVALID_PARAMETER);
        if (lossy && (flags & MB_ERR_INVALID_CHARS))
            return Fail(ERROR_NO_UNICODE_TRANSLATION);
        for (std::size_t i = 0; i + 1 < raw.size(); i += 2)
            out.push_back(static_cast<char16_t>(static_cast<unsigned char>(raw[i]) |
                                                (static_cast<unsigned char>(raw[i + 1]) << 8)));
    }
    return Deliver(out, target, targetChars);
}

int WideCharToMultiByte(UINT codePage, DWORD, const OLECHAR* source, int sourceChars, LPSTR target,
                        int targetBytes, LPCSTR defaultChar, BOOL* usedDefaultChar) {
    if (!source || sourceChars == 0 || sourceChars < -1 || targetBytes < 0)
        return Fail(ERROR_INVALID_PARAMETER);
    std::size_t n = 0;
    if (sourceChars == -1) {
        while (source[n])
            ++n;
        ++n;
    } else {
        n = static_cast<std::size_t>(sourceChars);
    }
    if (usedDefaultChar)
        *usedDefaultChar = FALSE;
    if ((IsUtf8(codePage) || codePage == CP_WINDOWS1252 || codePage == CP_LATIN1) &&
        IsAscii(source, n)) {
        const int bytes = static_cast<int>(n);
        if (targetBytes == 0)
            return bytes;
        if (!target || targetBytes < bytes)
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        for (std::size_t i = 0; i < n; ++i)
            target[i] = static_cast<char>(source[i]);
        return bytes;
    }
    const char fallback = defaultChar ? *defaultChar : '?';
    std::string out;
    out.reserve(n);
    if (IsUtf8(codePage)) {
        kv::utf8::AppendFromUtf16(out, source, n);  // a lone surrogate: U+FFFD
    } else if (codePage == CP_WINDOWS1252 || codePage == CP_LATIN1) {
        for (std::size_t i = 0; i < n; ++i) {
            int b = ToSingleByte(codePage, source[i]);
            if (b < 0) {
                // A surrogate pair is one unmappable character.
                if (source[i] >= 0xD800 && source[i] <= 0xDBFF && i + 1 < n &&
                    source[i + 1] >= 0xDC00 && source[i + 1] <= 0xDFFF)
                    ++i;
                b = static_cast<unsigned char>(fallback);
                if (usedDefaultChar)
                    *usedDefaultChar = TRUE;
            }
            out.push_back(static_cast<char>(b));
        }
    } else {
        bool lossy = false;
        if (codePage == CP_UTF16LE || codePage == CP_UTF16BE ||
            !IconvConvert(IconvName(codePage).c_str(), "UTF-16LE",
                          reinterpret_cast<const char*>(source), n * 2, out, lossy))
            return Fail(ERROR_INVALID_PARAMETER);
        if (lossy && usedDefaultChar)
            *usedDefaultChar = TRUE;
    }
    return Deliver(out, target, targetBytes);
}

DWORD CharLowerBuffA(LPSTR text, DWORD length) {
    if (!text)
        return 0;
    auto* s = reinterpret_cast<unsigned char*>(text);
    for (DWORD i = 0; i < length; ++i) {
        if (s[i] >= 'A' && s[i] <= 'Z') {
            s[i] = static_cast<unsigned char>(s[i] + 0x20);
        } else if (s[i] == 0xC3 && i + 1 < length && s[i + 1] >= 0x80 && s[i + 1] <= 0x9E &&
                   s[i + 1] != 0x97) {
            // U+00C0-U+00DE (but U+00D7) in UTF-8: C3 80-9E; lower case is C3 A0-BE.
            s[i + 1] = static_cast<unsigned char>(s[i + 1] + 0x20);
            ++i;
        } else if (s[i] >= 0xC0) {
            // Skip the continuation bytes of any other multibyte character.
            while (i + 1 < length && (s[i + 1] & 0xC0) == 0x80)
                ++i;
        }
    }
    return length;
}
