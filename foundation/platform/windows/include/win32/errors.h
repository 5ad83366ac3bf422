// The thread's last error, system message texts and local memory: the system's.
// FormatMessageA goes through the layer: its texts end without the line break
// the system ends them with, as the POSIX layer gives them.
#pragma once

#include "win32/types.h"

DWORD KvFormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                       DWORD size, va_list* arguments);

#define FormatMessageA KvFormatMessageA
