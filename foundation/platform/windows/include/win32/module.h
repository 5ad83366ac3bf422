// Loading modules and asking for their exports and file names: the system's,
// but for one change in LoadLibraryA (windows/module.cpp): a bare module name
// is searched for in the system's default folders (the program's folder,
// System32, folders added for the process), never in the current directory,
// where anyone who can write there could plant a module, and where no POSIX
// system looks either.
#pragma once

#include "win32/types.h"

HMODULE KvLoadLibraryA(LPCSTR fileName);
#define LoadLibraryA KvLoadLibraryA

template <class F>
F GetProcAddressAs(HMODULE module, LPCSTR name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
