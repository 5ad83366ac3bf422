// The library's text form of variants.

#include "foundation/platform/varianttext.h"

#include <charconv>

#include "win32/bstr.h"
#include "win32/oleauto.h"

namespace kv {
namespace platform {
namespace {

BSTR AsciiBstr(const char* text, std::size_t length) {
    BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (b)
        for (std::size_t i = 0; i < length; ++i)
            b[i] = static_cast<OLECHAR>(text[i]);
    return b;
}

}  // namespace

HRESULT VariantText(const VARIANT& v, BSTR* out) {
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

HRESULT ChangeVariantType(VARIANT* target, const VARIANT* source, VARTYPE type) {
    if (!target || !source)
        return E_INVALIDARG;
    if (source->vt == type)
        return VariantCopy(target, const_cast<VARIANT*>(source));
    if (type != VT_BSTR)
        return VariantChangeType(target, const_cast<VARIANT*>(source), 0, type);
    BSTR text = nullptr;
    const HRESULT hr = VariantText(*source, &text);
    if (FAILED(hr))
        return hr;
    VariantClear(target);
    target->vt = VT_BSTR;
    target->bstrVal = text;
    return S_OK;
}

}  // namespace platform
}  // namespace kv
