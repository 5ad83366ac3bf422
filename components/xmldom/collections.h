// The collections of the document component: the node list that selection
// returns, and the attribute map of an element.
#pragma once

#include <vector>

#include <pugixml.hpp>

#include "components/comobject.h"
#include "win32/msxml.h"
#include "foundation/xmldomreader.h"
#include "foundation/platform/comptr.h"

namespace kv {
namespace xmldom {

class Document;
class Node;

// Selected nodes in document order, walked with nextNode. The list holds the
// document; once the document loads again, nextNode answers E_UNEXPECTED.
class NodeList final : public component::ComObject<platform::DomInterface<IXMLDOMNodeList>> {
public:
    NodeList(Document* document, const pugi::xpath_node_set& nodes);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE get_length(long* length) override;
    HRESULT STDMETHODCALLTYPE nextNode(IXMLDOMNode** node) override;
    HRESULT STDMETHODCALLTYPE reset() override;

    // The work of IKvAttributeTextReader and IKvAttributeTextReaderUtf8
    // (foundation/xmldomreader.h), which QueryInterface answers with
    // companion objects of this list.
    HRESULT ReadAttributeTexts(IKvAttributeTextSink* sink);
    HRESULT ReadAttributeTextsUtf8(IKvAttributeTextSinkUtf8* sink);

private:
    ~NodeList() override;

    // Reads the nodes from the list's position to its end into `sink`: its
    // OnNode for each, then `read(name, nameLength, value, valueLength)` for
    // each attribute of an element, in the tree's UTF-8.
    template <class Sink, class Read>
    HRESULT ReadAttributes(Sink* sink, Read read);

    CComPtr<Document> m_document;
    unsigned m_generation;
    std::vector<pugi::xpath_node> m_nodes;
    std::size_t m_next = 0;
};

// The attributes of one element (placed or not), in document order.
class AttributeMap final
    : public component::ComObject<platform::DomInterface<IXMLDOMNamedNodeMap>> {
public:
    explicit AttributeMap(Node* element);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE getQualifiedItem(BSTR baseName, BSTR namespaceURI,
                                               IXMLDOMNode** item) override;
    HRESULT STDMETHODCALLTYPE setNamedItem(IXMLDOMNode* item, IXMLDOMNode** named) override;
    HRESULT STDMETHODCALLTYPE get_length(long* length) override;
    HRESULT STDMETHODCALLTYPE nextNode(IXMLDOMNode** item) override;
    HRESULT STDMETHODCALLTYPE reset() override;

private:
    ~AttributeMap() override;

    CComPtr<Node> m_element;
    std::size_t m_next = 0;
    // The attribute handed out last by nextNode (the one before m_next) and
    // the tree it belongs to, to go on from without walking from the first.
    pugi::xml_attribute m_last;
    unsigned m_lastGeneration = 0;
};

}  // namespace xmldom
}  // namespace kv
