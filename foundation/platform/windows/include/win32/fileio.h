// File handles, reading and writing, flushing, renaming, replacing, deleting,
// temporary names and byte-range locks, under their Win32 names.
//
// The names are the system's, but the calls go through the layer
// (foundation/platform/windows/filecalls.h): it keeps the contracts that the
// library states for every platform where Windows' own differ (a read-only
// file refused by its attribute whoever runs the process, the replace's
// failure codes and what it carries over, final paths without the "\\?\"
// prefix), retries what a passing reader's sharing makes fail, and is where
// the tests' fault injection reaches the file-system calls.
#pragma once

#include "win32/types.h"
#include "foundation/platform/windows/filecalls.h"

#define CreateFileA KvCreateFileA
#define ReadFile KvReadFile
#define WriteFile KvWriteFile
#define FlushFileBuffers KvFlushFileBuffers
#define CloseHandle KvCloseHandle
#define DeleteFileA KvDeleteFileA
#define MoveFileExA KvMoveFileExA
#define ReplaceFileA KvReplaceFileA
#define GetTempFileNameA KvGetTempFileNameA
#define LockFileEx KvLockFileEx
#define SetFileAttributesA KvSetFileAttributesA
#define CreateDirectoryA KvCreateDirectoryA
#define RemoveDirectoryA KvRemoveDirectoryA
#define GetFinalPathNameByHandleA KvGetFinalPathNameByHandleA
