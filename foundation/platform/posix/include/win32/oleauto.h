// The VARIANT functions (the type is in win32/types.h). Supported types:
// empty, BSTR text, 32- and 64-bit integers, bool, double and error codes.
#pragma once

#include "win32/types.h"

void VariantInit(VARIANT* v);
// Frees what the variant owns and makes it empty.
HRESULT VariantClear(VARIANT* v);
// Deep copy; on failure (E_OUTOFMEMORY) the target is left empty.
HRESULT VariantCopy(VARIANT* target, const VARIANT* source);
// Converts to `type`. Only conversion to VT_BSTR is supported: integers in
// decimal, bool as "-1"/"0", doubles in their shortest round-trip form, empty as
// "", text unchanged. Other targets answer DISP_E_TYPEMISMATCH unless the type
// is already the one asked for. `target` may be `source`.
HRESULT VariantChangeType(VARIANT* target, const VARIANT* source, unsigned short flags,
                          VARTYPE type);
