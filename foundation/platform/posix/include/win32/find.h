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
// marks them); a link that points nowhere is listed as itself (so that a folder
// holding one can be emptied). Folders have size 0.
#pragma once

#include <string>
#include <vector>

#include "win32/fileio.h"
#include "win32/files.h"

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
HANDLE FindFirstFileA(LPCSTR searchPath, WIN32_FIND_DATAA* data);
// The next matching entry; FALSE with ERROR_NO_MORE_FILES after the last.
BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* data);
// Ends a search and releases its handle.
BOOL FindClose(HANDLE search);
