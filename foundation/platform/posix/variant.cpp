// The VARIANT functions.
#include <cstring>
#include <string>
#include <utility>

#include "win32/bstr.h"
#include "foundation/platform/variant.h"
#include "foundation/platform/varianttext.h"
#include "win32/oleauto.h"

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
    // Text is the only type other types change to here.
    if (source->vt != type && type != VT_BSTR)
        return DISP_E_TYPEMISMATCH;
    return kv::platform::ChangeVariantType(target, source, type);
}
