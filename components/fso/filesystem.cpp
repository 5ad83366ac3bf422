#include "components/fso/filesystem.h"

#include <cstring>
#include <string>

#include "foundation/pathx.h"
#include "win32/bstr.h"
#include "win32/errors.h"
#include "win32/fileio.h"
#include "win32/files.h"
#include "foundation/platform/find.h"
#include "foundation/stringx.h"
#include "foundation/platform/text.h"
#include "win32/com.h"
#include "win32/find.h"
#include "win32/scripting.h"

namespace kv {
namespace fso {
namespace {

using platform::IsPathSeparator;

constexpr char kSeparator = static_cast<char>(platform::kPathSeparator);

HRESULT LastErrorResult() {
    const DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

HRESULT Succeeded(BOOL done) {
    return done ? S_OK : LastErrorResult();
}

// A path argument in the ANSI code page of the platform's narrow calls.
std::string Narrow(BSTR text) {
    return text ? _stringx(text, SysStringLen(text)).str() : std::string();
}

// `path` without trailing separators; a lone root stays.
std::string Trimmed(std::string path) {
    while (path.size() > 1 && IsPathSeparator(path.back()))
        path.pop_back();
    return path;
}

std::string::size_type LastSeparator(const std::string& path) {
    for (auto i = path.size(); i > 0; --i)
        if (IsPathSeparator(path[i - 1]))
            return i - 1;
    return std::string::npos;
}

std::string LastComponent(const std::string& path) {
    const auto separator = LastSeparator(path);
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string Join(const std::string& folder, const char* name) {
    std::string path = folder;
    if (!path.empty() && !IsPathSeparator(path.back()))
        path += kSeparator;
    return path + name;
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// `path` made absolute and normalized, for comparing paths as text.
_stringx Absolute(const std::string& path) {
    const _stringx text(path);
    if (!text.empty() && IsPathSeparator(text[0]))
        return PathNormalize(text);
    std::string current(GetCurrentDirectoryA(0, nullptr), '\0');
    current.resize(GetCurrentDirectoryA(static_cast<DWORD>(current.size()), &current[0]));
    return PathNormalize(PathJoin(_stringx(current), text));
}

class Search {
public:
    explicit Search(HANDLE handle) : m_handle(handle) {}
    ~Search() {
        if (m_handle != INVALID_HANDLE_VALUE)
            FindClose(m_handle);
    }
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

// Calls `visit` with each entry of `folder` but "." and "..", from a listing
// taken at the start, until one fails; that failure is the result.
template <class Visit>
HRESULT ForEachEntry(const std::string& folder, Visit&& visit) {
    WIN32_FIND_DATAA entry;
    const Search search(FindFirstFileA(Join(folder, "*").c_str(), &entry));
    if (search.get() == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? S_OK : LastErrorResult();
    do {
        if (std::strcmp(entry.cFileName, ".") == 0 || std::strcmp(entry.cFileName, "..") == 0)
            continue;
        const HRESULT result = visit(entry);
        if (FAILED(result))
            return result;
    } while (FindNextFileA(search.get(), &entry));
    return GetLastError() == ERROR_NO_MORE_FILES ? S_OK : LastErrorResult();
}

// The attributes of the entry `path` names as its folder lists it, a link
// marked as one; INVALID_FILE_ATTRIBUTES when it is not there.
DWORD ListedAttributes(const std::string& path) {
    const std::string name = LastComponent(path);
    WIN32_FIND_DATAA entry;
    const Search search(FindFirstFileA(path.c_str(), &entry));
    if (search.get() == INVALID_HANDLE_VALUE)
        return INVALID_FILE_ATTRIBUTES;
    do {
        // The name may hold wildcards and so match others.
        if (name == entry.cFileName)
            return entry.dwFileAttributes;
    } while (FindNextFileA(search.get(), &entry));
    return INVALID_FILE_ATTRIBUTES;
}

// Copies the content of the folder `source` into the folder `destination`,
// which is created when missing. `linkDepth` counts the folder links followed
// on the way here.
HRESULT CopyTree(const std::string& source, const std::string& destination, bool overwrite,
                 int linkDepth) {
    // Also ends a copy whose destination reaches into the source through a
    // link, which the check of the paths as text cannot see.
    if (destination.size() >= MAX_PATH)
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    if (!IsFolder(destination) && !CreateDirectoryA(destination.c_str(), nullptr))
        return LastErrorResult();  // an existing file: ERROR_ALREADY_EXISTS
    return ForEachEntry(source, [&](const WIN32_FIND_DATAA& entry) {
        const std::string from = Join(source, entry.cFileName);
        const std::string to = Join(destination, entry.cFileName);
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return Succeeded(CopyFileA(from.c_str(), to.c_str(), !overwrite));
        const int link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? 1 : 0;
        if (link && linkDepth > 0)
            return HRESULT_FROM_WIN32(ERROR_CANT_RESOLVE_FILENAME);
        return CopyTree(from, to, overwrite, linkDepth + link);
    });
}

// Deletes the folder `folder` with everything in it.
HRESULT DeleteTree(const std::string& folder, bool force) {
    // The entries of a folder without write permission cannot be removed.
    if (force && !SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL))
        return LastErrorResult();
    const HRESULT result = ForEachEntry(folder, [&](const WIN32_FIND_DATAA& entry) {
        const std::string path = Join(folder, entry.cFileName);
        const DWORD attributes = entry.dwFileAttributes;
        // A link goes itself; what it points to is left alone.
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return Succeeded(DeleteFileA(path.c_str()));
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return DeleteTree(path, force);
        if (force && (attributes & FILE_ATTRIBUTE_READONLY) &&
            !SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL))
            return LastErrorResult();
        return Succeeded(DeleteFileA(path.c_str()));
    });
    return FAILED(result) ? result : Succeeded(RemoveDirectoryA(folder.c_str()));
}

}  // namespace

HRESULT FileSystem::QueryInterface(REFIID iid, void** object) {
    return Answer(iid, object, {&IID_IUnknown, &IID_IFileSystem});
}

HRESULT FileSystem::CopyFolder(BSTR source, BSTR destination, VARIANT_BOOL overWriteFiles) {
    return component::Guarded([&] {
        const std::string from = Trimmed(Narrow(source));
        if (!IsFolder(from))
            return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        std::string to = Narrow(destination);
        if (!to.empty() && IsPathSeparator(to.back()))
            to = Join(Trimmed(to), LastComponent(from).c_str());
        to = Trimmed(to);
        if (to.empty())
            return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        const _stringx absoluteFrom = Absolute(from);
        const _stringx absoluteTo = Absolute(to);
        if (absoluteTo == absoluteFrom || PathIsInside(absoluteFrom, absoluteTo))
            return E_INVALIDARG;
        return CopyTree(from, to, overWriteFiles != VARIANT_FALSE, 0);
    });
}

HRESULT FileSystem::DeleteFolder(BSTR folderSpec, VARIANT_BOOL force) {
    return component::Guarded([&] {
        const std::string folder = Trimmed(Narrow(folderSpec));
        const DWORD attributes = ListedAttributes(folder);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return Succeeded(DeleteFileA(folder.c_str()));
        return DeleteTree(folder, force != VARIANT_FALSE);
    });
}

HRESULT FileSystem::FolderExists(BSTR folderSpec, VARIANT_BOOL* exists) {
    if (!exists)
        return E_POINTER;
    return component::Guarded([&] {
        *exists = IsFolder(Narrow(folderSpec)) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

HRESULT FileSystem::FileExists(BSTR fileSpec, VARIANT_BOOL* exists) {
    if (!exists)
        return E_POINTER;
    return component::Guarded([&] {
        const DWORD attributes = GetFileAttributesA(Narrow(fileSpec).c_str());
        *exists = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)
                      ? VARIANT_TRUE
                      : VARIANT_FALSE;
        return S_OK;
    });
}

}  // namespace fso
}  // namespace kv
