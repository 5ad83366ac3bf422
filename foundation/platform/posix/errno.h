// The one mapping of POSIX errno values to Win32 error codes, shared by the
// layer's functions.
#pragma once

#include "win32/types.h"

namespace kv {
namespace platform {

// What a failed POSIX call was doing, where one errno value maps to different
// Win32 codes (EEXIST is "already exists" for a folder, "file exists" for a file).
enum class ErrnoTarget { kFile, kFolder };

// The one mapping of POSIX errno values to Win32 error codes.
DWORD Win32ErrorFromErrno(int errnoValue, ErrnoTarget target = ErrnoTarget::kFile);

// Sets the last error from errno (mapped) and returns the Win32 code.
DWORD SetLastErrorFromErrno(ErrnoTarget target = ErrnoTarget::kFile);

}  // namespace platform
}  // namespace kv
