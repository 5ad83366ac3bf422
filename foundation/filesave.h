// Whole-file reading and crash-safe whole-file replacement, on the platform
// layer's file functions.
#pragma once

#include <string>

#include "foundation/stringx.h"
#include "win32/fileio.h"

namespace kv {

// Reads the whole file at `path` into `bytes`. ERROR_SUCCESS or the Win32 error
// (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ...); `bytes` is unchanged on failure.
// The path of the file or folder open as `handle`, every link resolved, of
// whatever length; false (last error set) when the system cannot tell.
bool FinalPathOf(HANDLE handle, std::string& path);

KV_API DWORD ReadWholeFile(const _stringx& path, std::string& bytes);

// Makes `bytes` the new content of the file at `path`, so that the file holds
// the old content or the new one, whole, whatever happens (a failure, a crash, a
// killed process, a power cut after the call returned):
//  1. a file reached through a symbolic link is written at the link's final
//     target, and the link stays a link;
//  2. the bytes go to a new temporary file in the target's folder, which is
//     flushed to the device;
//  3. the temporary file replaces the target in one step (ReplaceFileA, which
//     keeps the target's permission bits, owner and group), or is renamed to it
//     when there was no target, and the folder is flushed.
// ERROR_SUCCESS, or the Win32 error of the step that failed; a read-only target
// gives ERROR_ACCESS_DENIED, a full disk or a file-size limit ERROR_DISK_FULL.
// On failure the target is untouched and the temporary file is removed.
//
// A process killed between creating the temporary file and the replace leaves
// that file behind: hidden (".kv<hex>.tmp"), beside the target, never read.
// No later save removes it, since it cannot tell an abandoned one from one
// that a save in another process is still writing; it may be deleted whenever
// no save into that folder is running.
KV_API DWORD SaveFileAtomically(const _stringx& path, const void* bytes, std::size_t size);

}  // namespace kv
