// The wrapper of an attribute: one of an element (found by its name there), or
// a new one from createNode that holds its own name and value until
// setNamedItem puts it on an element.
#pragma once

#include <string>

#include <pugixml.hpp>

#include "components/comobject.h"
#include "win32/msxml.h"
#include "foundation/platform/comptr.h"

namespace kv {
namespace xmldom {

class Document;
class Node;

// Asks a node for its Attribute implementation (no reference is added).
constexpr IID IID_KvAttributeImplementation = {
    0x5C1E7A10, 0x3B2D, 0x4F6E, {0x9A, 0x41, 0x7D, 0x20, 0x6B, 0x93, 0xE1, 0x02}};

class Attribute final : public component::ComObject<platform::DomInterface<IXMLDOMAttribute>> {
public:
    // The attribute `name` of `element` (which has it).
    static HRESULT OfElement(Node* element, const std::string& name, IXMLDOMNode** out);
    // The attribute `attribute` of the placed element `element`; its value is
    // then read without a search by name while the tree stands.
    static HRESULT OfElement(Node* element, const pugi::xml_attribute& attribute,
                             IXMLDOMNode** out);
    // A new attribute of the document, on no element yet.
    static HRESULT NewDetached(Document* document, const std::string& name, IXMLDOMNode** out);
    // The implementation behind a node interface; null when it is not an Attribute.
    static Attribute* Of(IXMLDOMNode* node);

    // Puts a new attribute on `element` (an element of the same document),
    // changing the value of one of the same name in place or adding it at the
    // end, and binds to it. E_FAIL when it is already on another element.
    HRESULT AttachTo(Node* element);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE get_nodeName(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_nodeValue(VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE put_nodeValue(VARIANT value) override;
    HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType* type) override;
    // Attributes have no attribute collection, children or siblings here.
    HRESULT STDMETHODCALLTYPE get_attributes(IXMLDOMNamedNodeMap** attributes) override;
    HRESULT STDMETHODCALLTYPE get_firstChild(IXMLDOMNode** child) override;
    HRESULT STDMETHODCALLTYPE get_nextSibling(IXMLDOMNode** sibling) override;
    HRESULT STDMETHODCALLTYPE appendChild(IXMLDOMNode* child, IXMLDOMNode** placed) override;
    HRESULT STDMETHODCALLTYPE removeChild(IXMLDOMNode* child, IXMLDOMNode** removed) override;
    // Selection from an attribute of a placed element; E_FAIL otherwise.
    HRESULT STDMETHODCALLTYPE selectNodes(BSTR expression, IXMLDOMNodeList** list) override;
    HRESULT STDMETHODCALLTYPE selectSingleNode(BSTR expression, IXMLDOMNode** node) override;

private:
    Attribute(Document* document, Node* element, std::string name);
    ~Attribute() override;

    CComPtr<Document> m_document;
    CComPtr<Node> m_element;  // null while the attribute is on no element
    std::string m_name;
    std::string m_value;  // the value while on no element
    // The placed attribute, when known, and the tree it belongs to.
    pugi::xml_attribute m_attribute;
    unsigned m_generation = 0;
};

}  // namespace xmldom
}  // namespace kv
