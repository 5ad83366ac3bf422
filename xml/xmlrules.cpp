#include "xml/xmlrules.h"

#include <string_view>
#include <vector>

#include "foundation/platform/bstr.h"

namespace xmlutils {

namespace {

typedef std::basic_string_view<OLECHAR> Text;

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

bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

bool IsNameStartChar(char32_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' ||
           (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
           (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(char32_t c) {
    return IsNameStartChar(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

bool Contains(Text text, const char* part) {
    for (std::size_t at = 0; at + std::char_traits<char>::length(part) <= text.size(); ++at) {
        std::size_t i = 0;
        while (part[i] && text[at + i] == OLECHAR(part[i]))
            ++i;
        if (!part[i])
            return true;
    }
    return false;
}

// Frees a BSTR at the end of a scope.
struct BstrHolder {
    BSTR text = nullptr;
    ~BstrHolder() { SysFreeString(text); }
};

bool NameIsXml(IXMLDOMNode* node) {
    BstrHolder name;
    if (node->get_nodeName(&name.text) != S_OK || !name.text)
        return false;
    return IsXmlName(name.text, SysStringLen(name.text));
}

// The node's value as text in `value`; false when it has none to give.
bool ValueOf(IXMLDOMNode* node, CComVariant& value) {
    return node->get_nodeValue(&value) == S_OK && value.vt == VT_BSTR;
}

bool AttributesAreXml(IXMLDOMNode* element) {
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    const HRESULT hr = element->get_attributes(&attributes);
    if (hr == S_FALSE)
        return true;
    if (hr != S_OK || !attributes)
        return false;
    for (;;) {
        CComPtr<IXMLDOMNode> attribute;
        const HRESULT next = attributes->nextNode(&attribute);
        if (next == S_FALSE)
            return true;
        CComVariant value;
        if (next != S_OK || !attribute || !NameIsXml(attribute) || !ValueOf(attribute, value) ||
            !IsXmlText(value.bstrVal, SysStringLen(value.bstrVal)))
            return false;
    }
}

// Whether one node, not counting its children, is one the library takes.
bool NodeIsAcceptable(IXMLDOMNode* node, DOMNodeType type) {
    if (type == NODE_ELEMENT)
        return NameIsXml(node) && AttributesAreXml(node);
    CComVariant value;
    if ((type != NODE_TEXT && type != NODE_CDATA_SECTION && type != NODE_COMMENT &&
         type != NODE_PROCESSING_INSTRUCTION) ||
        !ValueOf(node, value))
        return false;
    const Text text(value.bstrVal, SysStringLen(value.bstrVal));
    if (!IsXmlText(text.data(), text.size()))
        return false;
    switch (type) {
        case NODE_CDATA_SECTION:
            return !Contains(text, "]]>");
        case NODE_COMMENT:
            return !Contains(text, "--") && (text.empty() || text.back() != u'-');
        case NODE_PROCESSING_INSTRUCTION:
            return !Contains(text, "?>") && NameIsXml(node);
        default:
            return true;
    }
}

}  // namespace

bool IsXmlText(const OLECHAR* text, std::size_t length) {
    for (std::size_t i = 0; i < length;) {
        const OLECHAR unit = text[i];
        // Nearly all text is here: printable and below the surrogates.
        if (unit >= 0x20 && unit < 0xD800) {
            ++i;
            continue;
        }
        if (!IsXmlChar(NextChar(text, length, i)))
            return false;
    }
    return true;
}

bool IsXmlName(const OLECHAR* text, std::size_t length) {
    std::size_t i = 0;
    if (length == 0 || !IsNameStartChar(NextChar(text, length, i)))
        return false;
    while (i < length)
        if (!IsNameChar(NextChar(text, length, i)))
            return false;
    return true;
}

bool IsAcceptableDocument(IXMLDOMDocument* document) {
    // Depth first, without recursion: `open` holds the elements entered and
    // not yet left, outermost first, which bounds it by the depth limit.
    std::vector<CComPtr<IXMLDOMNode>> open;
    CComPtr<IXMLDOMNode> node;
    if (FAILED(document->get_firstChild(&node)))
        return false;
    while (node) {
        DOMNodeType type = NODE_INVALID;
        if (node->get_nodeType(&type) != S_OK || !NodeIsAcceptable(node, type))
            return false;
        CComPtr<IXMLDOMNode> next;
        if (type == NODE_ELEMENT) {
            if (open.size() >= kMaxElementDepth || FAILED(node->get_firstChild(&next)))
                return false;
            if (next) {
                open.push_back(std::move(node));
                node = std::move(next);
                continue;
            }
        }
        // No children: on to the next sibling, of this node or of the
        // nearest element still open.
        for (;;) {
            if (FAILED(node->get_nextSibling(&next)))
                return false;
            if (next || open.empty())
                break;
            node = std::move(open.back());
            open.pop_back();
        }
        node = std::move(next);
    }
    return true;
}

}  // namespace xmlutils
