// An exclusive lock on a data file, held across a read-change-save, so that
// two writers of the same file never lose each other's changes.
#pragma once

#include <chrono>
#include <string>

#include "win32/fileio.h"
#include "foundation/stringx.h"

namespace kv {

// The protocol, the same on every platform and for every writer of this
// library:
//  - What is locked: one byte (at offset 2^62) of the data file's lock file,
//    ".<name>.lock" beside the file the data file's path leads to (links
//    followed), made on first use and never removed. The data file itself is
//    not held open by the lock: a save can then rename its new file over the
//    old one in one step on every system (Windows refuses to rename over a
//    file that is open, and its ReplaceFileW leaves a moment with no file at
//    the path), and no reader is ever blocked.
//  - The lock file's permissions: on Windows hidden, with the folder's
//    security; on POSIX, as the data file is when it is made, plus reading
//    and writing for each class (group, others) that may write the data
//    file and for its owner, so that everyone who may save the data file may
//    lock it (an exclusive lock needs a handle open for writing there).
//  - By whom, for how long: a writer, from before it reads the data file
//    until after its save has replaced it. Each lock object holds its own
//    handle; two lock objects exclude each other even in one process.
//  - A lock file deleted by hand: where the system keeps to sharing
//    (Windows) it cannot be while held; elsewhere a writer that got the lock
//    checks that the name still leads to the file it locked, and if not
//    locks the one now there. (A lock file deleted while a writer is saving
//    lets the next writer in beside it: do not delete them by hand.)
//  - Holder death: the lock belongs to the holder's open file, which the
//    system closes when the process dies, and with it releases the lock.
//  - Shares: the lock is a byte-range lock of the file system, which NFS and
//    SMB carry to the server, so writers on other machines are kept out too
//    where the share supports such locks (see docs/reliability.md).
//  - A missing data file cannot be locked (ERROR_FILE_NOT_FOUND): a save
//    that creates its file puts it in place only if the name is still free,
//    so that nothing another writer made meanwhile is overwritten unlocked.
class KV_API DataFileLock {
public:
    DataFileLock() = default;
    ~DataFileLock();
    DataFileLock(const DataFileLock&) = delete;
    DataFileLock& operator=(const DataFileLock&) = delete;

    // Locks the data file at `path`, waiting at most `timeout`.
    // ERROR_SUCCESS; ERROR_LOCK_VIOLATION when the lock could not be had, in
    // time or at all (the system's reason is then the last error:
    // ERROR_ACCESS_DENIED for a lock file this process may not make or open
    // for writing); otherwise the error of opening the data file
    // (ERROR_FILE_NOT_FOUND for a missing file, ERROR_PATH_NOT_FOUND for a
    // missing folder).
    DWORD Acquire(const _stringx& path, std::chrono::milliseconds timeout = DefaultTimeout());
    // Releases the lock, if held. Also done by the destructor.
    void Release();
    bool Held() const { return m_handle != INVALID_HANDLE_VALUE; }
    // The folder of the file the held lock guards, links followed: where the
    // saves of that file make their temporary files. Empty while not held.
    const std::string& Folder() const { return m_folder; }

    // 10 seconds, or the number of milliseconds in KV_LOCK_TIMEOUT_MS.
    static std::chrono::milliseconds DefaultTimeout();

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    std::string m_folder;
};

}  // namespace kv
