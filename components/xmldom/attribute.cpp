#include "components/xmldom/attribute.h"

#include <cstring>

#include "components/xmldom/document.h"
#include "components/xmldom/node.h"
#include "components/xmldom/nodeops.h"
#include "components/xmldom/text.h"
#include "win32/com.h"
#include "win32/msxml.h"
#include "win32/oleauto.h"

namespace kv {
namespace xmldom {

Attribute::Attribute(Document* document, Node* element, std::string name)
    : m_document(document), m_element(element), m_name(std::move(name)) {}

Attribute::~Attribute() = default;

HRESULT Attribute::OfElement(Node* element, const std::string& name, IXMLDOMNode** out) {
    *out = new Attribute(element->document(), element, name);
    return S_OK;
}

HRESULT Attribute::OfElement(Node* element, const pugi::xml_attribute& attribute,
                             IXMLDOMNode** out) {
    auto* wrapper = new Attribute(element->document(), element, attribute.name());
    wrapper->m_attribute = attribute;
    wrapper->m_generation = element->document()->Generation();
    *out = wrapper;
    return S_OK;
}

HRESULT Attribute::NewDetached(Document* document, const std::string& name, IXMLDOMNode** out) {
    *out = new Attribute(document, nullptr, name);
    return S_OK;
}

Attribute* Attribute::Of(IXMLDOMNode* node) {
    void* implementation = nullptr;
    if (!node || FAILED(node->QueryInterface(IID_KvAttributeImplementation, &implementation)))
        return nullptr;
    return static_cast<Attribute*>(implementation);
}

HRESULT Attribute::AttachTo(Node* element) {
    if (element->document() != m_document)
        return E_INVALIDARG;
    if (m_element) {
        // Two wrappers may stand for the same placed element.
        const bool same = m_element.get() == element ||
                          (m_element->Live() && m_element->Live() == element->Live());
        return same ? S_OK : E_FAIL;
    }
    if (!element->IsElement())
        return E_FAIL;
    const HRESULT hr = element->SetAttribute(m_name, m_value);
    if (FAILED(hr))
        return hr;
    m_element = element;
    m_value.clear();
    return S_OK;
}

HRESULT Attribute::QueryInterface(REFIID iid, void** object) {
    if (object && iid == IID_KvAttributeImplementation) {
        *object = this;
        return S_OK;
    }
    return Answer(iid, object, {&IID_IUnknown, &IID_IXMLDOMNode, &IID_IXMLDOMAttribute});
}

HRESULT Attribute::get_nodeName(BSTR* name) {
    if (!name)
        return E_POINTER;
    *name = nullptr;
    return component::Guarded([&] { return NewBstr(m_name, name); });
}

HRESULT Attribute::get_nodeValue(VARIANT* value) {
    if (!value)
        return E_POINTER;
    VariantInit(value);
    return component::Guarded([&] {
        if (!m_element)
            return NewTextVariant(m_value, value);
        if (!m_element->detached()) {
            // Read in place: values are read by the thousand when a data file
            // is listed. Attributes are never removed, so a known one stands
            // as long as its tree.
            const char* text =
                m_attribute && m_element->Live() && m_generation == m_document->Generation()
                    ? m_attribute.value()
                    : m_element->AttributeText(m_name);
            if (!text)
                return E_UNEXPECTED;
            return NewTextVariant(text, std::strlen(text), value);
        }
        std::string text;
        if (!m_element->FindAttribute(m_name, &text))
            return E_UNEXPECTED;
        return NewTextVariant(text, value);
    });
}

HRESULT Attribute::put_nodeValue(VARIANT value) {
    return component::Guarded([&] {
        std::string text;
        const HRESULT hr = VariantText(value, text);
        if (FAILED(hr))
            return hr;
        if (!m_element) {
            m_value = std::move(text);
            return S_OK;
        }
        return m_element->SetAttribute(m_name, text);
    });
}

HRESULT Attribute::get_nodeType(DOMNodeType* type) {
    if (!type)
        return E_POINTER;
    *type = NODE_ATTRIBUTE;
    return S_OK;
}

HRESULT Attribute::get_attributes(IXMLDOMNamedNodeMap** attributes) {
    if (!attributes)
        return E_POINTER;
    *attributes = nullptr;
    return S_FALSE;
}

HRESULT Attribute::get_firstChild(IXMLDOMNode** child) {
    if (!child)
        return E_POINTER;
    *child = nullptr;
    return S_FALSE;
}

HRESULT Attribute::get_nextSibling(IXMLDOMNode** sibling) {
    if (!sibling)
        return E_POINTER;
    *sibling = nullptr;
    return S_FALSE;
}

HRESULT Attribute::appendChild(IXMLDOMNode*, IXMLDOMNode** placed) {
    if (placed)
        *placed = nullptr;
    return E_FAIL;
}

HRESULT Attribute::removeChild(IXMLDOMNode*, IXMLDOMNode** removed) {
    if (removed)
        *removed = nullptr;
    return E_INVALIDARG;
}

HRESULT Attribute::selectNodes(BSTR expression, IXMLDOMNodeList** list) {
    if (!list)
        return E_POINTER;
    *list = nullptr;
    return component::Guarded([&] {
        const pugi::xml_node element = m_element ? m_element->Live() : pugi::xml_node();
        const pugi::xml_attribute attribute = element.attribute(m_name.c_str());
        if (!attribute)
            return E_FAIL;
        return SelectNodes(m_document, pugi::xpath_node(attribute, element), expression, list);
    });
}

HRESULT Attribute::selectSingleNode(BSTR expression, IXMLDOMNode** node) {
    if (!node)
        return E_POINTER;
    *node = nullptr;
    return component::Guarded([&] {
        const pugi::xml_node element = m_element ? m_element->Live() : pugi::xml_node();
        const pugi::xml_attribute attribute = element.attribute(m_name.c_str());
        if (!attribute)
            return E_FAIL;
        return SelectSingleNode(m_document, pugi::xpath_node(attribute, element), expression, node);
    });
}

}  // namespace xmldom
}  // namespace kv
