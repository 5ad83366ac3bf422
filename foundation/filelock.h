// An exclusive lock on a data file, held across a read-change-save, so that
// two processes changing the same file never lose each other's changes.
#pragma once

#include <chrono>
#include <string>

#include "win32/fileio.h"
#include "foundation/stringx.h"

namespace kv {

// The lock is taken on the data file itself (no companion file is left
// behind). Saves replace the file by a rename, so after the lock is had the
// path is checked to still name the locked file; if a writer replaced it in the
// meantime, the lock is taken again on the new file. The system releases the
// lock when its holder dies. Readers take no lock: a rename lets them see the
// old or the new file, whole.
class KV_API DataFileLock {
public:
    DataFileLock() = default;
    ~DataFileLock();
    DataFileLock(const DataFileLock&) = delete;
    DataFileLock& operator=(const DataFileLock&) = delete;

    // Locks the file at `path`, waiting at most `timeout`. ERROR_SUCCESS;
    // ERROR_LOCK_VIOLATION when the lock could not be had, in time or at all
    // (the system's reason is then the last error); otherwise the error of
    // opening the file, to read it or else to write it (ERROR_FILE_NOT_FOUND
    // for a missing file).
    DWORD Acquire(const _stringx& path, std::chrono::milliseconds timeout = DefaultTimeout());
    // As Acquire, but a missing file is first made, empty, to be locked: for a
    // save that is to create the file. Release removes a file so made unless
    // something has replaced it by then (as a save does, by a rename), so that
    // a save that fails leaves no empty file behind. Otherwise the error of
    // making the file (ERROR_PATH_NOT_FOUND for a missing folder).
    DWORD AcquireCreating(const _stringx& path,
                          std::chrono::milliseconds timeout = DefaultTimeout());
    // Releases the lock, if held. Also done by the destructor.
    void Release();
    bool Held() const { return m_handle != INVALID_HANDLE_VALUE; }
    // Whether the lock held is on a file that AcquireCreating made.
    bool Created() const { return m_created; }

    // 10 seconds, or the number of milliseconds in KV_LOCK_TIMEOUT_MS.
    static std::chrono::milliseconds DefaultTimeout();

private:
    DWORD Lock(const _stringx& path, std::chrono::milliseconds timeout, bool create);

    HANDLE m_handle = INVALID_HANDLE_VALUE;
    std::string m_path;  // what the locked file was opened as
    bool m_created = false;
};

}  // namespace kv
