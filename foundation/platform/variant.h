// CComVariant: a VARIANT that owns its content, the value type of attribute
// maps and DOM values. The project's own on every platform. Supported types:
// empty, BSTR text, 32- and 64-bit integers, bool, double and error codes;
// the text form of the others is locale-independent (integers in decimal,
// bool "-1"/"0", doubles in their shortest round-trip form).
#pragma once

#include "foundation/platform/types.h"

class KV_API CComVariant : public VARIANT {
public:
    CComVariant();
    CComVariant(const CComVariant& other);
    CComVariant(const VARIANT& other);
    CComVariant(CComVariant&& other) noexcept;
    CComVariant(const OLECHAR* text);  // null gives an empty text
    CComVariant(const OLECHAR* text, UINT length);
    CComVariant(LONG value, VARTYPE type = VT_I4);  // VT_ERROR makes an error code
    CComVariant(LONGLONG value);
    CComVariant(bool value);
    CComVariant(double value);
    ~CComVariant();

    CComVariant& operator=(const CComVariant& other);
    CComVariant& operator=(CComVariant&& other) noexcept;
    CComVariant& operator=(const OLECHAR* text);

    // Equality of type and value (text compared exactly).
    bool operator==(const CComVariant& other) const;
    bool operator!=(const CComVariant& other) const { return !(*this == other); }

    HRESULT Clear();
    HRESULT Copy(const VARIANT* source);
    HRESULT ChangeType(VARTYPE type, const VARIANT* source = nullptr);

private:
    void SetText(const OLECHAR* text, UINT length);
};
