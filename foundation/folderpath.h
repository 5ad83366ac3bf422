// Folder paths: the validity check, the creation of a chain of folders that
// copies into a repository use, and paths as the system follows them (links
// resolved), which containment checks.
#pragma once

#include <string>

#include "foundation/pathx.h"

namespace kv {

// Whether `path` names an existing file (not a folder), links followed; the
// path goes to the system in its narrow form.
KV_API bool FileExists(const _stringx& path);
// Whether `path` names an existing folder, links followed.
KV_API bool FolderExists(const _stringx& path);
// Whether anything exists at `path` (its attributes can be read).
KV_API bool PathExists(const _stringx& path);

// Checks a folder path, after trimming spaces, tabs and newlines at both ends:
//  - a network path: two backslashes, then an ASCII letter (\\server\share);
//  - a drive path, completed first: "D" becomes "D:\", "D:" becomes "D:\",
//    "D:Repo" becomes "D:\Repo", "D\Repo" becomes "D:\Repo"; its first
//    character must be an ASCII letter;
//  - on POSIX also a path rooted at "/";
// and after its root the path may hold no doubled separator and none of
// / : * ? " < > | (for a "/"-rooted path, "/" is a separator, not refused).
// When valid and `normalize`, `path` becomes the completed, trimmed path.
KV_API bool IsValidFolderPath(pathx& path, bool normalize);

// Creates every missing folder along `path`, from its root down. 0, with
// `path` normalized and ending with a separator; E_INVALIDARG for an invalid
// path (nothing created); HRESULT_FROM_WIN32 of the error when a folder cannot
// be created (the folders created before it remain).
KV_API long CreateFolderPath(pathx& path);

// Whether `folder` exists as a folder or could be created with every missing
// folder above it (CreateFolderPath): an empty or malformed path is not.
KV_API bool EnsureFolder(const _stringx& folder);

// `path` as the system follows it: the longest leading part that exists with
// every symbolic link in it (and "." and "..") resolved, the rest joined on and
// resolved as text. A path of which nothing can be resolved comes back
// normalized as text.
KV_API _stringx ResolveExistingPath(const _stringx& path);

// Whether `path` lies strictly inside `folder` both as written and as the
// system follows them, links resolved: no link inside the folder leads out.
KV_API bool PathStaysInside(const _stringx& folder, const _stringx& path);

}  // namespace kv
