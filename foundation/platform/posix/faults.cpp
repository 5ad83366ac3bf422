// The system-call side of fault injection: the decision is the library's
// (foundation/platform/faults.cpp); a failure becomes the errno that the
// layer's own mapping turns back into the error the test asked for.

#include "foundation/platform/posix/faults.h"

#ifdef KV_FAULT_INJECTION

#include <cerrno>

namespace kv {
namespace platform {
namespace {

// The system error number that maps back to `error`, so the layer's own
// mapping turns the simulated failure into the code the test asked for.
int ErrnoFor(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        case ERROR_DISK_FULL:
            return ENOSPC;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_SHARING_VIOLATION:
            return EBUSY;
        case ERROR_LOCK_VIOLATION:
            return EAGAIN;
        case ERROR_NOT_ENOUGH_MEMORY:
            return ENOMEM;
        case ERROR_TOO_MANY_OPEN_FILES:
            return EMFILE;
        default:
            return EIO;
    }
}

}  // namespace

bool FaultHits(FileCall call) {
    if (DecideFault(call) != FaultOutcome::kFail)
        return false;
    errno = ErrnoFor(ArmedFaultError());
    return true;
}

std::size_t FaultedWriteSize(std::size_t size, bool& failed) {
    const FaultOutcome outcome = DecideFault(FileCall::kWrite);
    failed = outcome == FaultOutcome::kFail;
    if (failed)
        errno = ErrnoFor(ArmedFaultError());
    return outcome == FaultOutcome::kShort ? size / 2 : size;
}

}  // namespace platform
}  // namespace kv

#endif
