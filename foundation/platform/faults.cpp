// Fault injection state: one armed fault and a count per kind of call, held
// once by the library for every module that links the platform layer.
#include "foundation/platform/faults.h"

#ifdef KV_FAULT_INJECTION

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

}  // namespace

FaultOutcome DecideFault(FileCall call) {
    FaultState& state = State();
    std::lock_guard<std::mutex> guard(state.mutex);
    const unsigned count = ++state.counts[static_cast<int>(call)];
    const InjectedFault& fault = state.fault;
    if (!state.armed || fault.call != call || count < fault.nth ||
        (!fault.persistent && count != fault.nth))
        return FaultOutcome::kPass;
    ++state.hits;
    if (fault.shortCount && call == FileCall::kWrite)
        return FaultOutcome::kShort;
    return FaultOutcome::kFail;
}

DWORD ArmedFaultError() {
    FaultState& state = State();
    std::lock_guard<std::mutex> guard(state.mutex);
    return state.fault.error;
}

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

}  // namespace platform
}  // namespace kv

#endif
