#include "foundation/platform/posix/filehandle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "foundation/platform/posix/errno.h"
#include "foundation/platform/posix/faults.h"
#include "win32/errors.h"
#include "win32/fileio.h"

namespace kv {
namespace platform {

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

}  // namespace platform
}  // namespace kv
