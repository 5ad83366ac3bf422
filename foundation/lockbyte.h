// What the library's file locks share: the byte they lock, and the check that
// a locked file is still the one its name leads to. Inside the library only.
#pragma once

#include <string>

#include "win32/fileio.h"

namespace kv {

// The position of the locked byte (2^62, one byte): beyond any real file, so
// that no read or write of a file's content ever meets it.
OVERLAPPED LockPosition();

// Whether `path` still names the file open as `handle`. A path that names no
// file, or another file, does not.
bool PathNamesFile(const std::string& path, HANDLE handle);

}  // namespace kv
