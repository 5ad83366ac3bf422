// Registry reading. POSIX has no registry: the installation folders the library
// asks for come from the environment instead, under
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion:
//   "CommonFilesDir"  from KV_COMMON_FILES_DIR
//   "ProgramFilesDir" from KV_PROGRAM_FILES_DIR
// Every other key or value is missing. The 64-bit view flag is accepted and
// ignored.
#pragma once

#include "win32/types.h"

struct HKEY__;
typedef HKEY__* HKEY;
typedef DWORD REGSAM;

#define HKEY_LOCAL_MACHINE ((HKEY)(std::uintptr_t)0x80000002)
#define KEY_READ 0x20019
#define KEY_WOW64_64KEY 0x0100
#define REG_SZ 1

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, HKEY* result);
// Reads a text value; with a null buffer answers the size needed in *size.
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size);
LONG RegCloseKey(HKEY key);
