// Loading modules and asking for their exports and file names: the system's.
#pragma once

#include "win32/types.h"

template <class F>
F GetProcAddressAs(HMODULE module, LPCSTR name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
