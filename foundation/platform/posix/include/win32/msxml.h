// The XML document object model the library works with: the platform's DOM
// interfaces, under their own names and with their own method names and
// parameter order, for the operations the library uses. On POSIX the document
// class is provided by the component module "msxml4.dll" built with the
// project; on Windows the same code compiles against the system's declarations.
//
// Conventions, as on the platform: results are HRESULTs; out-parameters receive
// a counted reference (or a BSTR the caller frees); S_FALSE with a null result
// means "none" (no more nodes, no such attribute, no attribute collection).
#pragma once

#include "win32/com.h"
#include "foundation/platform/variant.h"

enum DOMNodeType {
    NODE_INVALID = 0,
    NODE_ELEMENT = 1,
    NODE_ATTRIBUTE = 2,
    NODE_TEXT = 3,
    NODE_CDATA_SECTION = 4,
    NODE_PROCESSING_INSTRUCTION = 7,
    NODE_COMMENT = 8,
    NODE_DOCUMENT = 9,
    NODE_DOCUMENT_TYPE = 10,
};

struct IXMLDOMNodeList;
struct IXMLDOMNamedNodeMap;

struct IXMLDOMNode : IUnknown {
    // "#document", "#text", "#cdata-section", "#comment" for those kinds;
    // the qualified name of an element or attribute; a PI's target.
    virtual HRESULT STDMETHODCALLTYPE get_nodeName(BSTR* name) = 0;
    // Text of attributes, text, CDATA, comments and PIs; VT_NULL for elements
    // and the document.
    virtual HRESULT STDMETHODCALLTYPE get_nodeValue(VARIANT* value) = 0;
    // Sets the text from the variant's text form; E_FAIL for elements and the
    // document.
    virtual HRESULT STDMETHODCALLTYPE put_nodeValue(VARIANT value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType* type) = 0;
    // The attribute collection of an element; S_FALSE and null for other kinds.
    virtual HRESULT STDMETHODCALLTYPE get_attributes(IXMLDOMNamedNodeMap** attributes) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_firstChild(IXMLDOMNode** child) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_nextSibling(IXMLDOMNode** sibling) = 0;
    // Appends `child` (a new, not yet placed element) as the last child and
    // returns the placed node. A document accepts only one element.
    virtual HRESULT STDMETHODCALLTYPE appendChild(IXMLDOMNode* child, IXMLDOMNode** placed) = 0;
    // XPath 1.0 with this node as the context; matches in document order. A
    // malformed expression fails (E_FAIL) and gives no list; so does a prefix
    // that the document's "SelectionNamespaces" do not bind.
    virtual HRESULT STDMETHODCALLTYPE selectNodes(BSTR expression, IXMLDOMNodeList** list) = 0;
    virtual HRESULT STDMETHODCALLTYPE selectSingleNode(BSTR expression, IXMLDOMNode** node) = 0;
    // Removes `child`, a child of this node, with everything below it, and
    // returns it. E_INVALIDARG for a node that is not a child of this one.
    virtual HRESULT STDMETHODCALLTYPE removeChild(IXMLDOMNode* child, IXMLDOMNode** removed) = 0;

protected:
    ~IXMLDOMNode() = default;
};

struct IXMLDOMElement : IXMLDOMNode {
protected:
    ~IXMLDOMElement() = default;
};

struct IXMLDOMAttribute : IXMLDOMNode {
protected:
    ~IXMLDOMAttribute() = default;
};

struct IXMLDOMNodeList : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_length(long* length) = 0;
    // The next node, S_FALSE and null after the last.
    virtual HRESULT STDMETHODCALLTYPE nextNode(IXMLDOMNode** node) = 0;
    virtual HRESULT STDMETHODCALLTYPE reset() = 0;

protected:
    ~IXMLDOMNodeList() = default;
};

