// BSTR storage: [4-byte byte length][UTF-16 text][terminating zero].
#include <cstdlib>
#include <cstring>
#include <limits>

#include "win32/bstr.h"

namespace {

constexpr std::size_t kPrefix = sizeof(std::uint32_t);

std::uint32_t* Header(BSTR bstr) {
    return reinterpret_cast<std::uint32_t*>(bstr) - 1;
}

BSTR Allocate(UINT length) {
    if (length > (std::numeric_limits<std::uint32_t>::max() - kPrefix) / sizeof(OLECHAR) - 1)
        return nullptr;
    void* block = std::malloc(kPrefix + (std::size_t(length) + 1) * sizeof(OLECHAR));
    if (!block)
        return nullptr;
    auto* header = static_cast<std::uint32_t*>(block);
    *header = static_cast<std::uint32_t>(length * sizeof(OLECHAR));
    BSTR text = reinterpret_cast<BSTR>(header + 1);
    text[length] = 0;
    return text;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
    if (!text)
        return nullptr;
    UINT length = 0;
    while (text[length])
        ++length;
    return SysAllocStringLen(text, length);
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    BSTR bstr = Allocate(length);
    if (bstr && text)
        std::memcpy(bstr, text, length * sizeof(OLECHAR));
    return bstr;
}

BOOL SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length) {
    // A fresh block, so that `text` may point into the old string.
    BSTR fresh = SysAllocStringLen(text, length);
    if (!fresh)
        return FALSE;
    SysFreeString(*bstr);
    *bstr = fresh;
    return TRUE;
}

UINT SysStringLen(BSTR bstr) {
    return bstr ? *Header(bstr) / sizeof(OLECHAR) : 0;
}

UINT SysStringByteLen(BSTR bstr) {
    return bstr ? *Header(bstr) : 0;
}

void SysFreeString(BSTR bstr) {
    if (bstr)
        std::free(Header(bstr));
}
