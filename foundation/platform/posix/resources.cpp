// String resources: each module's table is found through its exported
// "KvStringResources" function.
#include <cstring>

#include "win32/errors.h"
#include "win32/resources.h"
#include "win32/module.h"

int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int size) {
    if (!buffer || size <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    buffer[0] = '\0';
    auto table = GetProcAddressAs<KV_STRING_TABLE_PROC>(module, KV_STRING_TABLE_EXPORT);
    for (const KV_STRING_RESOURCE* entry = table ? table() : nullptr; entry && entry->text;
         ++entry) {
        if (entry->id != id)
            continue;
        std::size_t length = std::strlen(entry->text);
        if (length > static_cast<std::size_t>(size - 1))
            length = static_cast<std::size_t>(size - 1);
        std::memcpy(buffer, entry->text, length);
        buffer[length] = '\0';
        return static_cast<int>(length);
    }
    SetLastError(ERROR_RESOURCE_NOT_FOUND);
    return 0;
}
