#include "foundation/ownmodule.h"

#include <vector>
#include "win32/module.h"

namespace kv {

HMODULE GetLibraryModule() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&GetLibraryModule), &module))
        return nullptr;
    return module;
}

_stringx GetLibraryModuleFile() {
    HMODULE module = GetLibraryModule();
    if (!module)
        return _stringx();
    std::vector<char> path(MAX_PATH + 1);
    const DWORD length = GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size())
        return _stringx();
    return _stringx(std::string(path.data(), length));
}

}  // namespace kv
