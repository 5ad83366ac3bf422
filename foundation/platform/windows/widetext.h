// Conversions between the system's UTF-16 and narrow text, for the Windows
// side of the layer: the library's narrow text is in the ANSI code page, the
// tool's output in UTF-8.
#pragma once

#include <string>

#include "win32/types.h"

namespace kv {
namespace platform {

// `length` bytes of `text` (or up to its terminating zero, for -1) in
// `codePage`, as UTF-16. Empty for null or unconvertible text.
inline std::wstring WideText(UINT codePage, const char* text, int length = -1) {
    std::wstring wide;
    if (!text || length == 0)
        return wide;
    const int size = MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
    if (size <= 0)
        return wide;
    wide.resize(static_cast<std::size_t>(size));
    MultiByteToWideChar(codePage, 0, text, length, &wide[0], size);
    if (length < 0)
        wide.resize(static_cast<std::size_t>(size - 1));  // the terminating zero
    return wide;
}

// `length` UTF-16 units of `text` in `codePage`. With `exact`, false when one
// of them has no place in the code page (rather than the '?' or best-fit
// letter the system would put); UTF-8 holds every character. Without it,
// false only when nothing could be converted.
inline bool NarrowText(UINT codePage, const wchar_t* text, int length, std::string& narrow,
                       bool exact = true) {
    narrow.clear();
    if (length == 0)
        return true;
    // Neither flag nor the substitute check is allowed with UTF-8.
    const bool utf8 = codePage == CP_UTF8 || (codePage == CP_ACP && GetACP() == CP_UTF8);
    const bool check = exact && !utf8;
    const DWORD flags = check ? WC_NO_BEST_FIT_CHARS : 0;
    BOOL substituted = FALSE;
    BOOL* substitutes = check ? &substituted : nullptr;
    const int size =
        WideCharToMultiByte(codePage, flags, text, length, nullptr, 0, nullptr, substitutes);
    if (size <= 0 || substituted)
        return false;
    narrow.resize(static_cast<std::size_t>(size));
    return WideCharToMultiByte(codePage, flags, text, length, &narrow[0], size, nullptr,
                               substitutes) == size &&
           !substituted;
}

}  // namespace platform
}  // namespace kv
