// Exclusive inter-process locks on data files.

#include "foundation/filelock.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

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
// The locked byte: beyond any real file, so that no read or write of the
// file's content ever meets it.
constexpr std::uint64_t kLockOffset = std::uint64_t(1) << 62;
constexpr DWORD kLockBytes = 1;
// The polling interval starts short, so that a lock released quickly is had
// quickly, and grows so that a long wait costs little.
constexpr std::chrono::milliseconds kFirstPoll{2};
constexpr std::chrono::milliseconds kLongestPoll{50};

OVERLAPPED LockPosition() {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(kLockOffset);
    position.OffsetHigh = static_cast<DWORD>(kLockOffset >> 32);
    return position;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// Whether `path` still names the file open as `locked`. A path that names no
// file, or another file, does not.
bool PathNamesFile(const std::string& path, HANDLE locked) {
    BY_HANDLE_FILE_INFORMATION lockedInfo;
    if (!GetFileInformationByHandle(locked, &lockedInfo))
        return false;
    const HANDLE current =
        CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (current == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION currentInfo;
    const bool same =
        GetFileInformationByHandle(current, &currentInfo) && SameFile(lockedInfo, currentInfo);
    CloseHandle(current);
    return same;
}

// Opens the file at `name` with `access`; a file that may not be read is
// opened for writing instead (it can be saved, so it is locked too).
// INVALID_HANDLE_VALUE with the last error set.
HANDLE OpenToLock(const std::string& name, DWORD access) {
    const HANDLE handle =
        CreateFileA(name.c_str(), access, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE || access != GENERIC_READ ||
        GetLastError() != ERROR_ACCESS_DENIED)
        return handle;
    return CreateFileA(name.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Takes the lock through `handle`, trying until `deadline` (at least once, so
// that a zero timeout still takes a free lock). ERROR_SUCCESS, or the reason
// it was not had: ERROR_LOCK_VIOLATION when held elsewhere past the deadline.
DWORD LockUntil(HANDLE handle, std::chrono::steady_clock::time_point deadline) {
    auto poll = kFirstPoll;
    for (;;) {
        OVERLAPPED position = LockPosition();
        if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, kLockBytes,
                       0, &position))
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
    const std::string name = path.str();
    timeout = std::clamp(timeout, std::chrono::milliseconds::zero(), kLongestTimeout);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    DWORD access = GENERIC_READ;
    for (;;) {
        const HANDLE handle = OpenToLock(name, access);
        if (handle == INVALID_HANDLE_VALUE)
            return GetLastError();
        const DWORD error = LockUntil(handle, deadline);
        if (error == ERROR_ACCESS_DENIED && access == GENERIC_READ) {
            // This system locks exclusively only through a handle open for
            // writing.
            CloseHandle(handle);
            access = GENERIC_WRITE;
            continue;
        }
        if (error != ERROR_SUCCESS) {
            // The system's own reason stays in the last error.
            CloseHandle(handle);
            SetLastError(error);
            return ERROR_LOCK_VIOLATION;
        }
        // A writer may have replaced the file while we waited: the lock on the
        // old file then guards nothing, so it is taken again on the new one.
        if (PathNamesFile(name, handle)) {
            m_handle = handle;
            SetLastError(entryError);
            return ERROR_SUCCESS;
        }
        CloseHandle(handle);
        if (std::chrono::steady_clock::now() >= deadline) {
            SetLastError(ERROR_LOCK_VIOLATION);
            return ERROR_LOCK_VIOLATION;
        }
    }
}

void DataFileLock::Release() {
    if (m_handle == INVALID_HANDLE_VALUE)
        return;
    const DWORD error = GetLastError();
    OVERLAPPED position = LockPosition();
    UnlockFileEx(m_handle, 0, kLockBytes, 0, &position);
    CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
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
