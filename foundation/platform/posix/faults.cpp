// Fault injection state: one armed fault and a count per kind of call.

#include "foundation/platform/posix/faults.h"

#ifdef KV_FAULT_INJECTION

#include <cerrno>
#include <mutex>

namespace kv {
namespace platform {
namespace {

struct FaultState {
    std::mutex mutex;
    bool armed = false;
    InjectedFault fault;
    unsigned counts[kFileCallKinds] = {};
    unsigned hits = 0;
};

FaultState& State() {
    static FaultState state;
    return state;
}

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

enum class Outcome { kPass, kFail, kShort };

Outcome Decide(FileCall call) {
    FaultState& state = State();
    std::lock_guard<std::mutex> guard(state.mutex);
    const unsigned count = ++state.counts[static_cast<int>(call)];
    const InjectedFault& fault = state.fault;
    if (!state.armed || fault.call != call || count < fault.nth ||
        (!fault.persistent && count != fault.nth))
        return Outcome::kPass;
    ++state.hits;
    if (fault.shortCount && call == FileCall::kWrite)
        return Outcome::kShort;
    errno = ErrnoFor(fault.error);
    return Outcome::kFail;
}

}  // namespace

void ArmFault(const InjectedFault& fault) {
    FaultState& state = State();
    std::lock_guard<std::mutex> guard(state.mutex);
    state.fault = fault;
    state.armed = true;
    state.hits = 0;
    for (unsigned& count : state.counts)
        count = 0;
}

void DisarmFault() {
    FaultState& state = State();
    std::lock_guard<std::mutex> guard(state.mutex);
    state.armed = false;
}

unsigned FileCallCount(FileCall call) {
    FaultState& state = State();
    std::lock_guard<std::mutex> guard(state.mutex);
    return state.counts[static_cast<int>(call)];
}

unsigned FaultsHit() {
    FaultState& state = State();
    std::lock_guard<std::mutex> guard(state.mutex);
    return state.hits;
}

bool FaultHits(FileCall call) {
    return Decide(call) == Outcome::kFail;
}

std::size_t FaultedWriteSize(std::size_t size, bool& failed) {
    const Outcome outcome = Decide(FileCall::kWrite);
    failed = outcome == Outcome::kFail;
    return outcome == Outcome::kShort ? size / 2 : size;
}

}  // namespace platform
}  // namespace kv

#endif
