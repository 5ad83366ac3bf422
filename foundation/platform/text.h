// The library's own text rules, the same on every platform: the path
// separators and the lower-casing rule by which file names are stored and
// matched ("FileName" values, wildcards). The rule is the library's, not the
// system's: Windows' own lower-casing also lowers letters such as U+0160 or
// U+0178 of its code pages, which would change stored names from one machine
// to the next.
#pragma once

#include <cstddef>

#include "foundation/platform/types.h"

namespace kv {
namespace platform {

// The separator that path joins insert.
#if defined(_WIN32)
constexpr OLECHAR kPathSeparator = OLESTR('\\');
#else
constexpr OLECHAR kPathSeparator = OLESTR('/');
#endif
// Both separate path components on every platform.
constexpr bool IsPathSeparator(OLECHAR c) {
    return c == OLESTR('\\') || c == OLESTR('/');
}
constexpr bool IsPathSeparator(char c) {
    return c == '\\' || c == '/';
}

// The lower-casing rule for one UTF-16 code unit: A-Z and the Latin-1
// capitals U+00C0-U+00DE except U+00D7 become lower case; nothing else changes.
constexpr OLECHAR AnsiLowerChar(OLECHAR c) {
    return (c >= OLESTR('A') && c <= OLESTR('Z')) || (c >= 0xC0 && c <= 0xDE && c != 0xD7)
               ? static_cast<OLECHAR>(c + 0x20)
               : c;
}

// Whether the file system finds a name in any letter case (Windows), so that
// a name that exists may still not be spelt as the file is.
#if defined(_WIN32)
constexpr bool kFileNamesIgnoreCase = true;
#else
constexpr bool kFileNamesIgnoreCase = false;
#endif

// Whether two path components (or roots) name the same entry, as the file
// system compares names: exactly on POSIX; ignoring letter case on Windows, as
// NTFS and network shares do (the system's ordinal case folding, which also
// covers letters outside Latin-1).
bool SameFileName(const OLECHAR* a, std::size_t aLength, const OLECHAR* b, std::size_t bLength);

}  // namespace platform
}  // namespace kv
