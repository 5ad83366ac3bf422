// System message texts without the trailing line break (win32/errors.h).
#include "win32/errors.h"

#undef FormatMessageA

DWORD KvFormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                       DWORD size, va_list* arguments) {
    DWORD length = FormatMessageA(flags, source, messageId, languageId, buffer, size, arguments);
    if (length == 0 || !(flags & FORMAT_MESSAGE_FROM_SYSTEM))
        return length;
    char* text =
        flags & FORMAT_MESSAGE_ALLOCATE_BUFFER ? *reinterpret_cast<char**>(buffer) : buffer;
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r'))
        text[--length] = '\0';
    return length;
}
