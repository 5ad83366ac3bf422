// An exclusive lock on a data file, held across a read-change-save, so that
// two writers of the same file never lose each other's changes.
#pragma once

#include <chrono>

#include "win32/fileio.h"
#include "foundation/stringx.h"

namespace kv {

// The protocol, the same on every platform and for every writer of this
// library:
//  - What is locked: one byte at offset 2^62 of the data file itself, far
//    beyond any real file's size. The bytes of the file are never locked, so
//    no reader is ever blocked, even where byte-range locks are mandatory
//    (Windows, SMB shares): readers take no lock and read the file as it
//    stands. No lock file is used: it would show in shared folders that
//    people browse and clean by hand, one deleted while held would let two
//    writers in, and a linked data file would need it beside the link's
//    final target.
//  - By whom, for how long: a writer, from before it reads the file until
//    after its save has replaced it. Each lock object holds its own handle;
//    two lock objects exclude each other even in one process.
//  - Replace: a save puts a new file in place by a rename, and the lock of
//    the old file guards nothing after that. So once the lock is had, the
//    path is checked to still name the locked file; if a writer has replaced
//    it meanwhile, the lock is taken again on the file now there.
//  - Holder death: the lock belongs to the holder's open file, which the
//    system closes when the process dies, and with it releases the lock.
//  - Shares: the lock is a byte-range lock of the file system, which NFS and
//    SMB carry to the server, so writers on other machines are kept out too
//    where the share supports such locks (see docs/reliability.md).
//  - A missing file cannot be locked (ERROR_FILE_NOT_FOUND): a save that
//    creates its file puts it in place only if the name is still free, so
//    that nothing another writer made meanwhile is overwritten unlocked.
// The handle is opened for reading where the system locks through it
// (Windows: a handle with write access would turn away readers that do not
// share writing), else for writing (POSIX locks exclusively only so).
class KV_API DataFileLock {
public:
    DataFileLock() = default;
    ~DataFileLock();
    DataFileLock(const DataFileLock&) = delete;
    DataFileLock& operator=(const DataFileLock&) = delete;

    // Locks the file at `path`, waiting at most `timeout`. ERROR_SUCCESS;
    // ERROR_LOCK_VIOLATION when the lock could not be had, in time or at all
    // (the system's reason is then the last error: ERROR_ACCESS_DENIED for a
    // file this process may neither lock through a reading handle nor open
    // for writing); otherwise the error of opening the file
    // (ERROR_FILE_NOT_FOUND for a missing file, ERROR_PATH_NOT_FOUND for a
    // missing folder).
    DWORD Acquire(const _stringx& path, std::chrono::milliseconds timeout = DefaultTimeout());
    // Releases the lock, if held. Also done by the destructor.
    void Release();
    bool Held() const { return m_handle != INVALID_HANDLE_VALUE; }

    // 10 seconds, or the number of milliseconds in KV_LOCK_TIMEOUT_MS.
    static std::chrono::milliseconds DefaultTimeout();

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

}  // namespace kv
