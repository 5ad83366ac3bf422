// Loading modules on Windows without the current directory in the search.

#include "win32/types.h"

HMODULE KvLoadLibraryA(LPCSTR fileName) {
    const bool bare = fileName && !std::strpbrk(fileName, "\\/:");
    return bare ? LoadLibraryExA(fileName, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)
                : LoadLibraryA(fileName);
}
