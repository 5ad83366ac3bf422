// The layer's file-system calls on Windows: narrow ANSI paths handed to the
// system's wide functions, the library's contracts where they differ from the
// system's, and the fault-injection seam of the tests.

#include "foundation/platform/windows/filecalls.h"

#include <chrono>
#include <cwchar>
#include <random>
#include <string>
#include <thread>

#include "foundation/platform/faults.h"
#include "foundation/platform/filecopy.h"
#include "foundation/platform/windows/widetext.h"

namespace {

// How long a rename or replace keeps retrying while a reader's sharing stands
// in its way: readers hold a data file open only while they read it.
constexpr std::chrono::milliseconds kSharingRetry{2000};

BOOL Refuse(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// A wide path as the system's functions take it: paths past MAX_PATH get the
// "\\?\" form, which takes backslashes only.
std::wstring LongForm(std::wstring wide) {
    for (wchar_t& c : wide) {
        if (c == L'/')
            c = L'\\';
    }
    if (wide.size() >= MAX_PATH - 12 && wide.compare(0, 4, L"\\\\?\\") != 0) {
        if (wide.size() > 2 && wide[1] == L':')
            wide.insert(0, L"\\\\?\\");
        else if (wide.compare(0, 2, L"\\\\") == 0)
            wide.replace(0, 2, L"\\\\?\\UNC\\");
    }
    return wide;
}

// Whether a name in `path` is longer than any file system takes (255 units):
// refused as POSIX refuses it (ERROR_FILENAME_EXCED_RANGE), where the system's
// own error would depend on the call and the file system.
bool HasTooLongName(const std::wstring& path) {
    std::size_t length = 0;
    for (wchar_t c : path) {
        length = (c == L'\\' || c == L'/') ? 0 : length + 1;
        if (length > 255)
            return true;
    }
    return false;
}

// A narrow ANSI path as the system's wide functions take it.
std::wstring WidePath(LPCSTR path) {
    return LongForm(kv::platform::WideText(CP_ACP, path));
}

// Makes a new, empty file "<prefix><hex>.tmp" in `folder` (a path as LongForm
// gives it, of any length: the system's GetTempFileNameW takes folders up to
// MAX_PATH - 14 only, and Wine's writes past its buffer beyond that); its
// path in `path`. The number in its name, or 0 with the last error set:
// ERROR_PATH_NOT_FOUND for a missing folder, ERROR_FILE_EXISTS when no free
// name was found.
UINT MakeTemporaryFile(std::wstring folder, const std::wstring& prefix, std::wstring& path) {
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    thread_local std::mt19937 generator{std::random_device{}()};
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        const UINT number = static_cast<UINT>(generator()) | 1u;
        wchar_t suffix[16];
        std::swprintf(suffix, 16, L"%04X.tmp", number);
        path = LongForm(folder + prefix.substr(0, 3) + suffix);
        const HANDLE file =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return number;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return Refuse(error == ERROR_FILE_NOT_FOUND ? DWORD(ERROR_PATH_NOT_FOUND) : error);
    }
    return Refuse(ERROR_FILE_EXISTS);
}

#ifdef KV_FAULT_INJECTION
// Whether the armed fault hits this call; it then sets the error it asks for.
bool FaultHits(kv::platform::FileCall call) {
    if (kv::platform::DecideFault(call) != kv::platform::FaultOutcome::kFail)
        return false;
    SetLastError(kv::platform::ArmedFaultError());
    return true;
}
#else
constexpr bool FaultHits(kv::platform::FileCall) {
    return false;
}
#endif

bool IsReadOnlyFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (attributes & FILE_ATTRIBUTE_READONLY);
}

// Runs `attempt` until it works, fails for another reason than a reader's
// sharing, or the retry time is over.
template <class Attempt>
BOOL RetryingSharing(Attempt&& attempt) {
    const auto deadline = std::chrono::steady_clock::now() + kSharingRetry;
    for (;;) {
        if (attempt())
            return TRUE;
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
             error != ERROR_LOCK_VIOLATION) ||
            std::chrono::steady_clock::now() >= deadline)
            return FALSE;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

using kv::platform::FileCall;

