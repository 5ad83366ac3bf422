#include "components/xmldom/collections.h"

#include <cstring>

#include "components/xmldom/attribute.h"
#include "components/xmldom/companion.h"
#include "components/xmldom/document.h"
#include "components/xmldom/node.h"
#include "components/xmldom/nodeops.h"
#include "components/xmldom/text.h"
#include "foundation/platform/comptr.h"
#include "win32/bstr.h"
#include "win32/com.h"
#include "win32/msxml.h"
#include "components/xmldom/variant.h"

namespace kv {
namespace xmldom {

namespace {

// The list's IKvAttributeTextReader (see companion.h).
class AttributeTextReader final : public Companion<IKvAttributeTextReader, NodeList> {
public:
    explicit AttributeTextReader(NodeList* list) : Companion(list, IID_IKvAttributeTextReader) {}
    HRESULT STDMETHODCALLTYPE ReadAttributeTexts(IKvAttributeTextSink* sink) override {
        return m_owner->ReadAttributeTexts(sink);
    }
};

// The list's IKvAttributeTextReaderUtf8.
class AttributeTextReaderUtf8 final : public Companion<IKvAttributeTextReaderUtf8, NodeList> {
public:
    explicit AttributeTextReaderUtf8(NodeList* list)
        : Companion(list, IID_IKvAttributeTextReaderUtf8) {}
    HRESULT STDMETHODCALLTYPE ReadAttributeTextsUtf8(IKvAttributeTextSinkUtf8* sink) override {
        return m_owner->ReadAttributeTextsUtf8(sink);
    }
};

}  // namespace

NodeList::NodeList(Document* document, const pugi::xpath_node_set& nodes)
    : m_document(document),
      m_generation(document->Generation()),
      m_nodes(nodes.begin(), nodes.end()) {}

NodeList::~NodeList() = default;

HRESULT NodeList::QueryInterface(REFIID iid, void** object) {
    if (object && iid == IID_IKvAttributeTextReader && !kNaive)
        return AnswerWithCompanion<AttributeTextReader>(this, object);
    if (object && iid == IID_IKvAttributeTextReaderUtf8 && !kNaive)
        return AnswerWithCompanion<AttributeTextReaderUtf8>(this, object);
    return Answer(iid, object, {&IID_IUnknown, &IID_IXMLDOMNodeList});
}

HRESULT NodeList::get_length(long* length) {
    if (!length)
        return E_POINTER;
    *length = static_cast<long>(m_nodes.size());
    return S_OK;
}

HRESULT NodeList::nextNode(IXMLDOMNode** node) {
    if (!node)
        return E_POINTER;
    *node = nullptr;
    if (m_document->Generation() != m_generation)
        return E_UNEXPECTED;
    if (m_next >= m_nodes.size())
        return S_FALSE;
    return component::Guarded([&] { return WrapResult(m_document, m_nodes[m_next++], node); });
}

template <class Sink, class Read>
HRESULT NodeList::ReadAttributes(Sink* sink, Read read) {
    if (!sink)
        return E_POINTER;
    if (m_document->Generation() != m_generation)
        return E_UNEXPECTED;
    return component::Guarded([&] {
        // What nextNode and get_attributes give: each node, and the attributes
        // of each element, handed to `read` as the tree holds them.
        while (m_next < m_nodes.size()) {
            const pugi::xpath_node& result = m_nodes[m_next++];
            if (!result.attribute() && !result.node())
                break;
            sink->OnNode();
            // Only an element has an attribute collection.
            if (result.attribute() || result.node().type() != pugi::node_element)
                continue;
            for (pugi::xml_attribute attribute = result.node().first_attribute(); attribute;
                 attribute = attribute.next_attribute())
                read(attribute.name(), std::strlen(attribute.name()), attribute.value(),
                     std::strlen(attribute.value()));
        }
        return S_OK;
    });
}

HRESULT NodeList::ReadAttributeTexts(IKvAttributeTextSink* sink) {
    // What get_nodeName and get_nodeValue give, converted as they convert,
    // into buffers reused from one to the next.
    std::basic_string<OLECHAR> name, value;
    return ReadAttributes(sink, [&](const char* name8, std::size_t nameLength, const char* value8,
                                    std::size_t valueLength) {
        const std::size_t nameUnits = ToUtf16(name8, nameLength, name);
        const std::size_t valueUnits = ToUtf16(value8, valueLength, value);
        sink->OnAttribute(name.data(), static_cast<UINT>(nameUnits), value.data(),
                          static_cast<UINT>(valueUnits));
    });
}

HRESULT NodeList::ReadAttributeTextsUtf8(IKvAttributeTextSinkUtf8* sink) {
    return ReadAttributes(sink, [&](const char* name, std::size_t nameLength, const char* value,
                                    std::size_t valueLength) {
        sink->OnAttribute(name, nameLength, value, valueLength);
    });
}

HRESULT NodeList::reset() {
    m_next = 0;
    return S_OK;
}

AttributeMap::AttributeMap(Node* element) : m_element(element) {}

AttributeMap::~AttributeMap() = default;

HRESULT AttributeMap::QueryInterface(REFIID iid, void** object) {
    return Answer(iid, object, {&IID_IUnknown, &IID_IXMLDOMNamedNodeMap});
}

HRESULT AttributeMap::getQualifiedItem(BSTR baseName, BSTR namespaceURI, IXMLDOMNode** item) {
    if (!item)
        return E_POINTER;
    *item = nullptr;
    if (SysStringLen(namespaceURI) != 0)
        return E_INVALIDARG;
    return component::Guarded([&] {
        const std::string name = Utf8FromBstr(baseName);
        if (!m_element->FindAttribute(name, nullptr))
            return S_FALSE;
        return Attribute::OfElement(m_element, name, item);
    });
}

HRESULT AttributeMap::setNamedItem(IXMLDOMNode* item, IXMLDOMNode** named) {
    if (named)
        *named = nullptr;
    Attribute* attribute = Attribute::Of(item);
    if (!attribute)
        return E_INVALIDARG;
    const HRESULT hr = component::Guarded([&] { return attribute->AttachTo(m_element); });
    if (SUCCEEDED(hr) && named)
        component::Hand(item, named);
    return hr;
}

HRESULT AttributeMap::get_length(long* length) {
    if (!length)
        return E_POINTER;
    *length = static_cast<long>(m_element->AttributeCount());
    return S_OK;
}

HRESULT AttributeMap::nextNode(IXMLDOMNode** item) {
    if (!item)
        return E_POINTER;
    *item = nullptr;
    return component::Guarded([&] {
        if (m_element->Live()) {
            // Attributes are never removed: while the tree stands, the one
            // after the last handed out is the one at m_next.
            const unsigned generation = m_element->document()->Generation();
            const pugi::xml_attribute attribute = m_last && m_lastGeneration == generation
                                                      ? m_last.next_attribute()
                                                      : m_element->LiveAttribute(m_next);
            if (!attribute)
                return S_FALSE;
            ++m_next;
            m_last = attribute;
            m_lastGeneration = generation;
            return Attribute::OfElement(m_element, attribute, item);
        }
        std::string name;
        if (!m_element->AttributeName(m_next, name))
            return S_FALSE;
        ++m_next;
        return Attribute::OfElement(m_element, name, item);
    });
}

HRESULT AttributeMap::reset() {
    m_next = 0;
    m_last = pugi::xml_attribute();
    return S_OK;
}

}  // namespace xmldom
}  // namespace kv
