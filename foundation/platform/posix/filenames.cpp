// Files by name on POSIX: deleting, renaming, replacing, temporary names,
// attributes, and folder creation and removal.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "foundation/platform/text.h"
#include "foundation/platform/posix/errno.h"
#include "foundation/platform/posix/faults.h"
#include "foundation/platform/posix/filehandle.h"
#include "foundation/platform/posix/paths.h"
#include "win32/errors.h"
#include "win32/fileio.h"
#include "win32/files.h"

using namespace kv::platform;

namespace {

// A fresh candidate for a temporary name. The process id is mixed in so that a
// forked child whose generator state is a copy of its parent's still draws
// other numbers.
UINT NextUniqueNumber() {
    thread_local std::mt19937 generator{std::random_device{}()};
    UINT value = 0;
    while (value == 0)
        value = static_cast<UINT>(generator()) ^ (static_cast<UINT>(getpid()) * 2654435761u);
    return value;
}

}  // namespace

BOOL DeleteFileA(LPCSTR path) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string systemPath = ToSystemPath(path);
    // A link is deleted itself, so its own (always writable) mode is what counts.
    struct stat status;
    if (CountedLstat(systemPath.c_str(), &status) != 0) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    if (S_ISDIR(status.st_mode) || IsReadOnly(status)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (FaultHits(FileCall::kDelete) || unlink(systemPath.c_str()) != 0) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

BOOL MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags) {
    if (!existing || !target ||
        (flags & ~static_cast<DWORD>(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string from = ToSystemPath(existing);
    const std::string to = ToSystemPath(target);
    struct stat source;
    if (CountedLstat(from.c_str(), &source) != 0) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    struct stat replaced;
    const bool targetExists = CountedLstat(to.c_str(), &replaced) == 0;
    if (targetExists) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
        // Windows replaces neither a folder nor a read-only file.
        if (S_ISDIR(replaced.st_mode) || IsReadOnly(replaced)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }

    if (FaultHits(FileCall::kRename)) {
        SetLastErrorFromErrno(ErrnoTarget::kFolder);
        return FALSE;
    }
    int result = -1;
    bool renamed = false;
#if defined(RENAME_NOREPLACE)
    // Without permission to replace, a target that appears after the check
    // above must still not be overwritten.
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
        result = renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
        renamed = result == 0 || (errno != ENOSYS && errno != EINVAL);
    }
#endif
    if (!renamed)
        result = rename(from.c_str(), to.c_str());
    if (result != 0) {
        SetLastErrorFromErrno(ErrnoTarget::kFolder);  // EEXIST: ERROR_ALREADY_EXISTS
        return FALSE;
    }
    if (flags & MOVEFILE_WRITE_THROUGH) {
        const std::string toFolder = FolderOf(to);
        const std::string fromFolder = FolderOf(from);
        if (!FlushFolder(toFolder) || (fromFolder != toFolder && !FlushFolder(fromFolder)))
            return FALSE;
    }
    return TRUE;
}

BOOL ReplaceFileA(LPCSTR replaced, LPCSTR replacement, LPCSTR backup, DWORD flags, void* exclude,
                  void* reserved) {
    if (!replaced || !replacement || backup || flags || exclude || reserved) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string oldPath = ToSystemPath(replaced);
    const std::string newPath = ToSystemPath(replacement);
    struct stat old;
    if (CountedStat(oldPath.c_str(), &old) != 0) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    if (S_ISDIR(old.st_mode) || IsReadOnly(old)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const int fd = FaultHits(FileCall::kOpen) ? -1 : open(newPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    struct stat current;
    if (fstat(fd, &current) != 0) {
        SetLastErrorFromErrno();
        close(fd);
        return FALSE;
    }
    if (!S_ISREG(current.st_mode)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (current.st_dev != old.st_dev) {
        close(fd);
        SetLastError(ERROR_NOT_SAME_DEVICE);
        return FALSE;
    }
    // Owner and group first: a change of owner clears set-id bits that the
    // mode then puts back. Only a privileged process may give a file away.
    const bool owned = current.st_uid != old.st_uid || current.st_gid != old.st_gid;
    if (owned && (FaultHits(FileCall::kChmod) || fchown(fd, old.st_uid, old.st_gid) != 0) &&
        errno != EPERM) {
        SetLastErrorFromErrno();
        close(fd);
        return FALSE;
    }
    // The mode is set only when it differs (or the owner changed, which may
    // have cleared bits): a change after the caller flushed the new file makes
    // the flush below write the file's status again, a second journal commit
    // on every save.
    if ((owned || (current.st_mode & 07777) != (old.st_mode & 07777)) &&
        (FaultHits(FileCall::kChmod) || fchmod(fd, old.st_mode & 07777) != 0)) {
        SetLastErrorFromErrno();
        close(fd);
        return FALSE;
    }
    if (!FlushFd(fd)) {
        close(fd);
        return FALSE;
    }
    close(fd);
    if (FaultHits(FileCall::kRename) || rename(newPath.c_str(), oldPath.c_str()) != 0) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    return FlushFolder(FolderOf(oldPath)) ? TRUE : FALSE;
}

UINT GetTempFileNameA(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR result) {
    if (!folder || !result) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string base = ToSystemPath(folder);
    if (!base.empty() && base.back() != '/')
        base += '/';
    base.append(prefix ? prefix : "", 0, 3);
    const bool create = unique == 0;
    // Name clashes are drawn again; anything else ends the attempt.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const UINT number = create ? NextUniqueNumber() : unique;
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%04X.tmp", number);
        const std::string path = base + suffix;
        if (path.size() >= MAX_PATH) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return 0;
        }
        if (!create) {
            std::memcpy(result, path.c_str(), path.size() + 1);
            return number;
        }
        // 0666 less the umask: a temporary file that becomes a new file by a
        // rename then has a new file's permissions.
        const int fd = FaultHits(FileCall::kOpen)
                           ? -1
                           : open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            std::memcpy(result, path.c_str(), path.size() + 1);
            return number;
        }
        if (errno == EEXIST || errno == EINTR)
            continue;
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND
                                     : Win32ErrorFromErrno(errno, ErrnoTarget::kFolder));
        return 0;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string systemPath = ToSystemPath(path);
    struct stat status;
    if (CountedStat(systemPath.c_str(), &status) != 0) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    const mode_t mode = status.st_mode & 07777;
    const mode_t wanted = (attributes & FILE_ATTRIBUTE_READONLY)
                              ? mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH)
                              : mode | S_IWUSR;
    if (wanted != mode && (FaultHits(FileCall::kChmod) || chmod(systemPath.c_str(), wanted) != 0)) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR path, void* security) {
    if (!path || security) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // 0777 less the umask, as for any new folder.
    if (FaultHits(FileCall::kMakeFolder) || mkdir(ToSystemPath(path).c_str(), 0777) != 0) {
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND
                                     : Win32ErrorFromErrno(errno, ErrnoTarget::kFolder));
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR path) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string systemPath = ToSystemPath(path);
    if (FaultHits(FileCall::kDelete) || rmdir(systemPath.c_str()) != 0) {
        const int error = errno;
        struct stat status;
        if (error == ENOTEMPTY || error == EEXIST)
            SetLastError(ERROR_DIR_NOT_EMPTY);
        else if (error == ENOTDIR && CountedLstat(systemPath.c_str(), &status) == 0 &&
                 !S_ISDIR(status.st_mode))
            SetLastError(ERROR_DIRECTORY);  // a file (or a link) is not a folder
        else
            SetLastError(Win32ErrorFromErrno(error, ErrnoTarget::kFolder));
        return FALSE;
    }
    return TRUE;
}

namespace kv {
namespace platform {

bool SameFileName(const OLECHAR* a, std::size_t aLength, const OLECHAR* b, std::size_t bLength) {
    return aLength == bLength && std::char_traits<OLECHAR>::compare(a, b, aLength) == 0;
}

}  // namespace platform
}  // namespace kv