HANDLE KvCreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                     DWORD disposition, DWORD flags, HANDLE templateFile) {
    const std::wstring wide = WidePath(path);
    if (HasTooLongName(wide)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    if ((access & GENERIC_WRITE) && disposition != CREATE_NEW && IsReadOnlyFile(wide)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (FaultHits(FileCall::kOpen))
        return INVALID_HANDLE_VALUE;
    (void)templateFile;
    return CreateFileW(wide.c_str(), access, share, security, disposition, flags, nullptr);
}

BOOL KvReadFile(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
    if (FaultHits(FileCall::kRead))
        return FALSE;
    return ReadFile(handle, buffer, size, read, overlapped);
}

BOOL KvWriteFile(HANDLE handle, LPCVOID buffer, DWORD size, LPDWORD written,
                 LPOVERLAPPED overlapped) {
    const char* bytes = static_cast<const char*>(buffer);
    DWORD total = 0;
    BOOL ok = TRUE;
    while (ok && total < size) {
        DWORD part = size - total;
#ifdef KV_FAULT_INJECTION
        const auto outcome = kv::platform::DecideFault(FileCall::kWrite);
        if (outcome == kv::platform::FaultOutcome::kFail) {
            SetLastError(kv::platform::ArmedFaultError());
            ok = FALSE;
            break;
        }
        if (outcome == kv::platform::FaultOutcome::kShort)
            part /= 2;
#endif
        DWORD done = 0;
        ok = ::WriteFile(handle, bytes + total, part, &done, overlapped);
        total += done;
        if (ok && done == 0) {
            SetLastError(ERROR_DISK_FULL);
            ok = FALSE;
        }
    }
    if (written)
        *written = total;
    return ok;
}

BOOL KvFlushFileBuffers(HANDLE handle) {
    if (FaultHits(FileCall::kFlush))
        return FALSE;
    return FlushFileBuffers(handle);
}

BOOL KvCloseHandle(HANDLE handle) {
    const BOOL closed = CloseHandle(handle);
    if (closed && FaultHits(FileCall::kClose))
        return FALSE;  // released all the same, as a deferred write error would leave it
    return closed;
}

BOOL KvDeleteFileA(LPCSTR path) {
    const std::wstring wide = WidePath(path);
    if (IsReadOnlyFile(wide))
        return Refuse(ERROR_ACCESS_DENIED);
    if (FaultHits(FileCall::kDelete))
        return FALSE;
    return DeleteFileW(wide.c_str());
}

BOOL KvMoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags) {
    const std::wstring from = WidePath(existing), to = WidePath(target);
    if ((flags & MOVEFILE_REPLACE_EXISTING) && IsReadOnlyFile(to))
        return Refuse(ERROR_ACCESS_DENIED);
    if (FaultHits(FileCall::kRename))
        return FALSE;
    if (!(flags & MOVEFILE_REPLACE_EXISTING) &&
        GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES)
        return Refuse(ERROR_ALREADY_EXISTS);
    return RetryingSharing([&] { return MoveFileExW(from.c_str(), to.c_str(), flags); });
}

BOOL KvReplaceFileA(LPCSTR replaced, LPCSTR replacement, LPCSTR backup, DWORD flags, LPVOID exclude,
                    LPVOID reserved) {
    if (backup || flags || exclude || reserved)
        return Refuse(ERROR_INVALID_PARAMETER);
    const std::wstring target = WidePath(replaced), source = WidePath(replacement);
    const DWORD old = GetFileAttributesW(target.c_str());
    if (old == INVALID_FILE_ATTRIBUTES)
        return FALSE;  // the system's reason: ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND...
    if (old & FILE_ATTRIBUTE_DIRECTORY)
        return Refuse(ERROR_ACCESS_DENIED);
    if (old & FILE_ATTRIBUTE_READONLY)
        return Refuse(ERROR_ACCESS_DENIED);
    if (FaultHits(FileCall::kRename))
        return FALSE;
    // The new file keeps what the old one was: hidden, archive and the rest.
    const DWORD kept = old & ~DWORD(FILE_ATTRIBUTE_READONLY);
    if (kept != GetFileAttributesW(source.c_str()))
        SetFileAttributesW(source.c_str(), kept == 0 ? DWORD(FILE_ATTRIBUTE_NORMAL) : kept);
    // Renamed over the old file while nobody holds it open without delete
    // sharing; after the retries nothing has changed.
    const BOOL done = RetryingSharing([&] {
        return MoveFileExW(source.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    });
    if (!done) {
        const DWORD error = GetLastError();
        return Refuse(error == ERROR_ACCESS_DENIED ? DWORD(ERROR_SHARING_VIOLATION) : error);
    }
    return TRUE;
}

UINT KvGetTempFileNameA(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR result) {
    if (!folder || !result || unique != 0)
        return Refuse(ERROR_INVALID_PARAMETER);
    if (FaultHits(FileCall::kOpen))
        return 0;
    // The name must fit the caller's MAX_PATH buffer, as with the system's call.
    const std::wstring wideFolder = kv::platform::WideText(CP_ACP, folder);
    if (wideFolder.size() + 12 >= MAX_PATH)
        return Refuse(ERROR_FILENAME_EXCED_RANGE);
    std::wstring path;
    const UINT number = MakeTemporaryFile(
        LongForm(wideFolder), kv::platform::WideText(CP_ACP, prefix ? prefix : ""), path);
    if (number == 0)
        return 0;
    std::string narrow;
    kv::platform::NarrowText(CP_ACP, path.c_str(), static_cast<int>(path.size()), narrow, false);
    if (narrow.size() >= MAX_PATH) {
        DeleteFileW(path.c_str());
        return Refuse(ERROR_FILENAME_EXCED_RANGE);
    }
    narrow.copy(result, narrow.size());
    result[narrow.size()] = '\0';
    return number;
}

BOOL KvLockFileEx(HANDLE handle, DWORD flags, DWORD reserved, DWORD bytesLow, DWORD bytesHigh,
                  LPOVERLAPPED overlapped) {
    if (FaultHits(FileCall::kLock))
        return FALSE;
    return LockFileEx(handle, flags, reserved, bytesLow, bytesHigh, overlapped);
}

BOOL KvSetFileAttributesA(LPCSTR path, DWORD attributes) {
    if (FaultHits(FileCall::kChmod))
        return FALSE;
    return SetFileAttributesW(WidePath(path).c_str(), attributes);
}

BOOL KvCreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security) {
    const std::wstring wide = WidePath(path);
    if (HasTooLongName(wide))
        return Refuse(ERROR_FILENAME_EXCED_RANGE);
    if (FaultHits(FileCall::kMakeFolder))
        return FALSE;
    return CreateDirectoryW(wide.c_str(), security);
}

BOOL KvRemoveDirectoryA(LPCSTR path) {
    if (FaultHits(FileCall::kDelete))
        return FALSE;
    return RemoveDirectoryW(WidePath(path).c_str());
}

DWORD KvGetFinalPathNameByHandleA(HANDLE handle, LPSTR buffer, DWORD size, DWORD flags) {
    std::wstring wide(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, &wide[0], MAX_PATH, flags);
    if (length >= MAX_PATH) {
        wide.assign(length, L'\0');
        length = GetFinalPathNameByHandleW(handle, &wide[0], length, flags);
    }
    if (length == 0 || length >= wide.size())
        return 0;
    wide.resize(length);
    if (wide.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        wide.replace(0, 8, L"\\\\");
    else if (wide.compare(0, 4, L"\\\\?\\") == 0)
        wide.erase(0, 4);
    std::string narrow;
    if (!kv::platform::NarrowText(CP_ACP, wide.c_str(), static_cast<int>(wide.size()), narrow,
                                  false))
        return 0;
    if (narrow.size() >= size)
        return static_cast<DWORD>(narrow.size()) + 1;
    narrow.copy(buffer, narrow.size());
    buffer[narrow.size()] = '\0';
    return static_cast<DWORD>(narrow.size());
}

namespace kv {
namespace platform {

BOOL CopyOneFile(LPCSTR source, LPCSTR target, BOOL failIfExists) {
    const std::wstring from = WidePath(source), to = WidePath(target);
    if (HasTooLongName(to))
        return Refuse(ERROR_FILENAME_EXCED_RANGE);
    const DWORD existing = GetFileAttributesW(to.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES) {
        if (failIfExists)
            return Refuse(ERROR_FILE_EXISTS);
        if (existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))
            return Refuse(ERROR_ACCESS_DENIED);
    }
    if (FaultHits(FileCall::kCopy))
        return FALSE;
    // Through a temporary file beside the target, so a failed copy leaves it whole.
    const std::size_t slash = to.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"." : to.substr(0, slash + 1);
    std::wstring temporary;
    if (!MakeTemporaryFile(folder, L".kv", temporary))
        return FALSE;
    if (!CopyFileW(from.c_str(), temporary.c_str(), FALSE) ||
        !MoveFileExW(temporary.c_str(), to.c_str(),
                     (failIfExists ? 0 : MOVEFILE_REPLACE_EXISTING) | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(temporary.c_str());
        return Refuse(error);
    }
    return TRUE;
}

}  // namespace platform
}  // namespace kv
