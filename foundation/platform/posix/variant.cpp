// The VARIANT functions.
#include <charconv>
#include <cstring>
#include <string>
#include <utility>

#include "win32/bstr.h"
#include "foundation/platform/variant.h"
#include "win32/oleauto.h"

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
