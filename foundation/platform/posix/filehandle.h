// What the POSIX file functions share: handles as descriptors, the
// read-only rule, and flushing a file or the folder that holds it.
//
// A HANDLE carries a file descriptor plus one, so that no valid handle is null
// and INVALID_HANDLE_VALUE (-1) never names a descriptor.
#pragma once

#include <sys/stat.h>

#include <string>

#include "win32/fileio.h"

namespace kv {
namespace platform {

HANDLE HandleFromFd(int fd);
// The descriptor behind a handle, or -1 (with ERROR_INVALID_HANDLE set) for
// null, INVALID_HANDLE_VALUE and anything that cannot be one.
int FdFromHandle(HANDLE handle);
// A regular file without its owner-write bit: what Windows calls read-only.
bool IsReadOnly(const struct stat& status);
// The folder that holds `path` ("." for a bare name), for flushing a rename.
std::string FolderOf(const std::string& path);
// Puts a folder's entries (a rename into it) on the storage device. File
// systems that cannot flush a folder have nothing to flush.
bool FlushFolder(const std::string& folder);
// Puts a file's data and metadata on the storage device.
bool FlushFd(int fd);
// The error of a failed read or write. Windows refuses access to a handle
// opened without the right to read or write it; POSIX calls it a bad descriptor.
void SetLastErrorOfTransfer(int fd);

}  // namespace platform
}  // namespace kv
