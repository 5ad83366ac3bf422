#include "capi/text.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>

#include "foundation/componentloader.h"
#include "foundation/platform/utf8.h"
#include "kvrepo_c.h"

namespace kvc {

int FromUtf8(const char* utf8, TextUse use, _stringx& text, bool nullable) {
    text.clear();
    if (!utf8)
        return nullable ? KVREPO_OK : KVREPO_E_NULL_ARGUMENT;
    std::basic_string<OLECHAR> decoded;
    const std::size_t length = std::strlen(utf8);
    decoded.reserve(length);
    if (!kv::utf8::AppendToUtf16(decoded, utf8, length, true))
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
    kv::utf8::AppendFromUtf16(out, text.c_str(), text.size());
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
