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

DWORD CheckPathLeadsTo(const std::string& path, HANDLE handle) {
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const HANDLE named =
        CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (named == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_PATH_NOT_FOUND ? DWORD(ERROR_FILE_NOT_FOUND)
                                                      : GetLastError();
    BY_HANDLE_FILE_INFORMATION held, found;
    DWORD error = ERROR_SUCCESS;
    if (!GetFileInformationByHandle(handle, &held) || !GetFileInformationByHandle(named, &found))
        error = GetLastError();
    else if (held.dwVolumeSerialNumber != found.dwVolumeSerialNumber ||
             held.nFileIndexHigh != found.nFileIndexHigh ||
             held.nFileIndexLow != found.nFileIndexLow)
        error = ERROR_FILE_NOT_FOUND;
    CloseHandle(named);
    return error;
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

// The folder that holds the file at `path`: "." for a bare name.
std::string FolderOf(const std::string& path) {
    const std::string folder = PathFolderPart(_stringx(path)).str();
    if (!folder.empty())
        return folder;
    if (!path.empty() && platform::IsPathSeparator(path[0]))
        return path.substr(0, 1);  // a file in the root folder
    return ".";
}

// Where the bytes of `path` really live, as a rooted path: the final target
// of a link, or for a file that does not exist yet the name in its folder as
// the system follows it. `exists` tells which.
DWORD ResolveTarget(const _stringx& path, std::string& target, bool& exists) {
    const std::string given = path.str();
    HANDLE handle = CreateFileA(given.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    exists = handle != INVALID_HANDLE_VALUE;
    if (!exists) {
        const DWORD error = LastErrorOrFailure();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            return error;
        handle = CreateFileA(FolderOf(given).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD folderError = LastErrorOrFailure();
            return folderError == ERROR_FILE_NOT_FOUND ? DWORD(ERROR_PATH_NOT_FOUND) : folderError;
        }
    }
    HandleCloser closer(handle);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info))
        return LastErrorOrFailure();
    // Refused before any byte is written; the replace would refuse it anyway.
    if (exists && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return ERROR_ACCESS_DENIED;
    }
    std::string resolved;
    if (!FinalPathOf(handle, resolved))
        return LastErrorOrFailure();
    target = exists ? resolved : PathJoin(_stringx(resolved), PathLastComponent(path)).str();
    return ERROR_SUCCESS;
}

// Writes the bytes into the existing file at `path`, its whole content (see
// WriteIntoFile).
DWORD WriteInto(const std::string& path, const void* bytes, std::size_t size) {
    const HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, TRUNCATE_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return LastErrorOrFailure();
    HandleCloser closer(handle);
    const char* next = static_cast<const char*>(bytes);
    while (size > 0) {
        const DWORD part = static_cast<DWORD>(std::min(size, kChunk));
        DWORD written = 0;
        if (!WriteFile(handle, next, part, &written, nullptr))
            return LastErrorOrFailure();
        next += written;
        size -= written;
    }
    return closer.Close() ? ERROR_SUCCESS : LastErrorOrFailure();
}

// Puts what the file at `path` holds on the device, whoever wrote it.
DWORD FlushFile(const std::string& path) {
    const HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return LastErrorOrFailure();
    HandleCloser closer(handle);
    if (!FlushFileBuffers(handle) || !closer.Close())
        return LastErrorOrFailure();
    return ERROR_SUCCESS;
}

}  // namespace

DWORD WriteIntoFile(const _stringx& path, const void* bytes, std::size_t size) {
    return WriteInto(path.str(), bytes, size);
}

DWORD ReadWholeFile(const _stringx& path, std::string& bytes) {
    const std::string name = path.str();
    const HANDLE handle =
        CreateFileA(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return LastErrorOrFailure();
    HandleCloser closer(handle);
    std::string content;
    LARGE_INTEGER size{};
    std::size_t expected = 0;
    if (GetFileSizeEx(handle, &size) && size.QuadPart > 0)
        expected = static_cast<std::size_t>(size.QuadPart);
    // Read straight into the string, to the end rather than to the size seen
    // at the start: the file may grow meanwhile, and some files report no
    // size. One byte more than the size, so that the end is seen at once.
    std::size_t filled = 0;
    content.resize(expected + 1);
    for (;;) {
        if (filled == content.size())
            content.resize(content.size() + std::max<std::size_t>(content.size() / 2, 64 * 1024));
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min(content.size() - filled, kChunk));
        if (!ReadFile(handle, &content[filled], want, &read, nullptr))
            return LastErrorOrFailure();
        if (read == 0)
            break;
        filled += read;
    }
    content.resize(filled);
    bytes.swap(content);
    return ERROR_SUCCESS;
}

