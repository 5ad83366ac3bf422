// The module (shared library) that holds the library's own code: where its
// message table lives and where the component loader starts its search.
#pragma once

#include "win32/module.h"
#include "foundation/stringx.h"

namespace kv {

// The library's module handle; null when the system cannot tell.
KV_API HMODULE GetLibraryModule();

// The full path of the library's module file; empty when the system cannot tell.
KV_API _stringx GetLibraryModuleFile();

}  // namespace kv
