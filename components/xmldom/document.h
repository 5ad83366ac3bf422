// The document object of "msxml4.dll": a pugixml tree loaded from and saved
// to files, with XPath selection and the creation of elements and attributes.
//
// A file is loaded in the encoding its bytes and declaration give, checked for
// what a strict parser refuses (and for what this component does not take: a
// document type declaration, nesting deeper than kMaxElementDepth; see
// IsWellFormed), and saved back in exactly the form it was loaded in
// (encoding, byte-order mark, declaration); a document that was never loaded
// saves as UTF-8 without a mark. What a save writes loads back as the same
// nodes and values (see CanBeSaved), except that text left white space only
// is no node (see ResolveReferences).
#pragma once

#include <string>

#include <pugixml.hpp>

#include "components/comobject.h"
#include "components/xmldom/encoding.h"
#include "components/xmldom/xpathnames.h"
#include "win32/msxml.h"
#include "foundation/platform/variant.h"
#include "foundation/xmldomreader.h"

namespace kv {
namespace xmldom {

class Document final : public component::ComObject<platform::DomInterface<IXMLDOMDocument2>> {
public:
    Document();

    // Counts the trees the document has held: wrappers of nodes from an
    // earlier tree know themselves stale.
    unsigned Generation() const { return m_generation; }
    // Makes every wrapper of the tree stale: after a removal, which frees
    // nodes that wrappers may still name.
    void TreeChanged() { ++m_generation; }
    // The node after `node` among its siblings as the DOM lists them: the
    // declaration, kept apart from the tree, comes before the tree's first
    // top-level node.
    pugi::xml_node NextSibling(const pugi::xml_node& node) const;
    // The prefixes that the "SelectionNamespaces" property binds.
    const PrefixBindings& Prefixes() const { return m_prefixes; }

    // Also answers IKvTreeReader, IKvTreeReaderUtf8, IKvDocumentWriter and
    // IKvLoadedUnderRules (foundation/xmldomreader.h) with companion objects,
    // whose work ReadTree, ReadTreeUtf8, WriteInto and Loaded do.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    // ReadTree converts what ReadTreeUtf8 reads.
    HRESULT ReadTree(IKvTreeSink* sink);
    HRESULT ReadTreeUtf8(IKvTreeSinkUtf8* sink);
    // IKvDocumentWriter's work: save's, written in place.
    HRESULT WriteInto(BSTR path);
    // Whether the last load succeeded: its strict reading refuses what the
    // library's rules for a loaded document refuse.
    bool Loaded() const { return m_loaded; }

    HRESULT STDMETHODCALLTYPE get_nodeName(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_nodeValue(VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE put_nodeValue(VARIANT value) override;
    HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType* type) override;
    HRESULT STDMETHODCALLTYPE get_attributes(IXMLDOMNamedNodeMap** attributes) override;
    HRESULT STDMETHODCALLTYPE get_firstChild(IXMLDOMNode** child) override;
    HRESULT STDMETHODCALLTYPE get_nextSibling(IXMLDOMNode** sibling) override;
    HRESULT STDMETHODCALLTYPE appendChild(IXMLDOMNode* child, IXMLDOMNode** placed) override;
    HRESULT STDMETHODCALLTYPE removeChild(IXMLDOMNode* child, IXMLDOMNode** removed) override;
    HRESULT STDMETHODCALLTYPE selectNodes(BSTR expression, IXMLDOMNodeList** list) override;
    HRESULT STDMETHODCALLTYPE selectSingleNode(BSTR expression, IXMLDOMNode** node) override;

    HRESULT STDMETHODCALLTYPE load(VARIANT source, VARIANT_BOOL* loaded) override;
    HRESULT STDMETHODCALLTYPE save(VARIANT destination) override;
    HRESULT STDMETHODCALLTYPE get_documentElement(IXMLDOMElement** element) override;
    HRESULT STDMETHODCALLTYPE createElement(BSTR tagName, IXMLDOMElement** element) override;
    // Also makes elements (NODE_ELEMENT); other node types are not supported
    // (E_NOTIMPL).
    HRESULT STDMETHODCALLTYPE createNode(VARIANT type, BSTR name, BSTR namespaceURI,
                                         IXMLDOMNode** node) override;

    // SelectionNamespaces takes white-space separated namespace declarations
    // (xmlns:p='urn:x'); anything else fails (E_FAIL) and changes nothing.
    HRESULT STDMETHODCALLTYPE setProperty(BSTR name, VARIANT value) override;
    HRESULT STDMETHODCALLTYPE getProperty(BSTR name, VARIANT* value) override;

private:
    ~Document() override;

    // Empties the tree (wrappers of the old one become stale).
    void Reset();
    // Reads, decodes, parses and checks a file; false (tree untouched or
    // partial) when any step fails.
    bool Read(const VARIANT& source);
    std::string Serialise() const;
    // save's work: the tree checked, serialised and encoded as loaded, then
    // written crash-safe to `destination` or, `inPlace`, into that file.
    HRESULT Write(const VARIANT& destination, bool inPlace);
    CComVariant* Property(BSTR name);

    // The loaded file's text, which the tree was parsed in (its texts point
    // into it): declared before the tree, so it outlives it.
    std::string m_text;
    pugi::xml_document m_tree;
    // The XML declaration of the loaded file, if it has one.
    pugi::xml_document m_declaration;
    unsigned m_generation = 0;
    bool m_loaded = false;
    FileForm m_form;
    CComVariant m_selectionLanguage;
    CComVariant m_selectionNamespaces;
    PrefixBindings m_prefixes;
};

}  // namespace xmldom
}  // namespace kv
