#include "components/xmldom/text.h"

#include <climits>

#include "foundation/platform/bstr.h"
#include "foundation/platform/codepage.h"

namespace kv {
namespace xmldom {

std::string Utf8FromUtf16(const OLECHAR* text, std::size_t length) {
    std::string out;
    if (!text || length == 0 || length > INT_MAX / 4)
        return out;
    const int units = static_cast<int>(length);
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return out;
    out.resize(static_cast<std::size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, text, units, &out[0], size, nullptr, nullptr);
    return out;
}

std::u16string Utf16FromUtf8(const char* text, std::size_t length) {
    std::u16string out;
    if (!text || length == 0 || length > INT_MAX)
        return out;
    const int bytes = static_cast<int>(length);
    const int size = MultiByteToWideChar(CP_UTF8, 0, text, bytes, nullptr, 0);
    if (size <= 0)
        return out;
    out.resize(static_cast<std::size_t>(size));
    MultiByteToWideChar(CP_UTF8, 0, text, bytes, &out[0], size);
    return out;
}

HRESULT NewBstr(const std::string& utf8, BSTR* out) {
    const std::u16string wide = Utf16FromUtf8(utf8.data(), utf8.size());
    *out = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT NewTextVariant(const std::string& utf8, VARIANT* out) {
    VariantInit(out);
    BSTR text = nullptr;
    const HRESULT hr = NewBstr(utf8, &text);
    if (FAILED(hr))
        return hr;
    out->vt = VT_BSTR;
    out->bstrVal = text;
    return S_OK;
}

HRESULT VariantText(const VARIANT& value, std::string& utf8) {
    CComVariant text;
    const HRESULT hr = VariantChangeType(&text, &value, 0, VT_BSTR);
    if (FAILED(hr))
        return hr;
    utf8 = Utf8FromBstr(text.bstrVal);
    return S_OK;
}

namespace {

bool IsNameStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

bool IsNameChar(unsigned char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

}  // namespace

bool IsXmlName(const std::string& name) {
    if (name.empty() || !IsNameStart(static_cast<unsigned char>(name[0])))
        return false;
    for (char c : name)
        if (!IsNameChar(static_cast<unsigned char>(c)))
            return false;
    return true;
}

}  // namespace xmldom
}  // namespace kv
