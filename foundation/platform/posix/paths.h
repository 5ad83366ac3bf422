// Paths as the POSIX system wants them; shared by the layer's file functions.
#pragma once

#include <string>

namespace kv {
namespace platform {

// Paths from data files may carry Windows separators; the system takes "/" only.
inline std::string ToSystemPath(const char* path) {
    std::string converted(path);
    for (char& c : converted)
        if (c == '\\')
            c = '/';
    return converted;
}

// A dot file is hidden; "." and ".." name real folders and are not.
inline bool IsHiddenName(const std::string& path) {
    std::string::size_type end = path.size();
    while (end > 0 && path[end - 1] == '/')
        --end;
    if (end == 0)
        return false;
    const std::string::size_type slash = path.rfind('/', end - 1);
    const std::string::size_type begin = slash == std::string::npos ? 0 : slash + 1;
    const std::string name = path.substr(begin, end - begin);
    return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

}  // namespace platform
}  // namespace kv
