// Byte-range locks on POSIX: open-file-description locks (F_OFD_SETLK). They
// belong to the open file description, so closing another descriptor of the
// same file leaves them alone, and they reach other machines where the file
// system carries byte-range locks (NFS, SMB).

#include <fcntl.h>

#include <cerrno>
#include <limits>

#include "foundation/platform/posix/errno.h"
#include "foundation/platform/posix/faults.h"
#include "foundation/platform/posix/filehandle.h"
#include "win32/errors.h"
#include "win32/fileio.h"

using namespace kv::platform;

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
