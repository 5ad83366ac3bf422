// Folder listing and wildcard matching on Windows. The folder is read with
// "*" and matched by the library's rules: the system's own matching also
// matches short 8.3 names ("*.xml" finding "notes.xmlx") and lowers letters by
// its own table.

#include "foundation/platform/find.h"

#include <cstdint>
#include <string>

#include "foundation/platform/faults.h"
#include "foundation/platform/text.h"
#include "foundation/platform/windows/widetext.h"
#include "foundation/platform/wildcard.h"

namespace {

// Narrow text in the ANSI code page as UTF-16.
std::wstring Wide(const char* text) {
    return kv::platform::WideText(CP_ACP, text);
}

// UTF-16 text lowered by the library's rule.
std::wstring Folded(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(kv::platform::AnsiLowerChar(c));
    return text;
}

bool Matches(const std::wstring& pattern, const std::wstring& name) {
    return kv::platform::WildcardMatch(pattern.data(), pattern.size(), name.data(), name.size());
}

}  // namespace

namespace kv {
namespace platform {

bool MatchWildcard(const char* pattern, const char* name) {
    return Matches(Folded(Wide(pattern)), Folded(Wide(name)));
}

DWORD ListFolder(const char* searchPath, std::vector<FolderEntry>& entries) {
    if (!searchPath) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    const std::string path(searchPath);
    const std::size_t split = path.find_last_of("\\/");
    const std::string folder =
        split == std::string::npos ? std::string() : path.substr(0, split + 1);
    const std::wstring pattern =
        Folded(Wide(path.substr(split == std::string::npos ? 0 : split + 1).c_str()));
    WIN32_FIND_DATAW found;
#ifdef KV_FAULT_INJECTION
    DecideFault(FileCall::kFolderList);  // counted only, never failed
#endif
    const HANDLE search =
        FindFirstFileExW(Wide((folder + "*").c_str()).c_str(), FindExInfoBasic, &found,
                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? DWORD(ERROR_SUCCESS) : error;
    }
    do {
        const std::wstring name(found.cFileName);
        if (name == L"." || name == L"..")
            continue;
        if (!Matches(pattern, Folded(name)))
            continue;
        std::string narrow;
        if (!NarrowText(CP_ACP, name.c_str(), static_cast<int>(name.size()), narrow, false) ||
            narrow.empty() || narrow.size() >= MAX_PATH)
            continue;
        entries.push_back({std::move(narrow),
                           (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
    } while (FindNextFileW(search, &found));
    const DWORD error = GetLastError();
    FindClose(search);
    if (error != ERROR_NO_MORE_FILES) {
        SetLastError(error);
        return error;
    }
    return ERROR_SUCCESS;
}

}  // namespace platform
}  // namespace kv
