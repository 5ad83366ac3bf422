// Whole-file reading and crash-safe whole-file replacement, on the platform
// layer's file functions.
#pragma once

#include <string>

#include "foundation/stringx.h"
#include "foundation/temporaryfiles.h"
#include "win32/fileio.h"

namespace kv {

// The path of the file or folder open as `handle`, every link resolved, of
// whatever length; false (last error set) when the system cannot tell.
bool FinalPathOf(HANDLE handle, std::string& path);

// Whether `path` leads to the file open as `handle` (same volume, same file
// index): ERROR_SUCCESS; ERROR_FILE_NOT_FOUND when it leads nowhere or to
// another file (replaced, or removed and made anew under the same name);
// otherwise the error of looking.
DWORD CheckPathLeadsTo(const std::string& path, HANDLE handle);

// Reads the whole file at `path` into `bytes`. ERROR_SUCCESS or the Win32 error
// (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ...); `bytes` is unchanged on failure.
KV_API DWORD ReadWholeFile(const _stringx& path, std::string& bytes);

// A crash-safe replacement of the file at a path by content that the caller
// writes itself, by any means that takes a file name (a DOM's save):
//  1. Begin: a file reached through a symbolic link is replaced at the link's
//     final target, and the link stays a link; a new, empty, writable
//     temporary file is made in the target's folder (Temporary(), a rooted
//     path). A read-only target is refused here (ERROR_ACCESS_DENIED).
//  2. the caller writes the whole content to the temporary file; it may also
//     put another file in its place by a rename;
//  3. Commit: the temporary file is flushed to the device and put in the
//     target's place in one step (ReplaceFileA, which keeps the target's
//     permission bits, owner and group), or renamed to the target when there
//     was none, and the folder is flushed.
// Whatever fails or is killed on the way, the target holds its old content or
// the new one, whole. Until Commit succeeds, the destructor (or Abandon)
// removes the temporary file. From Begin to Commit the temporary file is held
// (kv::TemporaryFileHold), except between LetOthersWrite and Commit. A
// process killed before Commit leaves it behind: hidden (".kv<hex>.tmp"),
// beside the target, never read, held by nobody: a leftover that
// kv::FindLeftovers removes (the library's data-file saves do so in their
// folder).
class KV_API FileReplacement {
public:
    FileReplacement() = default;
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Step 1. ERROR_SUCCESS or the Win32 error (ERROR_PATH_NOT_FOUND for a
    // missing folder); nothing is left on failure.
    DWORD Begin(const _stringx& path);
    // The temporary file to write, once Begin succeeded.
    const std::string& Temporary() const { return m_temporary; }
    // Lets go of the temporary file until Commit, for a writer that opens it
    // by name without sharing or puts another file in its place (Windows
    // refuses both while it is held). Meanwhile a cleaner could take it for
    // a leftover: callers hold the target's kv::DataFileLock, under which
    // the library's cleaners run.
    void LetOthersWrite();
    // Step 3. With `createOnly` a target that exists by then is kept and the
    // replacement fails with ERROR_ALREADY_EXISTS: for a writer that could
    // not lock a file that was not there. ERROR_SUCCESS, or the Win32 error
    // of the step that failed (ERROR_DISK_FULL for a full disk or a file-size
    // limit); on failure the target is untouched and the temporary file is
    // removed.
    DWORD Commit(bool createOnly = false);
    // Removes the temporary file, if any.
    void Abandon();

private:
    TemporaryFileHold m_hold;
    std::string m_target;
    std::string m_temporary;
    bool m_exists = false;
};

// Makes `bytes` the whole content of the existing file at `path`, in place,
// not flushed: for a file that a FileReplacement made (its Temporary()), whose
// Commit flushes it and puts it in place. Opened sharing reading, writing and
// deletion, as the replacement's hold shares it. ERROR_SUCCESS or the Win32
// error (ERROR_FILE_NOT_FOUND when there is no such file).
KV_API DWORD WriteIntoFile(const _stringx& path, const void* bytes, std::size_t size);

// Makes `bytes` the new content of the file at `path` by a FileReplacement:
// the file holds the old content or the new one, whole, whatever happens (a
// failure, a crash, a killed process, a power cut after the call returned).
// ERROR_SUCCESS, or the Win32 error of the step that failed; a read-only
// target gives ERROR_ACCESS_DENIED, a full disk or a file-size limit
// ERROR_DISK_FULL. On failure the target is untouched and the temporary file
// is removed.
KV_API DWORD SaveFileAtomically(const _stringx& path, const void* bytes, std::size_t size);

}  // namespace kv
