// File attributes, the current directory and path separators.
//
// On POSIX both "\" and "/" separate path components; paths handed to the system
// have "\" turned into "/". A file is read-only exactly when its owner-write bit
// is clear, and hidden when its name begins with a dot.
#pragma once

#include "win32/types.h"

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400  // a symbolic link
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

DWORD GetFileAttributesA(LPCSTR path);
// Returns the length written (without the terminator), or the size needed
// (with it) when the buffer is too small; 0 on failure.
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
BOOL SetCurrentDirectoryA(LPCSTR path);
