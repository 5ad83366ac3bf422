// File helpers of the file I/O, save and lock tests, on the standard library
// only, so that they check the layer without going through it.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kvtest {

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::filesystem::perms Perms(const std::filesystem::path& path) {
    return std::filesystem::status(path).permissions() & std::filesystem::perms::mask;
}

inline void SetPerms(const std::filesystem::path& path, std::filesystem::perms perms) {
    std::filesystem::permissions(path, perms, std::filesystem::perm_options::replace);
}

// The names in a folder, sorted.
inline std::vector<std::string> Names(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The permissions a new file gets here (0666 less the umask), found the way
// any program finds them: by making one.
inline std::filesystem::perms DefaultFilePerms(const std::filesystem::path& folder) {
    const std::filesystem::path probe = folder / "default-perms-probe";
    WriteBytes(probe, "");
    const std::filesystem::perms perms = Perms(probe);
    std::filesystem::remove(probe);
    return perms;
}

// Whether the process writes where permissions say it may not (root does).
inline bool IgnoresPermissions(const std::filesystem::path& scratch) {
    const std::filesystem::path folder = scratch / "permission-probe";
    std::filesystem::create_directory(folder);
    SetPerms(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const bool wrote = std::ofstream(folder / "x").is_open();
    SetPerms(folder, std::filesystem::perms::owner_all);
    std::filesystem::remove_all(folder);
    return wrote;
}

}  // namespace kvtest
