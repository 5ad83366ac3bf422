// The byte that the library's file locks take: on a data file's lock file
// and on the temporary files it holds. The library and the platform layer's
// own temporary files use the same one, so that they exclude each other.
#pragma once

#include <cstdint>

#include "win32/fileio.h"

namespace kv::platform {

// 2^62, one byte: beyond any real file, so that no read or write of a
// file's content ever meets it.
constexpr std::uint64_t kLockOffset = std::uint64_t(1) << 62;
constexpr DWORD kLockBytes = 1;

// The position of the locked byte, for LockFileEx and UnlockFileEx.
inline OVERLAPPED LockPosition() {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(kLockOffset);
    position.OffsetHigh = static_cast<DWORD>(kLockOffset >> 32);
    return position;
}

}  // namespace kv::platform
