// The thread's last error, system message texts and the local-memory allocator
// that message buffers come from.
#pragma once

#include "win32/types.h"

// The calling thread's last Win32 error code. Layer functions set it on failure
// and leave it alone on success, as Win32 does.
DWORD GetLastError();
void SetLastError(DWORD error);

// Local memory: the allocator of buffers that FormatMessageA hands out.
typedef void* HLOCAL;
#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
HLOCAL LocalAlloc(UINT flags, std::size_t bytes);
HLOCAL LocalFree(HLOCAL memory);  // null on success, as on Windows

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))

// System message text of a Win32 error code or an HRESULT. Only the form the
// library uses is supported: FORMAT_MESSAGE_FROM_SYSTEM, with or without
// FORMAT_MESSAGE_ALLOCATE_BUFFER (then `buffer` is really a char** that receives
// a LocalAlloc'ed text the caller frees with LocalFree). Returns the text's
// length, or 0 with ERROR_MR_MID_NOT_FOUND when the code has no text. Texts are
// the Windows English texts, without the trailing line break.
#define ERROR_MR_MID_NOT_FOUND 317L
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     LPSTR buffer, DWORD size, void* arguments);
