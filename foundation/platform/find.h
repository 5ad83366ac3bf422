// Directory search under its Win32 names: the names in one folder that match a
// wildcard pattern, with their attributes and sizes.
//
// The search path is a folder and a pattern as its last component ("\" or "/"
// separate them; a path without a separator searches the current folder).
// Patterns follow the Windows rules on every platform, since repositories are
// shared with Windows hosts: "*" matches any run of characters, "?" exactly one,
// a trailing ".*" also matches names without that dot (so "*.*" matches every
// name), and a pattern without wildcards matches that one name. Matching is
// case-insensitive by the ANSI lower-casing rule (A-Z and the Latin-1 capitals).
//
// The folder's entries are read once, by FindFirstFileA; the handle then hands
// out that snapshot. "." and ".." are returned when the pattern matches them, as
// Windows does for "*". Sizes and attributes are those of the entry a symbolic
// link points to (links are marked FILE_ATTRIBUTE_REPARSE_POINT, as Windows
// marks them); a link that points nowhere is left out. Folders have size 0.
#pragma once

#include <string>
#include <vector>

#include "foundation/platform/fileio.h"
#include "foundation/platform/files.h"

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;  // as GetFileAttributesA gives them (plus the link mark)
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    char cFileName[MAX_PATH];  // the entry's name, without its folder
};

// The first matching entry into `data` and a handle for the rest. When nothing
// matches: INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND; a folder that does
// not exist (or is not a folder): ERROR_PATH_NOT_FOUND; a folder that cannot be
// read: ERROR_ACCESS_DENIED.
KV_API HANDLE FindFirstFileA(LPCSTR searchPath, WIN32_FIND_DATAA* data);
// The next matching entry; FALSE with ERROR_NO_MORE_FILES after the last.
KV_API BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* data);
// Ends a search and releases its handle.
KV_API BOOL FindClose(HANDLE search);

namespace kv {
namespace platform {

// One entry of ListFolder.
struct FolderEntry {
    std::string name;
    bool folder;  // a folder, or a link to one
    bool link;    // a symbolic link (what FILE_ATTRIBUTE_REPARSE_POINT marks)
};

// Appends the entries that a search for `searchPath` would give, without "."
// and "..", in no particular order, with nothing but their names and the
// folder and link marks: for callers that need no sizes or other attributes,
// which on POSIX cost one status call per entry. ERROR_SUCCESS (also when
// nothing matches), or the error FindFirstFileA gives for the folder.
KV_API DWORD ListFolder(const char* searchPath, std::vector<FolderEntry>& entries);

// Whether `name` matches the wildcard `pattern` (both narrow text in the ANSI
// code page) by the rules above.
KV_API bool MatchWildcard(const char* pattern, const char* name);
}  // namespace platform
}  // namespace kv
