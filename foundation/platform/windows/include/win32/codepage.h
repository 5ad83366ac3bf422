// Conversions between code pages and UTF-16: the system's. The code pages the
// library names are defined here by number where the system's headers have
// no name for them. The lower-casing rule of stored file names is the
// library's own (foundation/platform/text.h), never the system's
// CharLowerBuffA, which also lowers letters such as U+0160 and U+0178 of
// windows-1252.
#pragma once

#include "win32/types.h"

#ifndef CP_UTF16LE
#define CP_UTF16LE 1200
#endif
#ifndef CP_UTF16BE
#define CP_UTF16BE 1201
#endif
#ifndef CP_WINDOWS1252
#define CP_WINDOWS1252 1252
#endif
#ifndef CP_LATIN1
#define CP_LATIN1 28591
#endif
