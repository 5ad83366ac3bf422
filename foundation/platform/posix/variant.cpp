// VARIANT handling and CComVariant.
#include <charconv>
#include <cstring>
#include <string>
#include <utility>

#include "foundation/platform/bstr.h"
#include "foundation/platform/variant.h"

namespace {

BSTR AsciiBstr(const char* text, std::size_t length) {
    BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (b)
        for (std::size_t i = 0; i < length; ++i)
            b[i] = static_cast<OLECHAR>(text[i]);
    return b;
}

// The text form of a variant, as a new BSTR (null when out of memory).
HRESULT TextOf(const VARIANT& v, BSTR* out) {
    char buffer[64];
    std::to_chars_result r{buffer, std::errc()};
    switch (v.vt) {
        case VT_EMPTY:
            *out = SysAllocStringLen(nullptr, 0);
            break;
        case VT_BSTR:
            *out = SysAllocStringLen(v.bstrVal, SysStringLen(v.bstrVal));
            break;
        case VT_I4:
            r = std::to_chars(buffer, buffer + sizeof(buffer), v.lVal);
            break;
        case VT_ERROR:
            r = std::to_chars(buffer, buffer + sizeof(buffer), v.scode);
            break;
        case VT_I8:
            r = std::to_chars(buffer, buffer + sizeof(buffer), v.llVal);
            break;
        case VT_BOOL:
            r = std::to_chars(buffer, buffer + sizeof(buffer), v.boolVal ? -1 : 0);
            break;
        case VT_R8:
            r = std::to_chars(buffer, buffer + sizeof(buffer), v.dblVal);
            break;
        default:
            return DISP_E_TYPEMISMATCH;
    }
    if (v.vt != VT_EMPTY && v.vt != VT_BSTR)
        *out = AsciiBstr(buffer, std::size_t(r.ptr - buffer));
    return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

void VariantInit(VARIANT* v) {
    v->vt = VT_EMPTY;
    v->llVal = 0;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v)
        return E_INVALIDARG;
    if (v->vt == VT_BSTR)
        SysFreeString(v->bstrVal);
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* target, const VARIANT* source) {
    if (!target || !source)
        return E_INVALIDARG;
    if (target == source)
        return S_OK;
    VARIANT copy = *source;
    if (source->vt == VT_BSTR && source->bstrVal) {
        copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
        if (!copy.bstrVal) {
            VariantClear(target);
            return E_OUTOFMEMORY;
        }
    }
    VariantClear(target);
    *target = copy;
    return S_OK;
}

HRESULT VariantChangeType(VARIANT* target, const VARIANT* source, unsigned short, VARTYPE type) {
    if (!target || !source)
        return E_INVALIDARG;
    if (source->vt == type)
        return VariantCopy(target, source);
    if (type != VT_BSTR)
        return DISP_E_TYPEMISMATCH;
    BSTR text = nullptr;
    HRESULT hr = TextOf(*source, &text);
    if (FAILED(hr))
        return hr;
    VariantClear(target);
    target->vt = VT_BSTR;
    target->bstrVal = text;
    return S_OK;
}

CComVariant::CComVariant(const CComVariant& other)
    : CComVariant(static_cast<const VARIANT&>(other)) {}

CComVariant::CComVariant(const VARIANT& other) {
    VariantInit(this);
    // A failed copy leaves an error value, as the COM helpers do.
    HRESULT hr = VariantCopy(this, &other);
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
    SetText(text ? text : u"", length);
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
        HRESULT hr = VariantCopy(this, &other);
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
    return VariantChangeType(this, source ? source : this, 0, type);
}

void CComVariant::SetText(const OLECHAR* text, UINT length) {
    vt = VT_BSTR;
    bstrVal = SysAllocStringLen(text, length);
    if (!bstrVal) {
        vt = VT_ERROR;
        scode = E_OUTOFMEMORY;
    }
}
