// Loading modules (shared libraries) and asking for their exports and file names.
#pragma once

#include "win32/types.h"

typedef void (*FARPROC)();

// Loads a module by path (either separator) or, for a bare name, through the
// system's library search. Null with the last error set on failure.
HMODULE LoadLibraryA(LPCSTR fileName);
BOOL FreeLibrary(HMODULE module);
// The address of an export, null with ERROR_PROC_NOT_FOUND when missing.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);

#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004
// With FROM_ADDRESS, `name` is an address inside the module wanted.
BOOL GetModuleHandleExA(DWORD flags, LPCSTR name, HMODULE* module);
// Full path of a module's file (null: the program). Returns the length copied;
// when the buffer is too small it is filled, truncated, and ERROR_INSUFFICIENT_BUFFER set.
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);

template <class F>
F GetProcAddressAs(HMODULE module, LPCSTR name) {
    return reinterpret_cast<F>(GetProcAddress(module, name));
}
