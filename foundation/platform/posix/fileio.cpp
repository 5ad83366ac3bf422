// File handles on POSIX: opening, reading, writing, flushing, and what a
// handle can tell about its file.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "foundation/platform/posix/errno.h"
#include "foundation/platform/posix/faults.h"
#include "foundation/platform/posix/filehandle.h"
#include "foundation/platform/posix/paths.h"
#include "win32/errors.h"
#include "win32/fileio.h"
#include "win32/files.h"

using namespace kv::platform;

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD, void*, DWORD disposition, DWORD flags,
                   HANDLE templateFile) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const bool wantsWrite = (access & GENERIC_WRITE) != 0;
    const bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    int openFlags = O_CLOEXEC;
    if (wantsWrite)
        openFlags |= (access & GENERIC_READ) ? O_RDWR : O_WRONLY;
    else if (truncates)
        openFlags |= O_WRONLY;  // Truncation is a write, as on Windows.
    else
        openFlags |= O_RDONLY;
    switch (disposition) {
        case CREATE_NEW:
            openFlags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
        case OPEN_ALWAYS:
            openFlags |= O_CREAT;
            break;
        case OPEN_EXISTING:
        case TRUNCATE_EXISTING:
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
    }
#ifdef O_PATH
    // A handle without access only asks about the file: it needs no read permission.
    if (access == 0 && disposition == OPEN_EXISTING)
        openFlags = O_PATH | O_CLOEXEC;
