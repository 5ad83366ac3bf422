// Exclusive inter-process locks on data files.

#include "foundation/filelock.h"

#include <algorithm>
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
// The range LockFileEx is asked for; the lock covers the whole file anyway.
constexpr DWORD kWholeFile = 0xFFFFFFFFu;
// The polling interval starts short, so that a lock released quickly is had
// quickly, and grows so that a long wait costs little.
constexpr std::chrono::milliseconds kFirstPoll{2};
constexpr std::chrono::milliseconds kLongestPoll{50};

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

// Opens the file at `name` to be locked; with `create`, a missing one is made
// first (`created` then tells). INVALID_HANDLE_VALUE with the last error set.
HANDLE OpenToLock(const std::string& name, bool create, bool& created) {
    created = false;
    HANDLE handle =
        CreateFileA(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    // A file that may be written but not read can be saved, so it is locked too.
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
        handle =
            CreateFileA(name.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE || !create || GetLastError() != ERROR_FILE_NOT_FOUND)
        return handle;
    handle = CreateFileA(name.c_str(), GENERIC_READ, kShareAll, nullptr, CREATE_NEW, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        created = true;
        // Writable whatever the umask, as a saved file is: the save that
        // replaces it keeps its permissions, and Release must be able to
        // remove it.
        const DWORD attributes = GetFileAttributesA(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
        return handle;
    }
    // Made by another writer meanwhile: that one is locked. (Once only: a
    // link that leads nowhere neither opens nor can be made.)
    if (GetLastError() != ERROR_FILE_EXISTS)
        return handle;
    return CreateFileA(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
}

}  // namespace

DataFileLock::~DataFileLock() {
    Release();
}

DWORD DataFileLock::Acquire(const _stringx& path, std::chrono::milliseconds timeout) {
    return Lock(path, timeout, false);
}

DWORD DataFileLock::AcquireCreating(const _stringx& path, std::chrono::milliseconds timeout) {
    return Lock(path, timeout, true);
}

DWORD DataFileLock::Lock(const _stringx& path, std::chrono::milliseconds timeout, bool create) {
    Release();
    const DWORD entryError = GetLastError();  // polling failures are no news on success
    const std::string name = path.str();
    timeout = std::clamp(timeout, std::chrono::milliseconds::zero(), kLongestTimeout);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto poll = kFirstPoll;
    for (;;) {
        bool created = false;
        const HANDLE handle = OpenToLock(name, create, created);
        if (handle == INVALID_HANDLE_VALUE)
            return GetLastError();
        // Every attempt tries at least once, so that a zero timeout still takes
        // a free lock.
        for (;;) {
            if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                           kWholeFile, kWholeFile, nullptr))
                break;
            const DWORD error = GetLastError();
            const auto now = std::chrono::steady_clock::now();
            if (error != ERROR_LOCK_VIOLATION || now >= deadline) {
                // The system's own reason stays in the last error.
                CloseHandle(handle);
                SetLastError(error);
                return ERROR_LOCK_VIOLATION;
            }
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(poll, deadline - now));
            poll = std::min(poll * 2, kLongestPoll);
        }
        // A writer may have replaced the file while we waited: the lock on the
        // old file then guards nothing, so it is taken again on the new one.
        if (PathNamesFile(name, handle)) {
            m_handle = handle;
            m_path = name;
            m_created = created;
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
    // Removed while still locked: a writer of this library, which locks
    // before it saves, cannot have replaced it in between.
    if (m_created && PathNamesFile(m_path, m_handle))
        DeleteFileA(m_path.c_str());
    UnlockFileEx(m_handle, 0, kWholeFile, kWholeFile, nullptr);
    CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    m_created = false;
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
