// File attributes and the current directory on POSIX.

#include "foundation/platform/posix/errno.h"
#include "win32/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "win32/errors.h"
#include "foundation/platform/posix/faults.h"
#include "foundation/platform/posix/paths.h"

using kv::platform::IsHiddenName;
using kv::platform::ToSystemPath;

DWORD GetFileAttributesA(LPCSTR path) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    const std::string systemPath = ToSystemPath(path);
    struct stat status;
    if (CountedStat(systemPath.c_str(), &status) != 0) {
        kv::platform::SetLastErrorFromErrno();
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = 0;
    if (S_ISDIR(status.st_mode))
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (!(status.st_mode & S_IWUSR))
        attributes |= FILE_ATTRIBUTE_READONLY;
    if (IsHiddenName(systemPath))
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    std::string cwd(256, '\0');
    while (!getcwd(&cwd[0], cwd.size())) {
        if (errno != ERANGE) {
            kv::platform::SetLastErrorFromErrno(kv::platform::ErrnoTarget::kFolder);
            return 0;
        }
        cwd.resize(cwd.size() * 2);
    }
    const std::size_t length = std::strlen(cwd.c_str());
    if (!buffer || size <= length)
        return static_cast<DWORD>(length + 1);
    std::memcpy(buffer, cwd.c_str(), length + 1);
    return static_cast<DWORD>(length);
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string systemPath = ToSystemPath(path);
    if (chdir(systemPath.c_str()) != 0) {
        const int error = errno;
        struct stat status;
        // Windows names a file given in place of a folder "invalid directory name".
        if (error == ENOTDIR && CountedStat(systemPath.c_str(), &status) == 0 &&
            !S_ISDIR(status.st_mode))
            SetLastError(ERROR_DIRECTORY);
        else
            SetLastError(
                kv::platform::Win32ErrorFromErrno(error, kv::platform::ErrnoTarget::kFolder));
        return FALSE;
    }
    return TRUE;
}
