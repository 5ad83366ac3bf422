// Operations shared by the wrappers of tree nodes and the document object:
// naming, values, wrapping, XPath selection and appending children.
#pragma once

#include <string>

#include <pugixml.hpp>

#include "win32/msxml.h"

namespace kv {
namespace xmldom {

class Document;

// The DOM's name of a tree node: "#document", "#text", "#cdata-section",
// "#comment" for those kinds, an element's qualified name, a processing
// instruction's target, "xml" for the declaration, the document type's root
// element name.
std::string NodeName(const pugi::xml_node& node);
// The text of text, CDATA, comments, processing instructions and the
// declaration; VT_NULL for the other kinds.
HRESULT GetNodeValue(const pugi::xml_node& node, VARIANT* value);
// Sets the text of text, CDATA, comment and processing-instruction nodes;
// E_FAIL for the other kinds.
HRESULT PutNodeValue(pugi::xml_node node, const VARIANT& value);

// A new wrapper of a tree node (the document node is `document` itself); S_FALSE
// and null for a null node.
HRESULT WrapNode(Document* document, const pugi::xml_node& node, IXMLDOMNode** out);
// The same for an XPath result, which may be an attribute.
HRESULT WrapResult(Document* document, const pugi::xpath_node& result, IXMLDOMNode** out);

// XPath 1.0 from `context`; matches in document order. A malformed expression,
// one that does not give nodes, one with a prefix the document's selection
// namespaces do not bind, or a context that is the XML declaration, fails with
// E_FAIL and no list.
HRESULT SelectNodes(Document* document, const pugi::xpath_node& context, BSTR expression,
                    IXMLDOMNodeList** list);
// The first match in document order; S_FALSE and null when nothing matches.
HRESULT SelectSingleNode(Document* document, const pugi::xpath_node& context, BSTR expression,
                         IXMLDOMNode** node);

// Appends `child`, an element of the same document, as the last child of
// `parent` (an element or the document): a new element is placed, one already
// in the tree is moved. The document takes no second element, nothing takes
// its own ancestor (E_FAIL, nothing changes). `placed` (may be null) receives
// the child.
HRESULT AppendChild(Document* document, pugi::xml_node parent, IXMLDOMNode* child,
                    IXMLDOMNode** placed);

// Removes `child`, a child of `parent`, with what lies below it (E_INVALIDARG
// for any other node). pugixml frees what it removes, so every wrapper of the
// document's tree becomes stale, as after a new load; `removed` (may be null)
// receives the child, stale too.
HRESULT RemoveChild(Document* document, pugi::xml_node parent, IXMLDOMNode* child,
                    IXMLDOMNode** removed);

}  // namespace xmldom
}  // namespace kv