#endif
    if (flags & FILE_FLAG_WRITE_THROUGH)
        openFlags |= O_SYNC;

    // Truncation waits until the read-only rule has been checked on the open
    // file: root may open a read-only file for writing, but must not change it.
    const std::string systemPath = ToSystemPath(path);
    int fd;
    do
        fd = FaultHits(FileCall::kOpen) ? -1 : open(systemPath.c_str(), openFlags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        // Windows tells a missing folder on the way from a missing file.
        const int error = errno;
        struct stat folder;
        if (error == ENOENT && CountedStat(FolderOf(systemPath).c_str(), &folder) != 0)
            SetLastError(ERROR_PATH_NOT_FOUND);
        else
            SetLastError(Win32ErrorFromErrno(error));
        return INVALID_HANDLE_VALUE;
    }
    struct stat status;
    if (fstat(fd, &status) != 0) {
        SetLastErrorFromErrno();
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    // Windows opens no folder as a file, and writes no read-only file. A file
    // this call has just made is the caller's, whatever the umask made of it.
    const bool created = disposition == CREATE_NEW;
    const bool folderAllowed = (flags & FILE_FLAG_BACKUP_SEMANTICS) && access == 0;
    if ((S_ISDIR(status.st_mode) && !folderAllowed) ||
        ((wantsWrite || truncates) && !created && IsReadOnly(status))) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // A new file takes its permissions from the template, as it takes its
    // attributes on Windows, past the umask: who may read the template may
    // read it, who may write the template may read and write it, and its
    // owner may always.
    struct stat like;
    if (created && templateFile && templateFile != INVALID_HANDLE_VALUE &&
        fstat(FdFromHandle(templateFile), &like) == 0 &&
        (FaultHits(FileCall::kChmod) ||
         fchmod(fd, (like.st_mode & 0666) | ((like.st_mode & 0222) << 1) | S_IRUSR | S_IWUSR) !=
             0)) {
        SetLastErrorFromErrno();
        close(fd);
        unlink(systemPath.c_str());
        return INVALID_HANDLE_VALUE;
    }
    if (truncates && status.st_size != 0 && ftruncate(fd, 0) != 0) {
        SetLastErrorFromErrno();
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    return HandleFromFd(fd);
}

BOOL CloseHandle(HANDLE handle) {
    const int fd = FdFromHandle(handle);
    if (fd < 0)
        return FALSE;
    // After EINTR Linux has released the descriptor already; retrying could
    // close one that another thread has just been given.
    if ((close(fd) != 0 || FaultHits(FileCall::kClose)) && errno != EINTR) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

BOOL ReadFile(HANDLE handle, void* buffer, DWORD size, DWORD* read, void* overlapped) {
    if (read)
        *read = 0;
    const int fd = FdFromHandle(handle);
    if (fd < 0)
        return FALSE;
    if (overlapped || (!buffer && size != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A file read stops short only at the end of the file, as on Windows.
    char* bytes = static_cast<char*>(buffer);
    DWORD total = 0;
    while (total < size) {
        const ssize_t n = FaultHits(FileCall::kRead) ? -1 : ::read(fd, bytes + total, size - total);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            SetLastErrorOfTransfer(fd);
            if (read)
                *read = total;
            return FALSE;
        }
        if (n == 0)
            break;
        total += static_cast<DWORD>(n);
    }
    if (read)
        *read = total;
    return TRUE;
}

BOOL WriteFile(HANDLE handle, const void* buffer, DWORD size, DWORD* written, void* overlapped) {
    if (written)
        *written = 0;
    const int fd = FdFromHandle(handle);
    if (fd < 0)
        return FALSE;
    if (overlapped || (!buffer && size != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const char* bytes = static_cast<const char*>(buffer);
    DWORD total = 0;
    BOOL ok = TRUE;
    while (total < size) {
        bool failed = false;
        const std::size_t part = kv::platform::FaultedWriteSize(size - total, failed);
        const ssize_t n = failed ? -1 : part == 0 ? 0 : write(fd, bytes + total, part);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            SetLastErrorOfTransfer(fd);
            ok = FALSE;
            break;
        }
        if (n == 0) {
            SetLastError(ERROR_DISK_FULL);
            ok = FALSE;
            break;
        }
        total += static_cast<DWORD>(n);
    }
    if (written)
        *written = total;
    return ok;
}

BOOL FlushFileBuffers(HANDLE handle) {
    const int fd = FdFromHandle(handle);
    return fd >= 0 && FlushFd(fd) ? TRUE : FALSE;
}

namespace {

// The status of the file behind `handle`, for a call with the out-parameter
// `out`; false with the last error set for a bad handle, a null `out` or a
// failed fstat.
bool StatHandle(HANDLE handle, const void* out, struct stat& status) {
    const int fd = FdFromHandle(handle);
    if (fd < 0)
        return false;
    if (!out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (fstat(fd, &status) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

}  // namespace

BOOL GetFileSizeEx(HANDLE handle, LARGE_INTEGER* size) {
    struct stat status;
    if (!StatHandle(handle, size, status))
        return FALSE;
    size->QuadPart = static_cast<LONGLONG>(status.st_size);
    return TRUE;
}

namespace {

// The path behind a descriptor, every link resolved. False (last error set)
// when the system cannot tell, or the file has no name left.
bool PathOfFd(int fd, std::string& path) {
    struct stat status;
    if (fstat(fd, &status) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    if (status.st_nlink == 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);  // deleted while open
        return false;
    }
#if defined(F_GETPATH)
    char buffer[PATH_MAX];
    if (fcntl(fd, F_GETPATH, buffer) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    path = buffer;
    return true;
#else
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = readlink(link.c_str(), &buffer[0], buffer.size());
        if (n < 0) {
            SetLastErrorFromErrno();
            return false;
        }
        if (static_cast<std::size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(n));
            path = buffer;
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
#endif
}

}  // namespace

BOOL GetFileInformationByHandle(HANDLE handle, BY_HANDLE_FILE_INFORMATION* info) {
    struct stat status;
    if (!StatHandle(handle, info, status))
        return FALSE;
    const int fd = FdFromHandle(handle);
    DWORD attributes = 0;
    if (S_ISDIR(status.st_mode))
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (!(status.st_mode & S_IWUSR))
        attributes |= FILE_ATTRIBUTE_READONLY;
    const DWORD savedError = GetLastError();
    std::string path;
    if (PathOfFd(fd, path) && kv::platform::IsHiddenName(path))
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    SetLastError(savedError);  // a file without a name is still a file

    const auto device = static_cast<std::uint64_t>(status.st_dev);
    const auto inode = static_cast<std::uint64_t>(status.st_ino);
    const auto size = static_cast<std::uint64_t>(status.st_size);
    info->dwFileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    info->dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
    info->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    info->nFileSizeLow = static_cast<DWORD>(size);
    info->nNumberOfLinks = static_cast<DWORD>(status.st_nlink);
    info->nFileIndexHigh = static_cast<DWORD>(inode >> 32);
    info->nFileIndexLow = static_cast<DWORD>(inode);
    return TRUE;
}

DWORD GetFinalPathNameByHandleA(HANDLE handle, LPSTR buffer, DWORD size, DWORD) {
    const int fd = FdFromHandle(handle);
    if (fd < 0)
        return 0;
    std::string path;
    if (!PathOfFd(fd, path))
        return 0;
    if (!buffer || size <= path.size())
        return static_cast<DWORD>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}
