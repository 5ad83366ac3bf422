// The layer's file-system calls on Windows, which win32/fileio.h puts under the
// Win32 names. Each takes narrow paths in the ANSI code page, as the library
// does everywhere, hands them to the system's wide functions (so that paths
// past MAX_PATH work where the system allows them), and sets the thread's last
// error on failure as the system does. Where the contract differs from the
// system's call it says so; elsewhere it is the system's. Everywhere, a path
// with a name longer than 255 characters is refused with
// ERROR_FILENAME_EXCED_RANGE, as on POSIX.
#pragma once

#include "win32/types.h"

// As CreateFileA, but a file whose read-only attribute is set is refused for
// writing with ERROR_ACCESS_DENIED whoever runs the process (Wine running as
// root would open it). Handles are not inherited by child processes. The
// template is not used: a new file gets the attributes asked for and the
// folder's inherited security (POSIX takes the template's permission bits).
HANDLE KvCreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                     DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL KvReadFile(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped);
// Writes all `size` bytes (a short write is continued).
BOOL KvWriteFile(HANDLE handle, LPCVOID buffer, DWORD size, LPDWORD written,
                 LPOVERLAPPED overlapped);
BOOL KvFlushFileBuffers(HANDLE handle);
BOOL KvCloseHandle(HANDLE handle);
// A read-only file is refused (ERROR_ACCESS_DENIED).
BOOL KvDeleteFileA(LPCSTR path);
// With MOVEFILE_REPLACE_EXISTING a read-only target file is refused
// (ERROR_ACCESS_DENIED). A sharing violation (a reader holding the target
// open without delete sharing) is retried for a bounded time.
BOOL KvMoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags);
// Replaces `replaced` by `replacement` in one step, as the POSIX layer's
// ReplaceFileA does: a rename over the old file (MoveFileExW, write-through),
// never a moment with no file at the path. The new file takes the old one's
// attributes; its security is the folder's inherited one, as for any new file
// there. A read-only `replaced` is refused (ERROR_ACCESS_DENIED), a missing
// one gives ERROR_FILE_NOT_FOUND. The replacement must already be on the
// device (the library flushes it first). A target that someone holds open
// without delete sharing is retried for a bounded time, then reported as
// ERROR_SHARING_VIOLATION with both files as they were. (The system's
// ReplaceFileW is not used: where the target is open it moves the old file
// away before the new one is in place.)
// `backup`, `flags`, `exclude` and `reserved` must be null/0.
BOOL KvReplaceFileA(LPCSTR replaced, LPCSTR replacement, LPCSTR backup, DWORD flags, LPVOID exclude,
                    LPVOID reserved);
// Makes a new empty file "<first 3 of prefix><hex>.tmp" in `folder` (only
// `unique` 0), as the system's call does, without its limits: a folder whose
// name leaves no room in MAX_PATH gives ERROR_FILENAME_EXCED_RANGE (the
// system's call would write past the buffer under Wine), a missing folder
// ERROR_PATH_NOT_FOUND.
UINT KvGetTempFileNameA(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR result);
BOOL KvLockFileEx(HANDLE handle, DWORD flags, DWORD reserved, DWORD bytesLow, DWORD bytesHigh,
                  LPOVERLAPPED overlapped);
// FILE_ATTRIBUTE_READONLY and FILE_ATTRIBUTE_NORMAL as the system has them.
BOOL KvSetFileAttributesA(LPCSTR path, DWORD attributes);
BOOL KvCreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security);
BOOL KvRemoveDirectoryA(LPCSTR path);
// The system's GetFileAttributesA and FindFirstFileA, counted as a status
// query and a folder listing where the tests count the layer's calls.
DWORD KvGetFileAttributesA(LPCSTR path);
HANDLE KvFindFirstFileA(LPCSTR search, LPWIN32_FIND_DATAA data);
// As GetFinalPathNameByHandleA, without the "\\?\" prefix: "C:\x" for a drive
// path, "\\server\share\x" for a network one.
DWORD KvGetFinalPathNameByHandleA(HANDLE handle, LPSTR buffer, DWORD size, DWORD flags);
