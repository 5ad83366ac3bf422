#include "xml/xmlrules.h"

#include <cstdint>
#include <type_traits>
#include <string>
#include <vector>

#include "xml/xmlchars.h"
#include "win32/bstr.h"
#include "foundation/platform/comptr.h"
#include "foundation/platform/variant.h"
#include "win32/msxml.h"

namespace xmlutils {

namespace {

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The character at `i`, with `i` moved past it; a surrogate that is not part
// of a pair comes back as itself.
char32_t NextChar(const OLECHAR* text, std::size_t length, std::size_t& i) {
    const char32_t c = text[i++];
    if (IsHighSurrogate(c) && i < length && IsLowSurrogate(text[i]))
        return 0x10000 + ((c - 0xD800) << 10) + (char32_t(text[i++]) - 0xDC00);
    return c;
}

// The name characters (1) and name-start characters (2, also name
// characters) of ASCII, for the common case.
constexpr struct AsciiNameChars {
    unsigned char is[0x80] = {};
    constexpr AsciiNameChars() {
        for (char32_t c = 0; c < 0x80; ++c) {
            if ((c >= '0' && c <= '9') || c == '-' || c == '.')
                is[c] = 1;
            if (IsAsciiNameStart(c))
                is[c] = 3;
        }
    }
} kAsciiNameChars;

// What a malformed UTF-8 sequence reads as: no character at all.
constexpr char32_t kNotAChar = 0xFFFFFFFF;

// The character of UTF-8 text at `i`, with `i` moved past it: kNotAChar (and
// one byte on) for a sequence that is malformed, overlong, or encodes a
// surrogate or a value beyond U+10FFFF.
char32_t NextChar(const char* text, std::size_t length, std::size_t& i) {
    const unsigned char lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80)
        return lead;
    std::size_t more = 0;
    char32_t c = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2;
        c = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3;
        c = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return kNotAChar;
    }
    if (length - i < more)
        return kNotAChar;
    for (std::size_t k = 0; k < more; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        if (next < (k == 0 ? low : 0x80) || next > (k == 0 ? high : 0xBF))
            return kNotAChar;
        c = (c << 6) | (next & 0x3F);
    }
    i += more;
    return c;
}

// Whether `text` is an XML Name, decoded by NextChar: a name-start character,
// then name characters, ASCII ones by table.
template <class Char>
bool IsName(const Char* text, std::size_t length) {
    if (length == 0)
        return false;
    // Names are nearly always ASCII: tested by table, unit by unit, until
    // the first unit that is not.
    typedef std::make_unsigned_t<Char> Unit;
    std::size_t i = 0;
    const Unit first = static_cast<Unit>(text[0]);
    if (first < 0x80) {
        if ((kAsciiNameChars.is[first] & 2) == 0)
            return false;
        i = 1;
    } else if (!IsNameStartChar(NextChar(text, length, i))) {
        return false;
    }
    while (i < length) {
        const Unit unit = static_cast<Unit>(text[i]);
        if (unit < 0x80) {
            if (kAsciiNameChars.is[unit] == 0)
                return false;
            ++i;
            continue;
        }
        std::size_t at = i;  // apart, so that `i` stays out of memory
        if (!IsNameChar(NextChar(text, length, at)))
            return false;
        i = at;
    }
    return true;
}

// Frees a BSTR at the end of a scope.
struct BstrHolder {
    BSTR text = nullptr;
    ~BstrHolder() { SysFreeString(text); }
};

// The node's name and value text as ReadDocumentTree hands them on: a value
// that is not text (an element's) is empty. False when the DOM fails.
bool NameAndValue(IXMLDOMNode* node, BstrHolder& name, CComVariant& value) {
    if (node->get_nodeName(&name.text) != S_OK || !name.text || FAILED(node->get_nodeValue(&value)))
        return false;
    if (value.vt == VT_NULL || value.vt == VT_EMPTY)
        value = CComVariant(OLESTR(""));
    return value.vt == VT_BSTR;
}

