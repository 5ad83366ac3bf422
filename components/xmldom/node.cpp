#include "components/xmldom/node.h"

#include "components/xmldom/collections.h"
#include "components/xmldom/document.h"
#include "components/xmldom/nodeops.h"
#include "components/xmldom/tree.h"
#include "components/xmldom/text.h"
#include "win32/com.h"
#include "win32/msxml.h"
#include "win32/oleauto.h"

namespace kv {
namespace xmldom {

Node::Node(Document* document, const pugi::xml_node& node)
    : m_document(document), m_node(node), m_generation(document->Generation()) {}

Node::Node(Document* document, std::string name)
    : m_document(document), m_detached(true), m_name(std::move(name)) {}

Node::~Node() = default;

HRESULT Node::Wrap(Document* document, const pugi::xml_node& node, IXMLDOMNode** out) {
    *out = new Node(document, node);
    return S_OK;
}

HRESULT Node::NewElement(Document* document, const std::string& name, IXMLDOMElement** out) {
    *out = new Node(document, name);
    return S_OK;
}

Node* Node::Of(IXMLDOMNode* node) {
    void* implementation = nullptr;
    if (!node || FAILED(node->QueryInterface(IID_KvNodeImplementation, &implementation)))
        return nullptr;
    return static_cast<Node*>(implementation);
}

HRESULT Node::QueryInterface(REFIID iid, void** object) {
    if (object && iid == IID_KvNodeImplementation) {
        *object = this;
        return S_OK;
    }
    if (iid == IID_IXMLDOMElement && !IsElement()) {
        if (object)
            *object = nullptr;
        return object ? E_NOINTERFACE : E_POINTER;
    }
    return Answer(iid, object, {&IID_IUnknown, &IID_IXMLDOMNode, &IID_IXMLDOMElement});
}

pugi::xml_node Node::Live() const {
    if (m_detached || m_document->Generation() != m_generation)
        return pugi::xml_node();
    return m_node;
}

HRESULT Node::Place(pugi::xml_node parent) {
    pugi::xml_node placed = parent.append_child(m_name.c_str());
    if (!placed)
        return E_FAIL;
    for (const auto& attribute : m_attributes)
        placed.append_attribute(attribute.first.c_str()).set_value(attribute.second.c_str());
    m_node = placed;
    m_generation = m_document->Generation();
    m_detached = false;
    m_name.clear();
    m_attributes.clear();
    return S_OK;
}

bool Node::IsElement() const {
    return m_detached || Live().type() == pugi::node_element;
}

std::size_t Node::AttributeCount() const {
    if (m_detached)
        return m_attributes.size();
    std::size_t count = 0;
    for (pugi::xml_attribute attribute = Live().first_attribute(); attribute;
         attribute = attribute.next_attribute())
        ++count;
    return count;
}

bool Node::AttributeName(std::size_t index, std::string& name) const {
    if (m_detached) {
        if (index >= m_attributes.size())
            return false;
        name = m_attributes[index].first;
        return true;
    }
    const pugi::xml_attribute attribute = LiveAttribute(index);
    if (!attribute)
        return false;
    name = attribute.name();
    return true;
}

pugi::xml_attribute Node::LiveAttribute(std::size_t index) const {
    pugi::xml_attribute attribute = Live().first_attribute();
    for (; attribute && index > 0; --index)
        attribute = attribute.next_attribute();
    return attribute;
}

bool Node::FindAttribute(const std::string& name, std::string* value) const {
    if (m_detached) {
        for (const auto& attribute : m_attributes) {
            if (attribute.first == name) {
                if (value)
                    *value = attribute.second;
                return true;
            }
        }
        return false;
    }
    const char* text = AttributeText(name);
    if (!text)
        return false;
    if (value)
        *value = text;
    return true;
}

const char* Node::AttributeText(const std::string& name) const {
    if (m_detached)
        return nullptr;
    const pugi::xml_attribute attribute = Live().attribute(name.c_str());
    return attribute ? attribute.value() : nullptr;
}

HRESULT Node::SetAttribute(const std::string& name, const std::string& value) {
    if (m_detached) {
        for (auto& attribute : m_attributes) {
            if (attribute.first == name) {
                attribute.second = value;
                return S_OK;
            }
        }
        m_attributes.emplace_back(name, value);
        return S_OK;
    }
    pugi::xml_node node = Live();
    if (node.type() != pugi::node_element)
        return node ? E_FAIL : E_UNEXPECTED;
    pugi::xml_attribute attribute = node.attribute(name.c_str());
    if (!attribute)
        attribute = node.append_attribute(name.c_str());
    return attribute && attribute.set_value(value.c_str()) ? S_OK : E_OUTOFMEMORY;
}

HRESULT Node::get_nodeName(BSTR* name) {
    if (!name)
        return E_POINTER;
    *name = nullptr;
    return component::Guarded([&] {
        if (m_detached)
            return NewBstr(m_name, name);
        const pugi::xml_node node = Live();
        return node ? NewBstr(NodeName(node), name) : E_UNEXPECTED;
    });
}

HRESULT Node::get_nodeValue(VARIANT* value) {
    if (!value)
        return E_POINTER;
    VariantInit(value);
    return component::Guarded([&] {
        if (m_detached) {
            value->vt = VT_NULL;
            return S_OK;
        }
        const pugi::xml_node node = Live();
        return node ? GetNodeValue(node, value) : E_UNEXPECTED;
    });
}

HRESULT Node::put_nodeValue(VARIANT value) {
    return component::Guarded([&] {
        if (m_detached)
            return E_FAIL;
        const pugi::xml_node node = Live();
        return node ? PutNodeValue(node, value) : E_UNEXPECTED;
    });
}

HRESULT Node::get_nodeType(DOMNodeType* type) {
    if (!type)
        return E_POINTER;
    if (m_detached) {
        *type = NODE_ELEMENT;
        return S_OK;
    }
    const pugi::xml_node node = Live();
    *type = NodeType(node);
    return node ? S_OK : E_UNEXPECTED;
}

HRESULT Node::get_attributes(IXMLDOMNamedNodeMap** attributes) {
    if (!attributes)
        return E_POINTER;
    *attributes = nullptr;
    return component::Guarded([&] {
        if (!m_detached && !Live())
            return E_UNEXPECTED;
        if (!IsElement())
            return S_FALSE;
        *attributes = new AttributeMap(this);
        return S_OK;
    });
}

HRESULT Node::get_firstChild(IXMLDOMNode** child) {
    if (!child)
        return E_POINTER;
    *child = nullptr;
    return component::Guarded([&] {
        if (m_detached)
            return S_FALSE;
        const pugi::xml_node node = Live();
        return node ? WrapNode(m_document, node.first_child(), child) : E_UNEXPECTED;
    });
}

HRESULT Node::get_nextSibling(IXMLDOMNode** sibling) {
    if (!sibling)
        return E_POINTER;
    *sibling = nullptr;
    return component::Guarded([&] {
        if (m_detached)
            return S_FALSE;
        const pugi::xml_node node = Live();
        return node ? WrapNode(m_document, m_document->NextSibling(node), sibling) : E_UNEXPECTED;
    });
}

HRESULT Node::appendChild(IXMLDOMNode* child, IXMLDOMNode** placed) {
    if (placed)
        *placed = nullptr;
    return component::Guarded([&] {
        if (m_detached)
            return E_FAIL;
        const pugi::xml_node node = Live();
        return node ? AppendChild(m_document, node, child, placed) : E_UNEXPECTED;
    });
}

HRESULT Node::removeChild(IXMLDOMNode* child, IXMLDOMNode** removed) {
    if (removed)
        *removed = nullptr;
    return component::Guarded([&] {
        if (m_detached)
            return E_INVALIDARG;
        const pugi::xml_node node = Live();
        return node ? RemoveChild(m_document, node, child, removed) : E_UNEXPECTED;
    });
}

HRESULT Node::selectNodes(BSTR expression, IXMLDOMNodeList** list) {
    if (!list)
        return E_POINTER;
    *list = nullptr;
    return component::Guarded([&] {
        if (m_detached)
            return E_FAIL;
        const pugi::xml_node node = Live();
        return node ? SelectNodes(m_document, node, expression, list) : E_UNEXPECTED;
    });
}

HRESULT Node::selectSingleNode(BSTR expression, IXMLDOMNode** result) {
    if (!result)
        return E_POINTER;
    *result = nullptr;
    return component::Guarded([&] {
        if (m_detached)
            return E_FAIL;
        const pugi::xml_node node = Live();
        return node ? SelectSingleNode(m_document, node, expression, result) : E_UNEXPECTED;
    });
}

}  // namespace xmldom
}  // namespace kv