FileReplacement::~FileReplacement() {
    Abandon();
}

DWORD FileReplacement::Begin(const _stringx& path) {
    Abandon();
    if (path.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    // The calls that are expected to fail on the way (probing for the target)
    // do not show in the last error of a save that works.
    const DWORD entryError = GetLastError();
    DWORD error = ResolveTarget(path, m_target, m_exists);
    // Hidden, so that a temporary file a crash leaves behind stays out of sight.
    char temporary[MAX_PATH];
    // A cleaner may take the new file for a leftover before it is held; it
    // is then left to the cleaner, and another is made.
    for (int attempt = 0; error == ERROR_SUCCESS; ++attempt) {
        if (GetTempFileNameA(FolderOf(m_target).c_str(), ".kv", 0, temporary) == 0) {
            error = LastErrorOrFailure();
            break;
        }
        error = m_hold.Take(temporary);
        if (error == ERROR_SUCCESS)
            break;
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_LOCK_VIOLATION) {
            DeleteFileA(temporary);
            break;
        }
        if (attempt < 10)
            error = ERROR_SUCCESS;
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return error;
    }
    m_temporary = temporary;
    // Under a umask that takes the owner's write bit, the new file would count
    // as read-only and could be neither written nor removed.
    const DWORD attributes = GetFileAttributesA(temporary);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !SetFileAttributesA(temporary, FILE_ATTRIBUTE_NORMAL)) {
        error = LastErrorOrFailure();
        Abandon();
        SetLastError(error);
        return error;
    }
    SetLastError(entryError);
    return ERROR_SUCCESS;
}

void FileReplacement::LetOthersWrite() {
    m_hold.Release();
}

DWORD FileReplacement::Commit(bool createOnly) {
    if (m_temporary.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    const DWORD entryError = GetLastError();
    // Held again after another writer had it by name: the file there now.
    DWORD error = m_hold.Held() ? DWORD(ERROR_SUCCESS) : m_hold.Take(m_temporary);
    if (error == ERROR_SUCCESS)
        error = FlushFile(m_temporary);
    if (error == ERROR_SUCCESS && createOnly && m_exists)
        error = ERROR_ALREADY_EXISTS;
    if (error == ERROR_SUCCESS) {
        BOOL placed = FALSE;
        bool exists = m_exists;
        if (exists) {
            placed =
                ReplaceFileA(m_target.c_str(), m_temporary.c_str(), nullptr, 0, nullptr, nullptr);
            // The target was deleted meanwhile: the new file takes its place.
            exists = placed || GetLastError() != ERROR_FILE_NOT_FOUND;
        }
        if (!exists)
            placed =
                MoveFileExA(m_temporary.c_str(), m_target.c_str(),
                            (createOnly ? 0 : MOVEFILE_REPLACE_EXISTING) | MOVEFILE_WRITE_THROUGH);
        if (placed) {
            m_hold.Release();
            m_temporary.clear();
            SetLastError(entryError);
            return ERROR_SUCCESS;
        }
        error = LastErrorOrFailure();
    }
    Abandon();
    SetLastError(error);
    return error;
}

void FileReplacement::Abandon() {
    if (m_temporary.empty())
        return;
    const DWORD error = GetLastError();
    // Removed while still held, so that no cleaner takes it meanwhile.
    DeleteFileA(m_temporary.c_str());
    m_hold.Release();
    m_temporary.clear();
    SetLastError(error);
}

DWORD SaveFileAtomically(const _stringx& path, const void* bytes, std::size_t size) {
    if (path.empty() || (!bytes && size != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    const DWORD entryError = GetLastError();
    FileReplacement replacement;
    DWORD error = replacement.Begin(path);
    if (error == ERROR_SUCCESS)
        error = WriteInto(replacement.Temporary(), bytes, size);
    if (error == ERROR_SUCCESS)
        error = replacement.Commit();
    if (error != ERROR_SUCCESS) {
        replacement.Abandon();
        SetLastError(error);
        return error;
    }
    SetLastError(entryError);
    return ERROR_SUCCESS;
}

}  // namespace kv
