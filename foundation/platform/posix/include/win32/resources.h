// String resources. On POSIX a module's string table is compiled into it and
// found through its exported function "KvStringResources"; the texts are in the
// ANSI code page (UTF-8).
#pragma once

#include "win32/module.h"

struct KV_STRING_RESOURCE {
    UINT id;
    const char* text;
};
// Exported by a module with resources: its table, ended by an entry whose text is null.
typedef const KV_STRING_RESOURCE* (*KV_STRING_TABLE_PROC)();
#define KV_STRING_TABLE_EXPORT "KvStringResources"

// Copies string `id` of `module` into `buffer` (at most size - 1 characters,
// always terminated) and returns the number of characters copied; 0 with
// ERROR_RESOURCE_NOT_FOUND when the module has no such string.
int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int size);
