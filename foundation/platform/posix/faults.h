// The system-call side of fault injection: each file-system call of the layer
// asks first whether an armed fault hits it. Without KV_FAULT_INJECTION every
// answer is a constant "no" and disappears from the build.
#pragma once

#include <cstddef>

#include "foundation/platform/faults.h"

namespace kv {
namespace platform {

#ifdef KV_FAULT_INJECTION
// Counts the call; true when a fault hits it, with errno set to the fault's error.
bool FaultHits(FileCall call);
// For a write of `size` bytes: the size to pass to the system, smaller when a
// short-count fault hits. A plain write fault sets errno and returns 0 through
// `failed`.
std::size_t FaultedWriteSize(std::size_t size, bool& failed);
#else
inline bool FaultHits(FileCall) {
    return false;
}
inline std::size_t FaultedWriteSize(std::size_t size, bool& failed) {
    failed = false;
    return size;
}
#endif

}  // namespace platform
}  // namespace kv