// Hands one node and its attributes to the sink: S_OK to go on, S_FALSE when
// the sink stopped, or the DOM's failure.
HRESULT ReadNode(IXMLDOMNode* node, UINT depth, IKvTreeSink* sink) {
    DOMNodeType type = NODE_INVALID;
    BstrHolder name;
    CComVariant value;
    if (node->get_nodeType(&type) != S_OK || !NameAndValue(node, name, value))
        return E_FAIL;
    if (!sink->OnNode(type, depth, name.text, SysStringLen(name.text), value.bstrVal,
                      SysStringLen(value.bstrVal)))
        return S_FALSE;
    // Only elements have attributes. Some DOMs also answer for the XML
    // declaration with its pseudo-attributes, which are the text of its value,
    // read above; not every such map can be walked.
    if (type != NODE_ELEMENT)
        return S_OK;
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    HRESULT hr = node->get_attributes(&attributes);
    if (hr == S_FALSE)
        return S_OK;
    if (hr != S_OK || !attributes)
        return E_FAIL;
    // The map may be one the DOM hands out again, its walk already begun.
    if (FAILED(attributes->reset()))
        return E_FAIL;
    for (;;) {
        CComPtr<IXMLDOMNode> attribute;
        hr = attributes->nextNode(&attribute);
        if (hr == S_FALSE)
            return S_OK;
        BstrHolder attributeName;
        CComVariant attributeValue;
        if (hr != S_OK || !attribute || !NameAndValue(attribute, attributeName, attributeValue))
            return E_FAIL;
        if (!sink->OnAttribute(attributeName.text, SysStringLen(attributeName.text),
                               attributeValue.bstrVal, SysStringLen(attributeValue.bstrVal)))
            return S_FALSE;
    }
}

}  // namespace

bool IsXmlText(const OLECHAR* text, std::size_t length) {
    // Every document's whole text passes through here. Nearly all of it is
    // printable and below the surrogates: tested in one pass without a branch
    // per unit, the rest one character at a time.
    unsigned other = 0;
    for (std::size_t i = 0; i < length; ++i)
        other |= static_cast<OLECHAR>(text[i] - 0x20) >= 0xD800 - 0x20;
    if (!other)
        return true;
    for (std::size_t i = 0; i < length;)
        if (!IsXmlChar(NextChar(text, length, i)))
            return false;
    return true;
}

bool IsXmlName(const OLECHAR* text, std::size_t length) {
    return IsName(text, length);
}

bool IsXmlText(const char* text, std::size_t length) {
    // Printable ASCII at once, the rest decoded.
    if (IsPrintableAscii(text, length))
        return true;
    for (std::size_t i = 0; i < length;)
        if (!IsXmlChar(NextChar(text, length, i)))
            return false;
    return true;
}

bool IsXmlName(const char* text, std::size_t length) {
    return IsName(text, length);
}

HRESULT ReadDocumentTree(IXMLDOMDocument* document, IKvTreeSink* sink, bool byNode) {
    CComPtr<IKvTreeReader> reader;
    if (!byNode &&
        SUCCEEDED(document->QueryInterface(IID_IKvTreeReader, reinterpret_cast<void**>(&reader))) &&
        reader)
        return reader->ReadTree(sink);
    // Depth first, without recursion: `open` holds the nodes entered and not
    // yet left, outermost first.
    std::vector<CComPtr<IXMLDOMNode>> open;
    CComPtr<IXMLDOMNode> node;
    if (FAILED(document->get_firstChild(&node)))
        return E_FAIL;
    while (node) {
        HRESULT hr = ReadNode(node, static_cast<UINT>(open.size() + 1), sink);
        if (hr != S_OK)
            return hr;
        CComPtr<IXMLDOMNode> next;
        if (FAILED(node->get_firstChild(&next)))
            return E_FAIL;
        if (next) {
            open.push_back(std::move(node));
            node = std::move(next);
            continue;
        }
        // No children: on to the next sibling, of this node or of the
        // nearest node still open.
        for (;;) {
            if (FAILED(node->get_nextSibling(&next)))
                return E_FAIL;
            if (next || open.empty())
                break;
            node = std::move(open.back());
            open.pop_back();
        }
        node = std::move(next);
    }
    return S_OK;
}

}  // namespace xmlutils
