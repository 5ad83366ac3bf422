#include "xml/xmlrules.h"

#include <string>
#include <vector>

#include "win32/bstr.h"
#include "foundation/platform/comptr.h"
#include "foundation/platform/variant.h"
#include "win32/msxml.h"

namespace xmlutils {

namespace {

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
