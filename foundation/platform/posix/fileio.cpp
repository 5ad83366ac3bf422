// File handles, reading and writing, renaming, replacing, copying, temporary
// names, locks and folder creation and removal on POSIX.
//
// A HANDLE carries a file descriptor plus one, so that no valid handle is null
// and INVALID_HANDLE_VALUE (-1) never names a descriptor. Locks are
// open-file-description byte-range locks (F_OFD_SETLK): they belong to the
// open file description, so closing another descriptor of the same file
// leaves them alone, and they reach other machines where the file system
// carries byte-range locks (NFS, SMB).

#include "foundation/platform/posix/errno.h"
#include "win32/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "win32/errors.h"
#include "win32/files.h"
#include "foundation/platform/posix/faults.h"
#include "foundation/platform/posix/paths.h"

using kv::platform::ErrnoTarget;
using kv::platform::FaultHits;
using kv::platform::FileCall;
using kv::platform::SetLastErrorFromErrno;
using kv::platform::ToSystemPath;
using kv::platform::Win32ErrorFromErrno;

namespace {

HANDLE HandleFromFd(int fd) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd) + 1);
}

// The descriptor behind a handle, or -1 (with ERROR_INVALID_HANDLE set) for
// null, INVALID_HANDLE_VALUE and anything that cannot be one.
int FdFromHandle(HANDLE handle) {
    const std::intptr_t value = reinterpret_cast<std::intptr_t>(handle) - 1;
    if (value < 0 || value > INT32_MAX) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    return static_cast<int>(value);
}

bool IsReadOnly(const struct stat& status) {
    return S_ISREG(status.st_mode) && !(status.st_mode & S_IWUSR);
}

// The folder that holds `path` ("." for a bare name), for flushing a rename.
std::string FolderOf(const std::string& path) {
    std::string::size_type end = path.size();
    while (end > 1 && path[end - 1] == '/')
        --end;
    const std::string::size_type slash = path.rfind('/', end - 1);
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Puts a folder's entries (a rename into it) on the storage device. File
// systems that cannot flush a folder (EINVAL) have nothing to flush.
bool FlushFolder(const std::string& folder) {
    if (FaultHits(FileCall::kFolderFlush)) {
        SetLastErrorFromErrno(ErrnoTarget::kFolder);
        return false;
    }
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        SetLastErrorFromErrno(ErrnoTarget::kFolder);
        return false;
    }
    int result;
    do
        result = fsync(fd);
    while (result != 0 && errno == EINTR);
    const int error = errno;
    close(fd);
    if (result != 0 && error != EINVAL) {
        SetLastError(Win32ErrorFromErrno(error, ErrnoTarget::kFolder));
        return false;
    }
    return true;
}

