// Copying one file as the library copies item files, the same on every
// platform.
#pragma once

#include "foundation/platform/types.h"

namespace kv {
namespace platform {

// Copies `source`'s content (and, on POSIX, its permission bits) to `target`.
// With `failIfExists` an existing target fails with ERROR_FILE_EXISTS;
// otherwise it is replaced, but a read-only one is refused with
// ERROR_ACCESS_DENIED (whoever runs the process) and a folder cannot be a
// target. The target is written through a temporary file in its folder, so a
// failed copy leaves it as it was. FALSE with the last error set on failure.
// (Not under the Win32 name CopyFileA, which is also the name of one of the
// library's own methods.)
BOOL CopyOneFile(LPCSTR source, LPCSTR target, BOOL failIfExists);

}  // namespace platform
}  // namespace kv
