// Conversions between multibyte code pages and UTF-16, and the ANSI lower-casing
// rule.
//
// On POSIX the "ANSI code page" is UTF-8: code pages CP_ACP (0), CP_THREAD_ACP
// (3) and CP_UTF8 (65001) all convert UTF-8. Windows-1252 and ISO 8859-1 (28591)
// are converted by the layer itself; other code pages go through iconv.
// Malformed input is replaced by U+FFFD (unless MB_ERR_INVALID_CHARS is given);
// characters a single-byte code page cannot represent become '?'.
#pragma once

#include "win32/types.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_THREAD_ACP 3
#define CP_UTF8 65001
#define CP_UTF16LE 1200
#define CP_UTF16BE 1201
#define CP_WINDOWS1252 1252
#define CP_LATIN1 28591

#define MB_ERR_INVALID_CHARS 0x00000008

// Win32 semantics: a source length of -1 converts up to and including the
// terminating zero; a destination size of 0 returns the size needed. Returns the
// number of units written (or needed); 0 on failure with the last error set
// (ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_PARAMETER, ERROR_NO_UNICODE_TRANSLATION).
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes, OLECHAR* target,
                        int targetChars);
int WideCharToMultiByte(UINT codePage, DWORD flags, const OLECHAR* source, int sourceChars,
                        LPSTR target, int targetBytes, LPCSTR defaultChar, BOOL* usedDefaultChar);

// ANSI lower-casing of narrow text in the ANSI code page, in place: A-Z and the
// Latin-1 capitals U+00C0-U+00DE except U+00D7 become lower case; nothing else
// changes. Locale-independent. Returns the number of bytes processed.
DWORD CharLowerBuffA(LPSTR text, DWORD length);
