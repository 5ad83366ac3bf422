// Fuzzes the wildcard matcher of the directory search. The input is a pattern
// and a name separated by the first NUL byte (a missing NUL makes the whole
// input the pattern and the name).
//
// Checked: "*" and "*.*" match every name; every name matches itself and its
// copy with letters swapped to the other case (by the lower-casing rule); for
// valid UTF-8, the result equals a straightforward reference matcher over
// lower-cased code points, including the rule that a trailing ".*" also
// matches the end of the name. Long runs of "*" must not make it slow (the
// run's -timeout catches that).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "win32/codepage.h"
#include "foundation/platform/find.h"
#include "fuzz_util.h"
#include "foundation/platform/text.h"

namespace {

using kv::platform::MatchWildcard;

// Decodes strict UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF) into lower-cased code points; false for anything else.
bool LowerCodePoints(const std::string& text, std::vector<char32_t>& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int extra = lead < 0x80    ? 0
                          : lead >= 0xF0 ? 3
                          : lead >= 0xE0 ? 2
                          : lead >= 0xC0 ? 1
                                         : -1;
        if (extra < 0 || lead > 0xF4 || i + extra >= text.size())
            return false;
        char32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        static const char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        out.push_back(cp <= 0xFFFF ? kv::platform::AnsiLowerChar(static_cast<OLECHAR>(cp)) : cp);
        i += extra + 1;
    }
    return true;
}

// Whole-text "*" and "?" matching by dynamic programming over the name.
bool Reference(const std::vector<char32_t>& pattern, std::size_t patternLength,
               const std::vector<char32_t>& name) {
    // row[j]: the pattern so far matches the first j characters of the name.
    std::vector<char> row(name.size() + 1, 0);
    row[0] = 1;
    for (std::size_t i = 0; i < patternLength; ++i) {
        const char32_t p = pattern[i];
        if (p == U'*') {
            for (std::size_t j = 1; j <= name.size(); ++j)
                row[j] = row[j] || row[j - 1];
        } else {
            for (std::size_t j = name.size(); j > 0; --j)
                row[j] = row[j - 1] && (p == U'?' || p == name[j - 1]);
            row[0] = 0;
        }
    }
    return row[name.size()] != 0;
}

bool ReferenceMatch(const std::vector<char32_t>& pattern, const std::vector<char32_t>& name) {
    if (Reference(pattern, pattern.size(), name))
        return true;
    // "x.*" (any number of trailing stars) also matches "x".
    std::size_t end = pattern.size();
    while (end > 0 && pattern[end - 1] == U'*')
        --end;
    return end < pattern.size() && end > 1 && pattern[end - 1] == U'.' &&
           Reference(pattern, end - 1, name);
}

// The name with ASCII letters and the Latin-1 letters of the rule swapped to
// the other case.
std::string SwapCase(const std::string& name) {
    std::string swapped;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c >= 'a' && c <= 'z')
            swapped += static_cast<char>(c - 32);
        else if (c >= 'A' && c <= 'Z')
            swapped += static_cast<char>(c + 32);
        else if (c == 0xC3 && i + 1 < name.size()) {
            // U+00C0-U+00DE (not U+00D7) <-> U+00E0-U+00FE: second byte 0x80-0x9E <-> 0xA0-0xBE.
            const auto next = static_cast<unsigned char>(name[i + 1]);
            swapped += name[i++];
            if (next >= 0x80 && next <= 0x9E && next != 0x97)
                swapped += static_cast<char>(next + 0x20);
            else if (next >= 0xA0 && next <= 0xBE && next != 0xB7)
                swapped += static_cast<char>(next - 0x20);
            else
                swapped += static_cast<char>(next);
        } else {
            swapped += static_cast<char>(c);
        }
    }
    return swapped;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string pattern = input.substr(0, nul);
    std::string name = nul == std::string::npos ? pattern : input.substr(nul + 1);
    name.erase(std::find(name.begin(), name.end(), '\0'), name.end());

    const bool matched = MatchWildcard(pattern.c_str(), name.c_str());
    FUZZ_CHECK(MatchWildcard("*", name.c_str()));
    FUZZ_CHECK(MatchWildcard("*.*", name.c_str()));
    if (name.find_first_of("*?") == std::string::npos) {
        FUZZ_CHECK(MatchWildcard(name.c_str(), name.c_str()));
        FUZZ_CHECK(MatchWildcard(SwapCase(name).c_str(), name.c_str()));
    }

    std::vector<char32_t> patternPoints, namePoints;
    if (LowerCodePoints(pattern, patternPoints) && LowerCodePoints(name, namePoints))
        FUZZ_CHECK(matched == ReferenceMatch(patternPoints, namePoints));
    return 0;
}
