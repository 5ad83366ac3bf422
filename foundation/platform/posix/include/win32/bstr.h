// BSTR: a null-terminated UTF-16 buffer preceded by its byte length (4 bytes).
// The pointer points at the text; the length prefix sits just before it.
#pragma once

#include "win32/types.h"

// A new BSTR holding a copy of `text` (null gives null).
BSTR SysAllocString(const OLECHAR* text);
// A new BSTR of `length` characters, copied from `text` when not null,
// otherwise uninitialised; always null-terminated. Null when out of memory.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// Reallocates *bstr to `length` characters copied from `text` (which may lie
// inside the old string). FALSE when out of memory; *bstr is then unchanged.
BOOL SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length);
// Length in characters from the prefix; 0 for null.
UINT SysStringLen(BSTR bstr);
// Length in bytes from the prefix; 0 for null.
UINT SysStringByteLen(BSTR bstr);
// Frees a BSTR; null is allowed.
void SysFreeString(BSTR bstr);
