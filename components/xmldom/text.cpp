#include "foundation/platform/varianttext.h"
#include "components/xmldom/text.h"

#include <climits>

#include "win32/bstr.h"
#include "win32/codepage.h"
#include "foundation/platform/variant.h"
#include "win32/oleauto.h"

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

std::basic_string<OLECHAR> Utf16FromUtf8(const char* text, std::size_t length) {
    std::basic_string<OLECHAR> out;
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

std::size_t Utf16Units(const char* utf8, std::size_t length, bool& ascii) {
    // ASCII text, nearly all of it, is each byte as one unit.
    unsigned bits = 0;
    for (std::size_t i = 0; i < length; ++i)
        bits |= static_cast<unsigned char>(utf8[i]);
    ascii = bits < 0x80 && length <= INT_MAX;
    if (ascii)
        return length;
    // Text that does not convert gives an empty string, as Utf16FromUtf8 does.
    int units = 0;
    if (utf8 && length > 0 && length <= INT_MAX)
        units = MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(length), nullptr, 0);
    return units > 0 ? static_cast<std::size_t>(units) : 0;
}

void WriteUtf16(const char* utf8, std::size_t length, bool ascii, OLECHAR* out, std::size_t units) {
    if (ascii) {
        for (std::size_t i = 0; i < length; ++i)
            out[i] = static_cast<OLECHAR>(utf8[i]);
    } else if (units > 0) {
        MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(length), out,
                            static_cast<int>(units));
    }
}

HRESULT NewBstr(const char* utf8, std::size_t length, BSTR* out) {
    // Converted straight into the new string: names and values are read by
    // the thousand when a data file is listed.
    bool ascii = false;
    const std::size_t units = Utf16Units(utf8, length, ascii);
    *out = SysAllocStringLen(nullptr, static_cast<UINT>(units));
    if (!*out)
        return E_OUTOFMEMORY;
    WriteUtf16(utf8, length, ascii, *out, units);
    return S_OK;
}

std::size_t ToUtf16(const char* utf8, std::size_t length, std::basic_string<OLECHAR>& buffer) {
    // ASCII text is copied and tested in one pass; other text is converted
    // again as NewBstr converts it.
    if (buffer.size() < length)
        buffer.resize(length);
    OLECHAR* out = &buffer[0];
    unsigned bits = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        bits |= c;
        out[i] = c;
    }
    if (bits < 0x80 && length <= INT_MAX)
        return length;
    bool ascii = false;
    const std::size_t units = Utf16Units(utf8, length, ascii);
    if (buffer.size() < units)
        buffer.resize(units);
    WriteUtf16(utf8, length, ascii, &buffer[0], units);
    return units;
}

HRESULT NewBstr(const std::string& utf8, BSTR* out) {
    return NewBstr(utf8.data(), utf8.size(), out);
}

HRESULT NewTextVariant(const std::string& utf8, VARIANT* out) {
    return NewTextVariant(utf8.data(), utf8.size(), out);
}

HRESULT NewTextVariant(const char* utf8, std::size_t length, VARIANT* out) {
    VariantInit(out);
    BSTR text = nullptr;
    const HRESULT hr = NewBstr(utf8, length, &text);
    if (FAILED(hr))
        return hr;
    out->vt = VT_BSTR;
    out->bstrVal = text;
    return S_OK;
}

HRESULT VariantText(const VARIANT& value, std::string& utf8) {
    CComVariant text;
    const HRESULT hr = kv::platform::ChangeVariantType(&text, &value, VT_BSTR);
    if (FAILED(hr))
        return hr;
    utf8 = Utf8FromBstr(text.bstrVal);
    return S_OK;
}

}  // namespace xmldom
}  // namespace kv
