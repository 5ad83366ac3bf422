// Exclusive inter-process locks on data files.

#include "foundation/filelock.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

#include "foundation/filesave.h"
#include "foundation/pathx.h"
#include "foundation/platform/lockbyte.h"
#include "win32/errors.h"
#include "win32/files.h"
#include "win32/fileio.h"

namespace kv {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr std::chrono::milliseconds kDefaultTimeout{10000};
// Waits beyond this are taken as waiting for ever (and keep the deadline
// within the clock's range).
constexpr std::chrono::milliseconds kLongestTimeout{std::chrono::hours(24 * 365 * 10)};
// The polling interval starts short, so that a lock released quickly is had
// quickly, and grows so that a long wait costs little.
constexpr std::chrono::milliseconds kFirstPoll{2};
constexpr std::chrono::milliseconds kLongestPoll{50};

// The lock file of the data file at `path`: beside the file the path leads
// to, links followed, named after it. ERROR_SUCCESS, or the error of opening
// the data file (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND...).
DWORD LockFileOf(const std::string& path, std::string& lockName) {
    // A writer may replace the file while its path is asked for; the system
    // then names the old file as gone (Linux appends " (deleted)"). The path
    // counts only once it leads to the file it was asked of.
    constexpr int kAttempts = 100;
    for (int attempt = 1;; ++attempt) {
        const HANDLE file =
            CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return GetLastError();
        std::string final;
        const bool known = FinalPathOf(file, final);
        const DWORD error = GetLastError();
        const bool current = known && CheckPathLeadsTo(final, file) == ERROR_SUCCESS;
        CloseHandle(file);
        if (!current && attempt < kAttempts)
            continue;
        if (!known)
            return error != ERROR_SUCCESS ? error : DWORD(ERROR_GEN_FAILURE);
        if (!current) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return ERROR_LOCK_VIOLATION;  // replaced without end: no lock to be had
        }
        const _stringx resolved(final);
        lockName = PathJoin(PathFolderPart(resolved),
                            _stringx("." + PathLastComponent(resolved).str() + ".lock"))
                       .str();
        return ERROR_SUCCESS;
    }
}

// Opens the lock file at `name`, making it when missing, hidden, with the
// permissions of the data file at `dataFile` (which is open only while it is
// made: a data file held open could not be replaced on Windows). Writers share
// reading and writing but not deletion, so that the file cannot be deleted
// while it is held where the system keeps to sharing. INVALID_HANDLE_VALUE
// with the last error set.
HANDLE OpenLockFile(const std::string& name, const std::string& dataFile) {
    constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE;
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    for (int attempt = 0; attempt < 3; ++attempt) {
        HANDLE handle =
            CreateFileA(name.c_str(), kAccess, kShare, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_NOT_FOUND)
            return handle;
        const HANDLE like = CreateFileA(dataFile.c_str(), GENERIC_READ, kShareAll, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
        handle = CreateFileA(name.c_str(), kAccess, kShare, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_HIDDEN, like == INVALID_HANDLE_VALUE ? nullptr : like);
        const DWORD error = GetLastError();
        if (like != INVALID_HANDLE_VALUE)
            CloseHandle(like);
        SetLastError(error);
        // Made by another writer just then: opened as it is.
        if (handle != INVALID_HANDLE_VALUE ||
            (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS))
            return handle;
    }
    return INVALID_HANDLE_VALUE;
}

// Takes the lock through `handle`, trying until `deadline` (at least once, so
// that a zero timeout still takes a free lock). ERROR_SUCCESS, or the reason
// it was not had: ERROR_LOCK_VIOLATION when held elsewhere past the deadline.
DWORD LockUntil(HANDLE handle, std::chrono::steady_clock::time_point deadline) {
    auto poll = kFirstPoll;
    for (;;) {
        OVERLAPPED position = platform::LockPosition();
        if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                       platform::kLockBytes, 0, &position))
            return ERROR_SUCCESS;
        const DWORD error = GetLastError();
        const auto now = std::chrono::steady_clock::now();
        if (error != ERROR_LOCK_VIOLATION || now >= deadline)
            return error;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(poll, deadline - now));
        poll = std::min(poll * 2, kLongestPoll);
    }
}

}  // namespace

DataFileLock::~DataFileLock() {
    Release();
}

DWORD DataFileLock::Acquire(const _stringx& path, std::chrono::milliseconds timeout) {
    Release();
    const DWORD entryError = GetLastError();  // polling failures are no news on success
    timeout = std::clamp(timeout, std::chrono::milliseconds::zero(), kLongestTimeout);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const std::string dataFile = path.str();
    std::string lockName;
    if (const DWORD error = LockFileOf(dataFile, lockName))
        return error;
    const auto refuse = [](DWORD reason) {
        SetLastError(reason);  // the system's own reason
        return DWORD(ERROR_LOCK_VIOLATION);
    };
    for (;;) {
        const HANDLE handle = OpenLockFile(lockName, dataFile);
        if (handle == INVALID_HANDLE_VALUE)
            return refuse(GetLastError());
        const DWORD error = LockUntil(handle, deadline);
        if (error != ERROR_SUCCESS) {
            CloseHandle(handle);
            return refuse(error);
        }
        // A lock file deleted by hand while we waited guards nothing: the
        // lock is taken again on the one now there.
        if (CheckPathLeadsTo(lockName, handle) == ERROR_SUCCESS) {
            m_handle = handle;
            m_folder = PathFolderPart(_stringx(lockName)).str();
            SetLastError(entryError);
            return ERROR_SUCCESS;
        }
        CloseHandle(handle);
        if (std::chrono::steady_clock::now() >= deadline)
            return refuse(ERROR_LOCK_VIOLATION);
    }
}

void DataFileLock::Release() {
    if (m_handle == INVALID_HANDLE_VALUE)
        return;
    const DWORD error = GetLastError();
    OVERLAPPED position = platform::LockPosition();
    UnlockFileEx(m_handle, 0, platform::kLockBytes, 0, &position);
    CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    m_folder.clear();
    SetLastError(error);
}

std::chrono::milliseconds DataFileLock::DefaultTimeout() {
    const char* text = std::getenv("KV_LOCK_TIMEOUT_MS");
    if (!text || !*text)
        return kDefaultTimeout;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (*end != '\0' || value < 0)
        return kDefaultTimeout;
    return std::chrono::milliseconds(value);
}

}  // namespace kv
