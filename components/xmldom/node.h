// The wrapper of a tree node other than the document and attributes: an
// element, text, CDATA, comment, processing instruction, declaration or
// document type. It also stands for a new element that is not yet placed.
//
// pugixml has no nodes outside a tree, so a new element keeps its name and
// the attributes set on it in the wrapper until appendChild places it; the
// wrapper then stands for the placed node. Every wrapper holds a reference to
// its document, which keeps the tree alive; after the document loads again,
// wrappers of the old tree answer E_UNEXPECTED.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "components/comobject.h"
#include "win32/msxml.h"
#include "foundation/platform/comptr.h"

namespace kv {
namespace xmldom {

class Document;

// Asks a node for its Node implementation (no reference is added).
constexpr IID IID_KvNodeImplementation = {
    0x5C1E7A10, 0x3B2D, 0x4F6E, {0x9A, 0x41, 0x7D, 0x20, 0x6B, 0x93, 0xE1, 0x01}};

class Node final : public component::ComObject<platform::DomInterface<IXMLDOMElement>> {
public:
    // A wrapper of a node of the document's tree.
    static HRESULT Wrap(Document* document, const pugi::xml_node& node, IXMLDOMNode** out);
    // A new element of the document, not yet placed.
    static HRESULT NewElement(Document* document, const std::string& name, IXMLDOMElement** out);
    // The implementation behind a node interface; null when it is not a Node.
    static Node* Of(IXMLDOMNode* node);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE get_nodeName(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_nodeValue(VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE put_nodeValue(VARIANT value) override;
    HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType* type) override;
    HRESULT STDMETHODCALLTYPE get_attributes(IXMLDOMNamedNodeMap** attributes) override;
    HRESULT STDMETHODCALLTYPE get_firstChild(IXMLDOMNode** child) override;
    HRESULT STDMETHODCALLTYPE get_nextSibling(IXMLDOMNode** sibling) override;
    // A new element cannot take children before it is placed (E_FAIL).
    HRESULT STDMETHODCALLTYPE appendChild(IXMLDOMNode* child, IXMLDOMNode** placed) override;
    // Every wrapper of the tree is stale afterwards (see RemoveChild).
    HRESULT STDMETHODCALLTYPE removeChild(IXMLDOMNode* child, IXMLDOMNode** removed) override;
    // Selection needs a placed node (E_FAIL before).
    HRESULT STDMETHODCALLTYPE selectNodes(BSTR expression, IXMLDOMNodeList** list) override;
    HRESULT STDMETHODCALLTYPE selectSingleNode(BSTR expression, IXMLDOMNode** node) override;

    Document* document() const { return m_document.get(); }
    bool detached() const { return m_detached; }
    // The tree node; null while detached or once the document has loaded again.
    pugi::xml_node Live() const;
    // Places a new element as the last child of `parent` and binds to it.
    HRESULT Place(pugi::xml_node parent);

    // The attributes of an element, placed or not, in document order.
    bool IsElement() const;
    std::size_t AttributeCount() const;
    bool AttributeName(std::size_t index, std::string& name) const;
    // The placed element's attribute at `index`; empty when there is none.
    pugi::xml_attribute LiveAttribute(std::size_t index) const;
    // False when there is no attribute of that name.
    bool FindAttribute(const std::string& name, std::string* value) const;
    // The value of the placed element's attribute of that name, without a
    // copy, valid until the attribute changes; null when there is none (and
    // for a new element: FindAttribute reads those).
    const char* AttributeText(const std::string& name) const;
    // Changes the value of the attribute of that name, or adds it at the end.
    HRESULT SetAttribute(const std::string& name, const std::string& value);

private:
    Node(Document* document, const pugi::xml_node& node);
    Node(Document* document, std::string name);
    ~Node() override;

    CComPtr<Document> m_document;
    pugi::xml_node m_node;
    unsigned m_generation = 0;
    bool m_detached = false;
    // A new element's name and attributes until it is placed.
    std::string m_name;
    std::vector<std::pair<std::string, std::string>> m_attributes;
};

}  // namespace xmldom
}  // namespace kv
