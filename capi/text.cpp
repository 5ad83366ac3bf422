#include "capi/text.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>

#include "foundation/componentloader.h"
#include "kvrepo_c.h"

namespace kvc {
namespace {

// Appends the UTF-16 of one code point.
void Append(std::basic_string<OLECHAR>& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<OLECHAR>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<OLECHAR>(0xD800 + (c >> 10)));
        out.push_back(static_cast<OLECHAR>(0xDC00 + (c & 0x3FF)));
    }
}

// Decodes strict UTF-8 (no overlong forms, no surrogates, nothing above
// U+10FFFF) into UTF-16; false at the first fault.
bool Decode(const char* text, std::basic_string<OLECHAR>& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            out.push_back(static_cast<OLECHAR>(lead));
            ++p;
            continue;
        }
        int length;
        char32_t c, least;
        if ((lead & 0xE0) == 0xC0) {
            length = 2, c = lead & 0x1F, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, c = lead & 0x0F, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, c = lead & 0x07, least = 0x10000;
        } else {
            return false;
        }
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;  // also where the text ends early
            c = (c << 6) | (p[i] & 0x3F);
        }
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        Append(out, c);
        p += length;
    }
    return true;
}

}  // namespace

int FromUtf8(const char* utf8, TextUse use, _stringx& text, bool nullable) {
    text.clear();
    if (!utf8)
        return nullable ? KVREPO_OK : KVREPO_E_NULL_ARGUMENT;
    std::basic_string<OLECHAR> decoded;
    decoded.reserve(std::strlen(utf8));
    if (!Decode(utf8, decoded))
        return KVREPO_E_INVALID_UTF8;
    text = _stringx(decoded.c_str(), decoded.size());
    if (use == TextUse::kPlain || text.empty())
        return KVREPO_OK;
    // What the system will be handed must come back as it went.
    if (_stringx(text.narrow()) != text)
        return KVREPO_E_UNREPRESENTABLE;
    if (use == TextUse::kPath)
        text = AbsolutePath(text);
    return KVREPO_OK;
}

std::string ToUtf8(const _stringx& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char16_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
            static_cast<char16_t>(text[i + 1]) >= 0xDC00 &&
            static_cast<char16_t>(text[i + 1]) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(text[++i]) - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

char* OwnedUtf8(const _stringx& text) {
    const std::string utf8 = ToUtf8(text);
    char* copy = static_cast<char*>(std::malloc(utf8.size() + 1));
    if (!copy)
        throw std::bad_alloc();
    std::memcpy(copy, utf8.c_str(), utf8.size() + 1);
    return copy;
}

_stringx AbsolutePath(const _stringx& path) {
    if (path.empty())
        return path;
    const std::filesystem::path given(path.begin(), path.end());
    std::filesystem::path absolute;
    {
        // A component load elsewhere may have switched the current folder.
        const std::lock_guard<std::recursive_mutex> lock(kv::ComponentLoader::CurrentFolderMutex());
        std::error_code error;
        absolute = std::filesystem::absolute(given, error);
        if (error)
            return path;
    }
    const auto text = absolute.lexically_normal().string<OLECHAR>();
    return _stringx(text.c_str(), text.size());
}

}  // namespace kvc
