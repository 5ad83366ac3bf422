#include "xml/xmlrules.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "xml/xmlchars.h"
#include "win32/bstr.h"
#include "foundation/platform/comptr.h"
#include "foundation/platform/variant.h"
#include "win32/msxml.h"

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

// The name characters of ASCII, for the common case.
constexpr struct AsciiNameChars {
    bool is[0x80] = {};
    constexpr AsciiNameChars() {
        for (char32_t c = 0; c < 0x80; ++c)
            is[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == ':' || c == '-' || c == '.';
    }
    bool operator[](OLECHAR c) const { return is[c]; }
} kAsciiNameChars;

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

// Whether a processing instruction's target is "xml" in some letter case:
// reserved, only the XML declaration has it.
bool IsXmlTarget(Text name) {
    return name.size() == 3 && (name[0] | 0x20) == 'x' && (name[1] | 0x20) == 'm' &&
           (name[2] | 0x20) == 'l';
}

// What the library takes from a loaded document (see IsAcceptableDocument),
// judged node by node as it is read.
class DocumentRules final : public IKvTreeSink {
public:
    bool OnNode(DOMNodeType type, UINT depth, const OLECHAR* name, UINT nameLength,
                const OLECHAR* value, UINT valueLength) override {
        const bool first = m_first;
        m_first = false;
        m_names.clear();
        m_starts.clear();
        if (!m_many.empty())
            m_many.clear();
        m_seen = 0;
        const Text text(value, valueLength);
        switch (type) {
            case NODE_ELEMENT:
                // One element holds the document, nested no deeper than the limit.
                return depth <= kMaxElementDepth && (depth > 1 || m_roots++ == 0) &&
                       IsXmlName(name, nameLength);
            case NODE_TEXT:
                return depth > 1 && IsXmlText(value, valueLength);
            case NODE_CDATA_SECTION:
                return depth > 1 && IsXmlText(value, valueLength) && !Contains(text, "]]>");
            case NODE_COMMENT:
                return IsXmlText(value, valueLength) && !Contains(text, "--") &&
                       (text.empty() || text.back() != OLESTR('-'));
            case NODE_PROCESSING_INSTRUCTION:
                // The declaration is the first node, exactly "xml".
                if (IsXmlTarget(Text(name, nameLength)) &&
                    !(first && depth == 1 && Text(name, nameLength) == OLESTR("xml")))
                    return false;
                return IsXmlName(name, nameLength) && IsXmlText(value, valueLength) &&
                       !Contains(text, "?>");
            default:
                // A document type declaration, or what only comes with one.
                return false;
        }
    }
    bool OnAttribute(const OLECHAR* name, UINT nameLength, const OLECHAR* value,
                     UINT valueLength) override {
        return IsXmlName(name, nameLength) && IsXmlText(value, valueLength) &&
               IsNewName(Text(name, nameLength));
    }

private:
    // Whether no attribute of this name came before on the same element.
    // Elements have a few attributes, compared one by one; a hostile one with
    // many is looked up in a set.
    bool IsNewName(Text name) {
        constexpr std::size_t kCompared = 32;
        if (m_starts.size() < kCompared) {
            // Names that differ in length or first unit need no comparing.
            const std::uint64_t bit = std::uint64_t(1) << ((name.size() * 7 + name[0]) & 63);
            if (m_seen & bit)
                for (std::size_t i = 0; i < m_starts.size(); ++i)
                    if (NameAt(i) == name)
                        return false;
            m_seen |= bit;
            m_starts.push_back(m_names.size());
            m_names.append(name);
            return true;
        }
        if (m_many.empty())
            for (std::size_t i = 0; i < m_starts.size(); ++i)
                m_many.emplace(NameAt(i));
        return m_many.emplace(name).second;
    }
    Text NameAt(std::size_t i) const {
        const std::size_t end = i + 1 < m_starts.size() ? m_starts[i + 1] : m_names.size();
        return Text(m_names.data() + m_starts[i], end - m_starts[i]);
    }

    bool m_first = true;
    unsigned m_roots = 0;
    // The attribute names of the current element: their text and where each
    // starts in it, and the set of them once there are many.
    std::basic_string<OLECHAR> m_names;
    std::vector<std::size_t> m_starts;
    std::uint64_t m_seen = 0;  // a bit per length and first unit seen
    std::unordered_set<std::basic_string<OLECHAR>> m_many;
};

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
    std::size_t i = 0;
    if (length == 0 || !IsNameStartChar(NextChar(text, length, i)))
        return false;
    while (i < length) {
        const OLECHAR unit = text[i];
        if (unit < 0x80) {
            if (!kAsciiNameChars[unit])
                return false;
            ++i;
        } else if (!IsNameChar(NextChar(text, length, i))) {
            return false;
        }
    }
    return true;
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

bool IsAcceptableDocument(IXMLDOMDocument* document) {
    DocumentRules rules;
    return ReadDocumentTree(document, &rules) == S_OK;
}

}  // namespace xmlutils
