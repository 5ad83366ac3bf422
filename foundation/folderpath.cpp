#include "foundation/folderpath.h"

#include <string>

#include "foundation/filesave.h"
#include "win32/errors.h"
#include "win32/fileio.h"
#include "win32/files.h"
#include "foundation/platform/text.h"

namespace kv {
namespace {

DWORD Attributes(const _stringx& path) {
    return GetFileAttributesA(path.narrow());
}

bool IsAsciiLetter(OLECHAR c) {
    return (c >= OLESTR('A') && c <= OLESTR('Z')) || (c >= OLESTR('a') && c <= OLESTR('z'));
}

bool IsBlank(OLECHAR c) {
    return c == OLESTR(' ') || c == OLESTR('\t') || c == OLESTR('\n');
}

bool IsPosixRooted(const _stringx& path) {
    return platform::kPathSeparator == OLESTR('/') && !path.empty() && path[0] == OLESTR('/');
}

// What may follow the root: no doubled separator and no reserved character.
bool IsValidRest(const _stringx& rest, bool slashSeparates) {
    static const _stringx kReserved(OLESTR(":*?\"<>|"));
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const OLECHAR c = rest[i];
        const bool separator = c == OLESTR('\\') || (slashSeparates && c == OLESTR('/'));
        if (separator && i + 1 < rest.size() &&
            (rest[i + 1] == OLESTR('\\') || (slashSeparates && rest[i + 1] == OLESTR('/'))))
            return false;
        if (kReserved.find(c) != _stringx::npos || (c == OLESTR('/') && !slashSeparates))
            return false;
    }
    return true;
}

// Completes a drive path ("D", "D:", "D:x", "D\x"); false when it is none.
bool CompleteDrivePath(_stringx& path) {
    if (path.size() == 1)
        path.push_back(OLESTR(':'));
    if (path[1] == OLESTR(':')) {
        if (path.size() == 2)
            path.push_back(OLESTR('\\'));
        else if (path[2] != OLESTR('\\'))
            path.insert(2, 1, OLESTR('\\'));
    } else if (path[1] == OLESTR('\\')) {
        path.insert(1, 1, OLESTR(':'));
    } else {
        return false;
    }
    return IsAsciiLetter(path[0]);
}

// The length of the root: "\\server\share", "D:" or "/".
std::size_t RootLength(const _stringx& path) {
    if (IsPosixRooted(path))
        return 1;
    if (path.size() >= 3 && path[0] == OLESTR('\\') && path[1] == OLESTR('\\')) {
        const auto share = path.find(OLESTR('\\'), 2);
        if (share == _stringx::npos)
            return path.size();
        const auto end = path.find(OLESTR('\\'), share + 1);
        return end == _stringx::npos ? path.size() : end;
    }
    return 2;
}

}  // namespace

bool IsValidFolderPath(pathx& path, bool normalize) {
    std::size_t begin = 0, end = path.size();
    while (begin < end && IsBlank(path[begin]))
        ++begin;
    while (end > begin && IsBlank(path[end - 1]))
        --end;
    _stringx candidate(path.substr(begin, end - begin));
    if (candidate.empty())
        return false;

    bool valid;
    if (IsPosixRooted(candidate)) {
        valid = IsValidRest(_stringx(candidate.substr(1)), true) &&
                (candidate.size() < 2 || candidate[1] != OLESTR('/'));
    } else if (candidate.size() >= 3 && candidate[0] == OLESTR('\\') &&
               candidate[1] == OLESTR('\\')) {
        valid = IsAsciiLetter(candidate[2]) && IsValidRest(_stringx(candidate.substr(2)), false);
    } else {
        valid = CompleteDrivePath(candidate) && IsValidRest(_stringx(candidate.substr(2)), false);
    }
    if (valid && normalize)
        path = pathx(candidate);
    return valid;
}

long CreateFolderPath(pathx& path) {
    pathx normalized(path);
    if (!IsValidFolderPath(normalized, true))
        return E_INVALIDARG;
    if (!platform::IsPathSeparator(normalized.back()))
        normalized.push_back(IsPosixRooted(normalized) ? OLESTR('/') : OLESTR('\\'));

    // Every prefix that ends before a separator, from the root on, is a folder.
    for (std::size_t at = RootLength(normalized); at < normalized.size(); ++at) {
        if (!platform::IsPathSeparator(normalized[at]))
            continue;
        const _stringx folder(normalized.substr(0, at));
        if (folder.empty())
            continue;
        if (FolderExists(folder))
            continue;
        if (!CreateDirectoryA(folder.narrow(), nullptr)) {
            const DWORD error = GetLastError();
            if (static_cast<LONG>(error) <= 0)
                return static_cast<LONG>(error);
            return HRESULT_FROM_WIN32(error);
        }
    }
    path = normalized;
    return 0;
}

bool FileExists(const _stringx& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const _stringx& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const _stringx& path) {
    return Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool EnsureFolder(const _stringx& folder) {
    if (FolderExists(folder))
        return true;
    pathx path(folder);
    return CreateFolderPath(path) == 0;
}

namespace {

// The path of the existing file or folder `path`, every link resolved; empty
// when the system cannot tell.
_stringx FinalPath(const _stringx& path) {
    const HANDLE handle =
        CreateFileA(path.narrow(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return _stringx();
    std::string final;
    const bool known = FinalPathOf(handle, final);
    CloseHandle(handle);
    return known ? _stringx(final.c_str()) : _stringx();
}

}  // namespace

_stringx ResolveExistingPath(const _stringx& path) {
    const DWORD entryError = GetLastError();  // probing is no news to the caller
    _stringx existing = path;
    _stringx rest;
    _stringx resolved;
    while (!existing.empty()) {
        if (PathExists(existing)) {
            resolved = FinalPath(existing);
            break;
        }
        const _stringx parent = PathFolderPart(existing);
        if (parent.size() >= existing.size())
            break;
        rest = PathJoin(PathLastComponent(existing), rest);
        existing = parent;
    }
    SetLastError(entryError);
    return PathNormalize(resolved.empty() ? path : PathJoin(resolved, rest));
}

bool PathStaysInside(const _stringx& folder, const _stringx& path) {
    return PathIsInside(folder, path) &&
           PathIsInside(ResolveExistingPath(folder), ResolveExistingPath(path));
}

}  // namespace kv
