// What the listing floors of the benchmarks share (bench/floors.cpp in the
// benchmark, bench/tool_floor.cpp as a program of its own, also built for
// Windows): one directory read per folder, and the patterns' match. The
// system and the C++ library alone, no code of the library or the tool.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#endif

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace kvbench {

// The names of the regular files in `folder`, as one directory read gives
// them (no status call per entry); false when the folder cannot be read.
inline bool ReadFileNames(const std::string& folder, std::vector<std::string>& names) {
#ifdef _WIN32
    WIN32_FIND_DATAA data;
    const HANDLE search =
        FindFirstFileExA((folder + "\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                         nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    do
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.emplace_back(data.cFileName);
    while (FindNextFileA(search, &data));
    FindClose(search);
#else
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return false;
    while (const dirent* entry = readdir(dir))
        if (entry->d_type == DT_REG)
            names.emplace_back(entry->d_name);
    closedir(dir);
#endif
    return true;
}

inline char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string Lower(std::string text) {
    for (char& c : text)
        c = LowerAscii(c);
    return text;
}

// Whether `name` ends in one of the extensions of `patterns` ("*.msm;*.txt";
// "*" or "*.*" takes every name), ASCII letter case ignored.
inline bool Matches(const std::string& name, const char* patterns) {
    for (const char* at = patterns;;) {
        const char* end = std::strchr(at, ';');
        const std::string_view pattern(at, end ? std::size_t(end - at) : std::strlen(at));
        if (pattern == "*" || pattern == "*.*")
            return true;
        if (pattern.size() >= 2 && pattern[0] == '*' && name.size() >= pattern.size() - 1) {
            const char* tail = name.c_str() + name.size() - (pattern.size() - 1);
            bool same = true;
            for (std::size_t i = 1; same && i < pattern.size(); ++i)
                same = LowerAscii(tail[i - 1]) == LowerAscii(pattern[i]);
            if (same)
                return true;
        }
        if (!end)
            return false;
        at = end + 1;
    }
}

}  // namespace kvbench