struct IXMLDOMNamedNodeMap : IUnknown {
    // The attribute of that name (no namespaces: the URI must be empty),
    // S_FALSE and null when there is none.
    virtual HRESULT STDMETHODCALLTYPE getQualifiedItem(BSTR baseName, BSTR namespaceURI,
                                                       IXMLDOMNode** item) = 0;
    // Adds a new attribute (from createNode), replacing one of the same name.
    virtual HRESULT STDMETHODCALLTYPE setNamedItem(IXMLDOMNode* item, IXMLDOMNode** named) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_length(long* length) = 0;
    // Attributes in document order; S_FALSE and null after the last.
    virtual HRESULT STDMETHODCALLTYPE nextNode(IXMLDOMNode** item) = 0;
    virtual HRESULT STDMETHODCALLTYPE reset() = 0;

protected:
    ~IXMLDOMNamedNodeMap() = default;
};

struct IXMLDOMDocument : IXMLDOMNode {
    // Loads a file (the variant's text is its path). S_OK and VARIANT_TRUE when
    // loaded; S_FALSE and VARIANT_FALSE when the file is missing or not well
    // formed (the document is then empty).
    virtual HRESULT STDMETHODCALLTYPE load(VARIANT source, VARIANT_BOOL* loaded) = 0;
    // Writes the whole document to a file (the variant's text is its path), in
    // the encoding it was loaded in, replacing the file in one step. A
    // document holding a character that XML 1.0 cannot carry (a control
    // character other than tab, line feed and carriage return; U+FFFE, U+FFFF),
    // or a comment, processing instruction or CDATA section whose markup
    // cannot carry its value (a carriage return, "--", "?>", "]]>"), for
    // example in a value set since it was loaded, is not saved: E_INVALIDARG,
    // and the file keeps what it held.
    virtual HRESULT STDMETHODCALLTYPE save(VARIANT destination) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_documentElement(IXMLDOMElement** element) = 0;
    // A new element, not yet placed in the tree.
    virtual HRESULT STDMETHODCALLTYPE createElement(BSTR tagName, IXMLDOMElement** element) = 0;
    // A new node of the given type (only NODE_ATTRIBUTE is supported), not yet
    // placed. The namespace URI must be empty.
    virtual HRESULT STDMETHODCALLTYPE createNode(VARIANT type, BSTR name, BSTR namespaceURI,
                                                 IXMLDOMNode** node) = 0;

protected:
    ~IXMLDOMDocument() = default;
};

struct IXMLDOMDocument2 : IXMLDOMDocument {
    // "SelectionLanguage" ("XPath") and "SelectionNamespaces" (namespace
    // declarations separated by white space; E_FAIL for anything else) are
    // accepted; other names fail with E_INVALIDARG.
    virtual HRESULT STDMETHODCALLTYPE setProperty(BSTR name, VARIANT value) = 0;
    virtual HRESULT STDMETHODCALLTYPE getProperty(BSTR name, VARIANT* value) = 0;

protected:
    ~IXMLDOMDocument2() = default;
};

constexpr IID IID_IXMLDOMNode = {
    0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID IID_IXMLDOMDocument = {
    0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID IID_IXMLDOMNodeList = {
    0x2933BF82, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID IID_IXMLDOMNamedNodeMap = {
    0x2933BF83, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID IID_IXMLDOMAttribute = {
    0x2933BF85, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID IID_IXMLDOMElement = {
    0x2933BF86, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID IID_IXMLDOMDocument2 = {
    0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

namespace kv {
namespace platform {

// The class a component implements for the DOM interface I: here I itself (on
// Windows, I with the system's methods beyond these answering E_NOTIMPL).
template <class I>
using DomInterface = I;

}  // namespace platform
}  // namespace kv

// The document classes: version 4.0 from "msxml4.dll", 3.0 from "msxml3.dll".
constexpr CLSID CLSID_DOMDocument40 = {
    0x88D969C0, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
constexpr CLSID CLSID_DOMDocument30 = {
    0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};
