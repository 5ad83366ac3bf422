// Text conversions of the document component: the tree holds UTF-8, the
// interfaces speak UTF-16 (BSTR and VARIANT).
#pragma once

#include <string>

#include "foundation/platform/bstr.h"
#include "foundation/platform/variant.h"

namespace kv {
namespace xmldom {

std::string Utf8FromUtf16(const OLECHAR* text, std::size_t length);
std::u16string Utf16FromUtf8(const char* text, std::size_t length);
inline std::string Utf8FromBstr(BSTR text) {
    return Utf8FromUtf16(text, SysStringLen(text));
}

// A new BSTR (and a text variant) holding UTF-8 text; E_OUTOFMEMORY.
HRESULT NewBstr(const std::string& utf8, BSTR* out);
HRESULT NewBstr(const char* utf8, std::size_t length, BSTR* out);
HRESULT NewTextVariant(const std::string& utf8, VARIANT* out);
HRESULT NewTextVariant(const char* utf8, std::size_t length, VARIANT* out);

// The text form of any variant (VariantChangeType to VT_BSTR) as UTF-8.
HRESULT VariantText(const VARIANT& value, std::string& utf8);

// Whether `name` can name an element or attribute: an XML Name, with any
// character outside ASCII taken as a name character.
bool IsXmlName(const std::string& name);

}  // namespace xmldom
}  // namespace kv
