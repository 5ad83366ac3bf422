#include "components/xmldom/nodeops.h"

#include "components/xmldom/attribute.h"
#include "components/xmldom/collections.h"
#include "components/comobject.h"
#include "components/xmldom/document.h"
#include "components/xmldom/node.h"
#include "components/xmldom/text.h"
#include "foundation/platform/comptr.h"
#include "win32/msxml.h"
#include "win32/oleauto.h"

namespace kv {
namespace xmldom {

namespace {

// The declaration's pseudo-attributes as they are written: version="1.0" ...
std::string DeclarationText(const pugi::xml_node& declaration) {
    std::string text;
    for (pugi::xml_attribute attribute : declaration.attributes()) {
        if (!text.empty())
            text += ' ';
        text += attribute.name();
        text += "=\"";
        text += attribute.value();
        text += '"';
    }
    return text;
}

// Evaluates an expression into a node set in document order. pugixml returns
// unions and reverse axes out of document order, hence the sort. The
// declaration is no node of XPath's model, so nothing is selected from it.
HRESULT Evaluate(const Document* document, const pugi::xpath_node& context, BSTR expression,
                 pugi::xpath_node_set& nodes) {
    std::string bound;
    if (context.node().type() == pugi::node_declaration ||
        !BindPrefixes(Utf8FromBstr(expression), document->Prefixes(), bound))
        return E_FAIL;
    try {
        const pugi::xpath_query query(bound.c_str());
        nodes = query.evaluate_node_set(context);
        nodes.sort();
        return S_OK;
    } catch (const pugi::xpath_exception&) {
        return E_FAIL;
    }
}

}  // namespace

std::string NodeName(const pugi::xml_node& node) {
    switch (node.type()) {
        case pugi::node_document:
            return "#document";
        case pugi::node_pcdata:
            return "#text";
        case pugi::node_cdata:
            return "#cdata-section";
        case pugi::node_comment:
            return "#comment";
        case pugi::node_doctype: {
            // pugixml keeps the whole text after "<!DOCTYPE"; the name leads it.
            const std::string text = node.value();
            return text.substr(0, text.find_first_of(" \t\r\n["));
        }
        default:
            return node.name();
    }
}

HRESULT GetNodeValue(const pugi::xml_node& node, VARIANT* value) {
    switch (node.type()) {
        case pugi::node_pcdata:
        case pugi::node_cdata:
        case pugi::node_comment:
        case pugi::node_pi:
            return NewTextVariant(node.value(), value);
        case pugi::node_declaration:
            return NewTextVariant(DeclarationText(node), value);
        default:
            VariantInit(value);
            value->vt = VT_NULL;
            return S_OK;
    }
}

HRESULT PutNodeValue(pugi::xml_node node, const VARIANT& value) {
    switch (node.type()) {
        case pugi::node_pcdata:
        case pugi::node_cdata:
        case pugi::node_comment:
        case pugi::node_pi:
            break;
        default:
            return E_FAIL;
    }
    std::string text;
    const HRESULT hr = VariantText(value, text);
    if (FAILED(hr))
        return hr;
    return node.set_value(text.c_str()) ? S_OK : E_OUTOFMEMORY;
}

HRESULT WrapNode(Document* document, const pugi::xml_node& node, IXMLDOMNode** out) {
    *out = nullptr;
    if (!node)
        return S_FALSE;
    if (node.type() == pugi::node_document)
        return document->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(out));
    return Node::Wrap(document, node, out);
}

HRESULT WrapResult(Document* document, const pugi::xpath_node& result, IXMLDOMNode** out) {
    *out = nullptr;
    if (!result.attribute())
        return WrapNode(document, result.node(), out);
    CComPtr<IXMLDOMNode> element;
    HRESULT hr = Node::Wrap(document, result.parent(), &element);
    if (FAILED(hr))
        return hr;
    return Attribute::OfElement(Node::Of(element), result.attribute().name(), out);
}

HRESULT SelectNodes(Document* document, const pugi::xpath_node& context, BSTR expression,
                    IXMLDOMNodeList** list) {
    *list = nullptr;
    pugi::xpath_node_set nodes;
    const HRESULT hr = Evaluate(document, context, expression, nodes);
    if (FAILED(hr))
        return hr;
    *list = new NodeList(document, nodes);
    return S_OK;
}

HRESULT SelectSingleNode(Document* document, const pugi::xpath_node& context, BSTR expression,
                         IXMLDOMNode** node) {
    *node = nullptr;
    pugi::xpath_node_set nodes;
    const HRESULT hr = Evaluate(document, context, expression, nodes);
    if (FAILED(hr))
        return hr;
    return nodes.empty() ? S_FALSE : WrapResult(document, nodes.first(), node);
}

HRESULT AppendChild(Document* document, pugi::xml_node parent, IXMLDOMNode* child,
                    IXMLDOMNode** placed) {
    if (placed)
        *placed = nullptr;
    Node* node = Node::Of(child);
    if (!node || node->document() != document)
        return E_INVALIDARG;
    if (parent.type() != pugi::node_element && parent.type() != pugi::node_document)
        return E_FAIL;
    HRESULT hr = S_OK;
    if (node->detached()) {
        if (parent.type() == pugi::node_document &&
            parent.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; }))
            return E_FAIL;
        hr = node->Place(parent);
    } else {
        const pugi::xml_node moved = node->Live();
        if (!moved)
            return E_UNEXPECTED;
        if (parent.type() == pugi::node_document) {
            // Only the document element itself may move within the document.
            const bool element = moved.type() == pugi::node_element;
            const bool text = moved.type() == pugi::node_pcdata || moved.type() == pugi::node_cdata;
            if (text || (element && moved.parent() != parent))
                return E_FAIL;
        }
        // pugixml refuses to move a node below itself.
        hr = parent.append_move(moved) ? S_OK : E_FAIL;
    }
    if (SUCCEEDED(hr) && placed)
        component::Hand(child, placed);
    return hr;
}

HRESULT RemoveChild(Document* document, pugi::xml_node parent, IXMLDOMNode* child,
                    IXMLDOMNode** removed) {
    if (removed)
        *removed = nullptr;
    Node* node = Node::Of(child);
    if (!node || node->document() != document)
        return E_INVALIDARG;
    const pugi::xml_node gone = node->Live();
    if (!gone || gone.parent() != parent)
        return E_INVALIDARG;
    if (!parent.remove_child(gone))
        return E_FAIL;
    document->TreeChanged();
    if (removed)
        component::Hand(child, removed);
    return S_OK;
}

}  // namespace xmldom
}  // namespace kv