bool FlushFd(int fd) {
    int result;
    do
        result = FaultHits(FileCall::kFlush) ? -1 : fsync(fd);
    while (result != 0 && errno == EINTR);
    if (result != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

// The error of a failed read or write. Windows refuses access to a handle
// opened without the right to read or write it; POSIX calls it a bad descriptor.
void SetLastErrorOfTransfer(int fd) {
    if (errno == EBADF && fcntl(fd, F_GETFD) != -1)
        SetLastError(ERROR_ACCESS_DENIED);
    else
        SetLastErrorFromErrno();
}

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

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD, void*, DWORD disposition, DWORD flags,
                   HANDLE) {
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
        if (error == ENOENT && stat(FolderOf(systemPath).c_str(), &folder) != 0)
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

BOOL GetFileSizeEx(HANDLE handle, LONGLONG* size) {
    struct stat status;
    if (!StatHandle(handle, size, status))
        return FALSE;
    *size = static_cast<LONGLONG>(status.st_size);
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

BOOL DeleteFileA(LPCSTR path) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string systemPath = ToSystemPath(path);
    // A link is deleted itself, so its own (always writable) mode is what counts.
    struct stat status;
    if (lstat(systemPath.c_str(), &status) != 0) {
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
    if (lstat(from.c_str(), &source) != 0) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    struct stat replaced;
    const bool targetExists = lstat(to.c_str(), &replaced) == 0;
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
    if (stat(oldPath.c_str(), &old) != 0) {
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

namespace {

// The fcntl form of a Win32 lock range. A range that runs past the largest
// offset is taken to the end of every offset (length 0), which is the same
// bytes; a null `overlapped` or a zero length is no range.
bool LockRange(DWORD bytesLow, DWORD bytesHigh, const OVERLAPPED* overlapped, short type,
               struct flock& range) {
    const std::uint64_t start =
        overlapped ? (std::uint64_t(overlapped->OffsetHigh) << 32) | overlapped->Offset : 0;
    const std::uint64_t length = (std::uint64_t(bytesHigh) << 32) | bytesLow;
    constexpr std::uint64_t kLargest = std::numeric_limits<off_t>::max();
    if (!overlapped || length == 0 || start > kLargest) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    range = {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(start);
    range.l_len = length > kLargest - start ? 0 : static_cast<off_t>(length);
    return true;
}

}  // namespace

BOOL LockFileEx(HANDLE handle, DWORD flags, DWORD, DWORD bytesLow, DWORD bytesHigh,
                OVERLAPPED* overlapped) {
    const int fd = FdFromHandle(handle);
    struct flock range;
    if (fd < 0 || !LockRange(bytesLow, bytesHigh, overlapped,
                             (flags & LOCKFILE_EXCLUSIVE_LOCK) ? F_WRLCK : F_RDLCK, range))
        return FALSE;
    // Locks of the open file description, not of the process: the DOM
    // opening and closing the same file in this process leaves them alone.
    const int command = (flags & LOCKFILE_FAIL_IMMEDIATELY) ? F_OFD_SETLK : F_OFD_SETLKW;
    int result;
    do
        result = FaultHits(FileCall::kLock) ? -1 : fcntl(fd, command, &range);
    while (result != 0 && errno == EINTR);
    if (result != 0) {
        if (errno == EAGAIN || errno == EACCES)
            SetLastError(ERROR_LOCK_VIOLATION);
        else if (errno == EBADF && fcntl(fd, F_GETFD) != -1)
            SetLastError(ERROR_ACCESS_DENIED);  // not open for writing
        else
            SetLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

BOOL UnlockFileEx(HANDLE handle, DWORD, DWORD bytesLow, DWORD bytesHigh, OVERLAPPED* overlapped) {
    const int fd = FdFromHandle(handle);
    struct flock range;
    if (fd < 0 || !LockRange(bytesLow, bytesHigh, overlapped, F_UNLCK, range))
        return FALSE;
    if (fcntl(fd, F_OFD_SETLK, &range) != 0) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string systemPath = ToSystemPath(path);
    struct stat status;
    if (stat(systemPath.c_str(), &status) != 0) {
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

namespace {

// Copies what is left of `from` to `to`.
bool CopyContent(HANDLE from, HANDLE to) {
    char buffer[64 * 1024];
    for (;;) {
        DWORD read = 0;
        DWORD written = 0;
        if (!ReadFile(from, buffer, sizeof buffer, &read, nullptr))
            return false;
        if (read == 0)
            return true;
        if (!WriteFile(to, buffer, read, &written, nullptr))
            return false;
    }
}

// Closes a handle of this file's own making, keeping the last error.
void CloseQuietly(HANDLE handle) {
    const DWORD error = GetLastError();
    CloseHandle(handle);
    SetLastError(error);
}

}  // namespace

BOOL CopyFileA(LPCSTR source, LPCSTR target, BOOL failIfExists) {
    if (!source || !target) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (FaultHits(FileCall::kCopy)) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    // Opening gives the codes of a missing source or source folder, and
    // refuses a folder as the source.
    const HANDLE in =
        CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return FALSE;
    struct stat status;
    if (fstat(FdFromHandle(in), &status) != 0) {
        SetLastErrorFromErrno();
        CloseQuietly(in);
        return FALSE;
    }
    // Checked first for the right code; the rename below checks again, so a
    // target that appears meanwhile is still not overwritten against the rules.
    const std::string to = ToSystemPath(target);
    struct stat existing;
    if (stat(to.c_str(), &existing) == 0) {
        DWORD refusal = ERROR_SUCCESS;
        if (S_ISDIR(existing.st_mode))
            refusal = ERROR_ACCESS_DENIED;
        else if (failIfExists)
            refusal = ERROR_FILE_EXISTS;
        else if (IsReadOnly(existing))
            refusal = ERROR_ACCESS_DENIED;
        if (refusal != ERROR_SUCCESS) {
            CloseHandle(in);
            SetLastError(refusal);
            return FALSE;
        }
    }

    // The copy is written beside the target and renamed over it only once it
    // is whole, so a failed copy leaves an existing target as it was.
    char temporary[MAX_PATH];
    if (GetTempFileNameA(FolderOf(to).c_str(), "kvc", 0, temporary) == 0) {
        CloseQuietly(in);
        return FALSE;
    }
    bool copied = false;
    const HANDLE out = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (out != INVALID_HANDLE_VALUE) {
        copied = CopyContent(in, out);
        if (copied && (FaultHits(FileCall::kChmod) ||
                       fchmod(FdFromHandle(out), status.st_mode & 0777) != 0)) {
            SetLastErrorFromErrno();
            copied = false;
        }
        // Flushed, so that a crash after the rename never leaves the target empty.
        copied = copied && FlushFileBuffers(out);
        CloseQuietly(out);
    }
    CloseQuietly(in);
    if (copied) {
        if (MoveFileExA(temporary, to.c_str(), failIfExists ? 0 : MOVEFILE_REPLACE_EXISTING))
            return TRUE;
        if (GetLastError() == ERROR_ALREADY_EXISTS)
            SetLastError(ERROR_FILE_EXISTS);
    }
    const DWORD error = GetLastError();
    if (!FaultHits(FileCall::kDelete))
        unlink(temporary);
    SetLastError(error);
    return FALSE;
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
        else if (error == ENOTDIR && lstat(systemPath.c_str(), &status) == 0 &&
                 !S_ISDIR(status.st_mode))
            SetLastError(ERROR_DIRECTORY);  // a file (or a link) is not a folder
        else
            SetLastError(Win32ErrorFromErrno(error, ErrnoTarget::kFolder));
        return FALSE;
    }
    return TRUE;
}
