#include "foundation/temporaryfiles.h"

#include <algorithm>

#include "foundation/folderpath.h"
#include "foundation/filesave.h"
#include "foundation/pathx.h"
#include "foundation/platform/find.h"
#include "foundation/platform/lockbyte.h"
#include "win32/errors.h"
#include "win32/files.h"

namespace kv {

TemporaryFileHold::~TemporaryFileHold() {
    Release();
}

DWORD TemporaryFileHold::Take(const std::string& path) {
    Release();
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    // Writing, since POSIX gives exclusive locks to writers only.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError();
    OVERLAPPED position = platform::LockPosition();
    DWORD error = ERROR_SUCCESS;
    if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                    platform::kLockBytes, 0, &position))
        error = GetLastError();
    else
        error = CheckPathLeadsTo(path, handle);
    if (error != ERROR_SUCCESS) {
        CloseHandle(handle);
        SetLastError(error);
        return error;
    }
    m_handle = handle;
    return ERROR_SUCCESS;
}

void TemporaryFileHold::Release() {
    if (m_handle == INVALID_HANDLE_VALUE)
        return;
    const DWORD error = GetLastError();
    CloseHandle(m_handle);  // which releases the lock
    m_handle = INVALID_HANDLE_VALUE;
    SetLastError(error);
}

bool IsTemporaryFileName(const _stringx& name) {
    const _stringx lower = LowerFileName(name);
    constexpr std::size_t kPrefix = 3, kSuffix = 4;
    if (lower.size() <= kPrefix + kSuffix || lower.size() > kPrefix + 8 + kSuffix)
        return false;
    if (lower.compare(0, kPrefix, OLESTR(".kv")) != 0 &&
        lower.compare(0, kPrefix, OLESTR("kvc")) != 0)
        return false;
    if (lower.compare(lower.size() - kSuffix, kSuffix, OLESTR(".tmp")) != 0)
        return false;
    return std::all_of(lower.begin() + kPrefix, lower.end() - kSuffix, [](OLECHAR c) {
        return (c >= OLESTR('0') && c <= OLESTR('9')) || (c >= OLESTR('a') && c <= OLESTR('f'));
    });
}

void SurveyTemporaryFiles(const _stringx& folder, bool remove, std::vector<TemporaryFile>& files) {
    const DWORD entryError = GetLastError();
    std::vector<platform::FolderEntry> entries;
    platform::ListFolder(PathJoin(folder, _stringx(OLESTR("*"))).narrow(), entries);
    std::vector<TemporaryFile> found;
    for (const platform::FolderEntry& entry : entries) {
        const _stringx name(entry.name);
        if ((entry.folder && !entry.link) || !IsTemporaryFileName(name))
            continue;
        if (entry.link) {
            found.push_back({name, TemporaryFileState::kLink});
            continue;
        }
        const std::string path = PathJoin(folder, name).str();
        TemporaryFileHold hold;
        const DWORD error = hold.Take(path);
        TemporaryFileState state = TemporaryFileState::kLeftover;
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            continue;  // gone meanwhile
        if (error == ERROR_LOCK_VIOLATION || error == ERROR_SHARING_VIOLATION)
            state = TemporaryFileState::kHeld;
        else if (error != ERROR_SUCCESS || (remove && !DeleteFileA(path.c_str())))
            state = TemporaryFileState::kStuck;
        found.push_back({name, state});
    }
    std::sort(found.begin(), found.end(),
              [](const TemporaryFile& a, const TemporaryFile& b) { return a.name < b.name; });
    files.insert(files.end(), found.begin(), found.end());
    SetLastError(entryError);
}

void FindLeftovers(const _stringx& folder, bool remove, std::vector<_stringx>& names) {
    std::vector<TemporaryFile> files;
    SurveyTemporaryFiles(folder, remove, files);
    for (const TemporaryFile& file : files)
        if (file.state == TemporaryFileState::kLeftover)
            names.push_back(file.name);
}

}  // namespace kv
