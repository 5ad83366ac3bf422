// The registry on POSIX: the one key the library reads, with its two
// installation-folder values taken from the environment.

#include "win32/registry.h"

#include <cstdlib>
#include <cstring>

namespace {

// The handle of the open CurrentVersion key. Nothing is allocated for it; it
// only has to differ from every predefined key.
const HKEY kCurrentVersionKey = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x4B560001));

// Registry names compare without regard to ASCII case.
bool SameName(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char x = *a, y = *b;
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
        if (x == '\0')
            return true;
    }
}

const char* EnvironmentNameOf(const char* valueName) {
    if (!valueName)
        return nullptr;
    if (SameName(valueName, "CommonFilesDir"))
        return "KV_COMMON_FILES_DIR";
    if (SameName(valueName, "ProgramFilesDir"))
        return "KV_PROGRAM_FILES_DIR";
    return nullptr;
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD /*options*/, REGSAM /*access*/, HKEY* result) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (key != HKEY_LOCAL_MACHINE || !subKey ||
        !SameName(subKey, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"))
        return ERROR_FILE_NOT_FOUND;
    *result = kCurrentVersionKey;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* /*reserved*/, DWORD* type, BYTE* data,
                      DWORD* size) {
    if (key != kCurrentVersionKey)
        return ERROR_INVALID_HANDLE;
    if (data && !size)
        return ERROR_INVALID_PARAMETER;
    const char* variable = EnvironmentNameOf(valueName);
    const char* text = variable ? std::getenv(variable) : nullptr;
    if (!text || !*text)
        return ERROR_FILE_NOT_FOUND;

    const DWORD needed = static_cast<DWORD>(std::strlen(text) + 1);
    if (type)
        *type = REG_SZ;
    if (!size)
        return ERROR_SUCCESS;
    if (!data) {
        *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, text, needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    return key == kCurrentVersionKey || key == HKEY_LOCAL_MACHINE ? ERROR_SUCCESS
                                                                  : ERROR_INVALID_HANDLE;
}
