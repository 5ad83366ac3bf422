// Folder listing and wildcard matching as the library wants them on every
// platform: patterns follow the Windows rules (repositories are shared with
// Windows hosts), matching ignores letter case by the ANSI lower-casing rule
// (foundation/platform/text.h).
#pragma once

#include <string>
#include <vector>

#include "foundation/platform/types.h"

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
DWORD ListFolder(const char* searchPath, std::vector<FolderEntry>& entries);

// Whether `name` matches the wildcard `pattern` (both narrow text in the ANSI
// code page) by the rules above.
bool MatchWildcard(const char* pattern, const char* name);
}  // namespace platform
}  // namespace kv
