// Whole-file reading and crash-safe whole-file replacement.

#include "foundation/filesave.h"

#include <algorithm>
#include <string>

#include "foundation/folderpath.h"
#include "foundation/pathx.h"
#include "win32/errors.h"
#include "win32/fileio.h"
#include "win32/files.h"
#include "foundation/platform/text.h"

namespace kv {

bool FinalPathOf(HANDLE handle, std::string& path) {
    std::string buffer(MAX_PATH, '\0');
    DWORD length = GetFinalPathNameByHandleA(handle, &buffer[0], MAX_PATH, 0);
    if (length >= MAX_PATH) {  // the size needed: paths may be longer than MAX_PATH here
        buffer.assign(length, '\0');
        length = GetFinalPathNameByHandleA(handle, &buffer[0], length, 0);
    }
    if (length == 0 || length >= buffer.size())
        return false;
    buffer.resize(length);
    path.swap(buffer);
    return true;
}

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The most one ReadFile/WriteFile call moves.
constexpr std::size_t kChunk = 1u << 30;

// Closes a handle at the end of a scope, keeping the thread's last error.
class HandleCloser {
public:
    explicit HandleCloser(HANDLE handle) : m_handle(handle) {}
    ~HandleCloser() {
        if (m_handle != INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            CloseHandle(m_handle);
            SetLastError(error);
        }
    }
    HandleCloser(const HandleCloser&) = delete;
    HandleCloser& operator=(const HandleCloser&) = delete;

    // Closes now and reports whether the close worked (a deferred write error
    // can surface here).
    bool Close() {
        const HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return CloseHandle(handle) != FALSE;
    }

private:
    HANDLE m_handle;
};

// Returns the thread's last error, or a general failure when a call failed
// without saying why.
DWORD LastErrorOrFailure() {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

// Where the bytes of `path` really live: the final target of a link, or the
// path itself for a file that does not exist yet. `exists` tells which.
DWORD ResolveTarget(const _stringx& path, std::string& target, bool& exists) {
    const std::string given = path.str();
    const HANDLE handle =
        CreateFileA(given.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = LastErrorOrFailure();
        if (error != ERROR_FILE_NOT_FOUND)
            return error;
        exists = false;
        target = given;
        return ERROR_SUCCESS;
    }
    HandleCloser closer(handle);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info))
        return LastErrorOrFailure();
    // Refused before any byte is written; the replace would refuse it anyway.
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
        SetLastError(ERROR_ACCESS_DENIED);
        return ERROR_ACCESS_DENIED;
    }
    if (!FinalPathOf(handle, target))
        return LastErrorOrFailure();
    exists = true;
    return ERROR_SUCCESS;
}

// The folder the temporary file goes to: the target's own, "." for a bare name.
std::string FolderFor(const std::string& target) {
    const std::string folder = PathFolderPart(_stringx(target)).str();
    if (!folder.empty())
        return folder;
    if (!target.empty() && platform::IsPathSeparator(target[0]))
        return target.substr(0, 1);  // a file in the root folder
    return ".";
}

DWORD WriteAll(HANDLE handle, const void* bytes, std::size_t size) {
    const char* next = static_cast<const char*>(bytes);
    while (size > 0) {
        const DWORD part = static_cast<DWORD>(std::min(size, kChunk));
        DWORD written = 0;
        if (!WriteFile(handle, next, part, &written, nullptr))
            return LastErrorOrFailure();
        next += written;
        size -= written;
    }
    return ERROR_SUCCESS;
}

// Writes the bytes to the new temporary file and puts them on the device.
DWORD FillTemporary(const std::string& temporary, const void* bytes, std::size_t size) {
    // Under a umask that takes the owner's write bit, the new file would count
    // as read-only and could be neither written nor removed.
    const DWORD attributes = GetFileAttributesA(temporary.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !SetFileAttributesA(temporary.c_str(), FILE_ATTRIBUTE_NORMAL))
        return LastErrorOrFailure();
    const HANDLE handle =
        CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return LastErrorOrFailure();
    HandleCloser closer(handle);
    const DWORD error = WriteAll(handle, bytes, size);
    if (error != ERROR_SUCCESS)
        return error;
    if (!FlushFileBuffers(handle) || !closer.Close())
        return LastErrorOrFailure();
    return ERROR_SUCCESS;
}

}  // namespace

DWORD ReadWholeFile(const _stringx& path, std::string& bytes) {
    const std::string name = path.str();
    const HANDLE handle =
        CreateFileA(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return LastErrorOrFailure();
    HandleCloser closer(handle);
    std::string content;
    LONGLONG size = 0;
    if (GetFileSizeEx(handle, &size) && size > 0)
        content.reserve(static_cast<std::size_t>(size));
    // Read to the end rather than to the size seen at the start: the file may
    // grow meanwhile, and some files report no size.
    char buffer[64 * 1024];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(handle, buffer, sizeof buffer, &read, nullptr))
            return LastErrorOrFailure();
        if (read == 0)
            break;
        content.append(buffer, read);
    }
    bytes.swap(content);
    return ERROR_SUCCESS;
}

DWORD SaveFileAtomically(const _stringx& path, const void* bytes, std::size_t size) {
    if (path.empty() || (!bytes && size != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    // The calls that are expected to fail on the way (probing for the target)
    // do not show in the last error of a save that works.
    const DWORD entryError = GetLastError();
    std::string target;
    bool exists = false;
    DWORD error = ResolveTarget(path, target, exists);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return error;
    }

    // Hidden, so that a temporary file a crash leaves behind stays out of sight.
    char temporary[MAX_PATH];
    if (GetTempFileNameA(FolderFor(target).c_str(), ".kv", 0, temporary) == 0) {
        error = LastErrorOrFailure();
        SetLastError(error);
        return error;
    }
    error = FillTemporary(temporary, bytes, size);
    if (error == ERROR_SUCCESS) {
        BOOL replaced = FALSE;
        if (exists) {
            replaced = ReplaceFileA(target.c_str(), temporary, nullptr, 0, nullptr, nullptr);
            // The target was deleted meanwhile: the new file takes its place.
            exists = replaced || GetLastError() != ERROR_FILE_NOT_FOUND;
        }
        if (!exists)
            replaced = MoveFileExA(temporary, target.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (replaced) {
            SetLastError(entryError);
            return ERROR_SUCCESS;
        }
        error = LastErrorOrFailure();
    }
    DeleteFileA(temporary);
    SetLastError(error);
    return error;
}

}  // namespace kv
