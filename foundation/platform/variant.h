// VARIANT and CComVariant: the value type of attribute maps and DOM values.
// Supported types: empty, BSTR text, 32- and 64-bit integers, bool, double and
// error codes.
#pragma once

#include "foundation/platform/wintypes.h"

typedef unsigned short VARTYPE;
enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_I8 = 20,
};

struct VARIANT {
    VARTYPE vt;
    union {
        LONG lVal;
        LONGLONG llVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        BSTR bstrVal;
    };
};
typedef VARIANT VARIANTARG;

KV_API void VariantInit(VARIANT* v);
// Frees what the variant owns and makes it empty.
KV_API HRESULT VariantClear(VARIANT* v);
// Deep copy; on failure (E_OUTOFMEMORY) the target is left empty.
KV_API HRESULT VariantCopy(VARIANT* target, const VARIANT* source);
// Converts to `type`. Only conversion to VT_BSTR is supported: integers in
// decimal, bool as "-1"/"0", doubles in their shortest round-trip form, empty as
// "", text unchanged. Other targets answer DISP_E_TYPEMISMATCH unless the type
// is already the one asked for. `target` may be `source`.
KV_API HRESULT VariantChangeType(VARIANT* target, const VARIANT* source, unsigned short flags,
                                 VARTYPE type);

// A VARIANT that owns its content.
class KV_API CComVariant : public VARIANT {
public:
    CComVariant() { VariantInit(this); }
    CComVariant(const CComVariant& other);
    CComVariant(const VARIANT& other);
    CComVariant(CComVariant&& other) noexcept;
    CComVariant(const OLECHAR* text);  // null gives an empty text
    CComVariant(const OLECHAR* text, UINT length);
    CComVariant(LONG value, VARTYPE type = VT_I4);  // VT_ERROR makes an error code
    CComVariant(LONGLONG value);
    CComVariant(bool value);
    CComVariant(double value);
    ~CComVariant() { VariantClear(this); }

    CComVariant& operator=(const CComVariant& other);
    CComVariant& operator=(CComVariant&& other) noexcept;
    CComVariant& operator=(const OLECHAR* text);

    // Equality of type and value (text compared exactly).
    bool operator==(const CComVariant& other) const;
    bool operator!=(const CComVariant& other) const { return !(*this == other); }

    HRESULT Clear() { return VariantClear(this); }
    HRESULT Copy(const VARIANT* source) { return VariantCopy(this, source); }
    HRESULT ChangeType(VARTYPE type, const VARIANT* source = nullptr);

private:
    void SetText(const OLECHAR* text, UINT length);
};
