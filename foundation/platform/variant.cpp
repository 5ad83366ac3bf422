// CComVariant, on the platform's VARIANT functions.
#include "foundation/platform/varianttext.h"
#include "foundation/platform/variant.h"

#include <utility>

#include "win32/bstr.h"
#include "win32/oleauto.h"

CComVariant::CComVariant() {
    VariantInit(this);
}

CComVariant::~CComVariant() {
    VariantClear(this);
}

HRESULT CComVariant::Clear() {
    return VariantClear(this);
}

HRESULT CComVariant::Copy(const VARIANT* source) {
    return VariantCopy(this, const_cast<VARIANT*>(source));
}

CComVariant::CComVariant(const CComVariant& other)
    : CComVariant(static_cast<const VARIANT&>(other)) {}

CComVariant::CComVariant(const VARIANT& other) {
    VariantInit(this);
    // A failed copy leaves an error value, as the COM helpers do.
    HRESULT hr = VariantCopy(this, const_cast<VARIANT*>(&other));
    if (FAILED(hr)) {
        vt = VT_ERROR;
        scode = hr;
    }
}

CComVariant::CComVariant(CComVariant&& other) noexcept {
    static_cast<VARIANT&>(*this) = other;
    VariantInit(&other);
}

CComVariant::CComVariant(const OLECHAR* text) {
    VariantInit(this);
    UINT length = 0;
    if (text)
        while (text[length])
            ++length;
    SetText(text ? text : OLESTR(""), length);
}

CComVariant::CComVariant(const OLECHAR* text, UINT length) {
    VariantInit(this);
    SetText(text, length);
}

CComVariant::CComVariant(LONG value, VARTYPE type) {
    VariantInit(this);
    if (type == VT_ERROR) {
        vt = VT_ERROR;
        scode = value;
    } else {
        vt = VT_I4;
        lVal = value;
    }
}

CComVariant::CComVariant(LONGLONG value) {
    VariantInit(this);
    vt = VT_I8;
    llVal = value;
}

CComVariant::CComVariant(bool value) {
    VariantInit(this);
    vt = VT_BOOL;
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

CComVariant::CComVariant(double value) {
    VariantInit(this);
    vt = VT_R8;
    dblVal = value;
}

CComVariant& CComVariant::operator=(const CComVariant& other) {
    if (this != &other) {
        HRESULT hr = VariantCopy(this, const_cast<CComVariant*>(&other));
        if (FAILED(hr)) {
            vt = VT_ERROR;
            scode = hr;
        }
    }
    return *this;
}

CComVariant& CComVariant::operator=(CComVariant&& other) noexcept {
    if (this != &other) {
        VariantClear(this);
        static_cast<VARIANT&>(*this) = other;
        VariantInit(&other);
    }
    return *this;
}

CComVariant& CComVariant::operator=(const OLECHAR* text) {
    CComVariant fresh(text);
    return *this = std::move(fresh);
}

bool CComVariant::operator==(const CComVariant& other) const {
    if (vt != other.vt)
        return false;
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
            return true;
        case VT_I4:
            return lVal == other.lVal;
        case VT_ERROR:
            return scode == other.scode;
        case VT_I8:
            return llVal == other.llVal;
        case VT_BOOL:
            return boolVal == other.boolVal;
        case VT_R8:
            return dblVal == other.dblVal;
        case VT_BSTR: {
            const UINT n = SysStringLen(bstrVal);
            return n == SysStringLen(other.bstrVal) &&
                   (n == 0 || std::memcmp(bstrVal, other.bstrVal, n * sizeof(OLECHAR)) == 0);
        }
        default:
            return false;
    }
}

HRESULT CComVariant::ChangeType(VARTYPE type, const VARIANT* source) {
    return kv::platform::ChangeVariantType(this, source ? source : this, type);
}

void CComVariant::SetText(const OLECHAR* text, UINT length) {
    vt = VT_BSTR;
    bstrVal = SysAllocStringLen(text, length);
    if (!bstrVal) {
        vt = VT_ERROR;
        scode = E_OUTOFMEMORY;
    }
}
