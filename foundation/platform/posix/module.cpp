// Module loading on POSIX: dlopen and friends behind the Win32 module functions.
//
// A module handle is the handle dlopen returns. Modules are loaded with
// RTLD_LOCAL so that two components never see each other's symbols, and
// GetProcAddress only answers exports of the module itself, as on Windows (dlsym
// would also search the module's dependencies).

#include "win32/module.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "win32/errors.h"

namespace {

// Paths may arrive with Windows separators.
std::string ToSystemPath(const char* path) {
    std::string converted(path);
    for (char& c : converted)
        if (c == '\\')
            c = '/';
    return converted;
}

std::string CurrentDirectory() {
    std::string buffer(256, '\0');
    for (;;) {
        if (getcwd(&buffer[0], buffer.size()))
            return std::string(buffer.c_str());
        if (errno != ERANGE)
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

// The file of the running program.
std::string ProgramFile() {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", &buffer[0], buffer.size());
        if (n < 0)
            return std::string();
        if (static_cast<std::size_t>(n) < buffer.size())
            return buffer.substr(0, n);
        buffer.resize(buffer.size() * 2);
    }
}

struct link_map* LinkMapOf(HMODULE module) {
    struct link_map* map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0)
        return nullptr;
    return map;
}

// A handle for the object described by `map` (the program when its name is
// empty), with one more reference.
HMODULE OpenLoaded(const struct link_map* map) {
    if (!map->l_name || map->l_name[0] == '\0')
        return static_cast<HMODULE>(dlopen(nullptr, RTLD_NOW));
    return static_cast<HMODULE>(dlopen(map->l_name, RTLD_NOW | RTLD_NOLOAD));
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR fileName) {
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string path = ToSystemPath(fileName);
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // A relative path is taken from the current directory now, as Windows does,
    // so the module's file name stays a full path whatever happens later.
    if (path.find('/') != std::string::npos && path[0] != '/') {
        const std::string cwd = CurrentDirectory();
        if (!cwd.empty())
            path = cwd + (cwd.back() == '/' ? "" : "/") + path;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        dlerror();  // clear the pending message
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return static_cast<HMODULE>(handle);
}

BOOL FreeLibrary(HMODULE module) {
    if (!module || dlclose(module) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (!module) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // Export ordinals (values below 64K in place of a name) do not exist here.
    if (reinterpret_cast<std::uintptr_t>(name) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    dlerror();
    void* symbol = dlsym(module, name);
    if (!symbol) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    // Only the module's own exports count, not those of what it links to.
    struct link_map* owner = nullptr;
    Dl_info info;
    struct link_map* self = LinkMapOf(module);
    if (self && dladdr1(symbol, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) &&
        owner && owner != self) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL GetModuleHandleExA(DWORD flags, LPCSTR name, HMODULE* module) {
    if (!module) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *module = nullptr;
    HMODULE handle = nullptr;
    if (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
        Dl_info info;
        struct link_map* map = nullptr;
        if (!name || !dladdr1(name, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) ||
            !map) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        handle = OpenLoaded(map);
    } else if (!name) {
        handle = static_cast<HMODULE>(dlopen(nullptr, RTLD_NOW));
    } else {
        handle = static_cast<HMODULE>(dlopen(ToSystemPath(name).c_str(), RTLD_NOW | RTLD_NOLOAD));
    }
    if (!handle) {
        dlerror();
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    // The module stays loaded through its other references, so the handle
    // remains valid after giving back the one taken here.
    if (flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT)
        dlclose(handle);
    *module = handle;
    return TRUE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    std::string path;
    if (!module) {
        path = ProgramFile();
    } else {
        const struct link_map* map = LinkMapOf(module);
        if (!map) {
            dlerror();
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        path = (map->l_name && map->l_name[0]) ? std::string(map->l_name) : ProgramFile();
    }
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (!fileName || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= size) {
        std::memcpy(fileName, path.data(), size - 1);
        fileName[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(fileName, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}
