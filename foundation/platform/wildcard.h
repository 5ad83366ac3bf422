// The wildcard rules of folder searches, over any kind of text unit (code
// points on POSIX, UTF-16 units on Windows), already folded to one letter case:
// "*" matches any run of units, "?" exactly one, and a trailing "." followed
// only by "*" may also match the end of the name ("*.*" matches "README",
// "a.*" matches "a").
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv {
namespace platform {

// "*" and "?" matching of whole texts; after a mismatch the last "*" takes one
// more unit, which finds a match whenever one exists.
template <class Unit>
bool GlobMatch(const Unit* pattern, std::size_t patternLength, const Unit* name,
               std::size_t nameLength) {
    constexpr Unit kStar = '*', kQuestion = '?';
    std::size_t p = 0, n = 0;
    std::size_t starP = SIZE_MAX, starN = 0;
    while (n < nameLength) {
        if (p < patternLength && pattern[p] == kStar) {
            starP = p++;
            starN = n;
        } else if (p < patternLength && (pattern[p] == kQuestion || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (starP != SIZE_MAX) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < patternLength && pattern[p] == kStar)
        ++p;
    return p == patternLength;
}

// The pattern's length without a trailing ".*" (or ".**"...), or 0 when it
// has none: the second chance GlobMatch gives such patterns.
template <class Unit>
std::size_t DotStarEnd(const Unit* pattern, std::size_t patternLength) {
    std::size_t end = patternLength;
    while (end > 0 && pattern[end - 1] == Unit('*'))
        --end;
    return end < patternLength && end > 0 && pattern[end - 1] == Unit('.') ? end - 1 : 0;
}

// Whether `name` matches `pattern` by the rules above.
template <class Unit>
bool WildcardMatch(const Unit* pattern, std::size_t patternLength, const Unit* name,
                   std::size_t nameLength) {
    if (GlobMatch(pattern, patternLength, name, nameLength))
        return true;
    const std::size_t dotEnd = DotStarEnd(pattern, patternLength);
    return dotEnd > 0 && GlobMatch(pattern, dotEnd, name, nameLength);
}

}  // namespace platform
}  // namespace kv
