// The system-call side of fault injection: each file-system call of the layer
// asks first whether an armed fault hits it. Without KV_FAULT_INJECTION every
// answer is a constant "no" and disappears from the build.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

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
// Counts a call of a kind that faults never hit (FileCall::kStatus, kFolderList).
inline void CountCall(FileCall call) {
    DecideFault(call);
}
#else
inline void CountCall(FileCall) {}
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

// The layer's status queries by name and folder openings, counted as
// FileCall::kStatus and kFolderList.
inline int CountedStat(const char* path, struct stat* status) {
    kv::platform::CountCall(kv::platform::FileCall::kStatus);
    return stat(path, status);
}
inline int CountedLstat(const char* path, struct stat* status) {
    kv::platform::CountCall(kv::platform::FileCall::kStatus);
    return lstat(path, status);
}
inline int CountedStatAt(int folder, const char* name, struct stat* status, int flags) {
    kv::platform::CountCall(kv::platform::FileCall::kStatus);
    return fstatat(folder, name, status, flags);
}
inline DIR* CountedOpenFolder(const char* path) {
    kv::platform::CountCall(kv::platform::FileCall::kFolderList);
    return opendir(path);
}
