// The text form of a variant, the library's own on every platform: integers in
// decimal, bool "-1"/"0" as COM writes it, doubles in their shortest
// round-trip form, empty as "", text unchanged. Locale-independent, unlike
// Windows' own VariantChangeType, which writes a double as the user's locale
// does.
#pragma once

#include "foundation/platform/types.h"

namespace kv {
namespace platform {

// The text of `value` as a new BSTR in *text. DISP_E_TYPEMISMATCH for a type
// without a text form here, E_OUTOFMEMORY.
HRESULT VariantText(const VARIANT& value, BSTR* text);

// VariantChangeType with the text form above when `type` is VT_BSTR; other
// targets are the system's. `target` may be `source`.
HRESULT ChangeVariantType(VARIANT* target, const VARIANT* source, VARTYPE type);

}  // namespace platform
}  // namespace kv
