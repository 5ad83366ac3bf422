// The XML document object model: the system's interfaces (msxml2.h).
//
// The project's own document component implements the subset of them that the
// library uses (the methods the POSIX declarations list). The system's
// interfaces are automation interfaces with many more methods; a component
// class implements DomInterface<I> instead of I, which answers IDispatch and
// every method outside that subset with E_NOTIMPL (out-parameters emptied),
// and leaves the subset to the class.
#pragma once

#include "win32/types.h"
#include <msxml2.h>

namespace kv {
namespace platform {

// A method the component does not implement: E_NOTIMPL, its out-parameter
// (if any) emptied: a null pointer, an empty variant, zero or false.
inline HRESULT NotImplemented() {
    return E_NOTIMPL;
}
template <class Out>
HRESULT NotImplemented(Out* out) {
    if (out)
        *out = Out();
    return E_NOTIMPL;
}

// IDispatch without a type library: no type information, no names, no calls.
template <class I>
class DispatchStubs : public I {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return NotImplemented(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        return NotImplemented(info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return NotImplemented();
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                     EXCEPINFO*, UINT*) override {
        return NotImplemented(result);
    }
};

// IXMLDOMNode's methods beyond the component's subset.
template <class I>
class NodeStubs : public DispatchStubs<I> {
public:
    HRESULT STDMETHODCALLTYPE get_parentNode(IXMLDOMNode** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE get_childNodes(IXMLDOMNodeList** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE get_lastChild(IXMLDOMNode** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE get_previousSibling(IXMLDOMNode** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE insertBefore(IXMLDOMNode*, VARIANT, IXMLDOMNode** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE replaceChild(IXMLDOMNode*, IXMLDOMNode*, IXMLDOMNode** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE removeChild(IXMLDOMNode*, IXMLDOMNode** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE hasChildNodes(VARIANT_BOOL* out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE get_ownerDocument(IXMLDOMDocument** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE cloneNode(VARIANT_BOOL, IXMLDOMNode** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE get_nodeTypeString(BSTR* out) override { return NotImplemented(out); }
    HRESULT STDMETHODCALLTYPE get_text(BSTR* out) override { return NotImplemented(out); }
    HRESULT STDMETHODCALLTYPE put_text(BSTR) override { return NotImplemented(); }
    HRESULT STDMETHODCALLTYPE get_specified(VARIANT_BOOL* out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE get_definition(IXMLDOMNode** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE get_nodeTypedValue(VARIANT* out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE put_nodeTypedValue(VARIANT) override { return NotImplemented(); }
    HRESULT STDMETHODCALLTYPE get_dataType(VARIANT* out) override { return NotImplemented(out); }
    HRESULT STDMETHODCALLTYPE put_dataType(BSTR) override { return NotImplemented(); }
    HRESULT STDMETHODCALLTYPE get_xml(BSTR* out) override { return NotImplemented(out); }
    HRESULT STDMETHODCALLTYPE transformNode(IXMLDOMNode*, BSTR* out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE get_parsed(VARIANT_BOOL* out) override { return NotImplemented(out); }
    HRESULT STDMETHODCALLTYPE get_namespaceURI(BSTR* out) override { return NotImplemented(out); }
    HRESULT STDMETHODCALLTYPE get_prefix(BSTR* out) override { return NotImplemented(out); }
    HRESULT STDMETHODCALLTYPE get_baseName(BSTR* out) override { return NotImplemented(out); }
    HRESULT STDMETHODCALLTYPE transformNodeToObject(IXMLDOMNode*, VARIANT) override {
        return NotImplemented();
    }
};

// The class a component implements for the DOM interface I.
template <class I>
class DomInterface;

template <>
class DomInterface<IXMLDOMElement> : public NodeStubs<IXMLDOMElement> {
public:
    HRESULT STDMETHODCALLTYPE get_tagName(BSTR* out) override { return NotImplemented(out); }
    HRESULT STDMETHODCALLTYPE getAttribute(BSTR, VARIANT* out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE setAttribute(BSTR, VARIANT) override { return NotImplemented(); }
    HRESULT STDMETHODCALLTYPE removeAttribute(BSTR) override { return NotImplemented(); }
    HRESULT STDMETHODCALLTYPE getAttributeNode(BSTR, IXMLDOMAttribute** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE setAttributeNode(IXMLDOMAttribute*, IXMLDOMAttribute** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE removeAttributeNode(IXMLDOMAttribute*,
                                                  IXMLDOMAttribute** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE getElementsByTagName(BSTR, IXMLDOMNodeList** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE normalize() override { return NotImplemented(); }
};

template <>
class DomInterface<IXMLDOMAttribute> : public NodeStubs<IXMLDOMAttribute> {
public:
    HRESULT STDMETHODCALLTYPE get_name(BSTR* out) override { return NotImplemented(out); }
    HRESULT STDMETHODCALLTYPE get_value(VARIANT* out) override { return NotImplemented(out); }
    HRESULT STDMETHODCALLTYPE put_value(VARIANT) override { return NotImplemented(); }
};

template <>
class DomInterface<IXMLDOMDocument2> : public NodeStubs<IXMLDOMDocument2> {
public:
    // IXMLDOMDocument
    HRESULT STDMETHODCALLTYPE get_doctype(IXMLDOMDocumentType** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE get_implementation(IXMLDOMImplementation** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE putref_documentElement(IXMLDOMElement*) override {
        return NotImplemented();
    }
    HRESULT STDMETHODCALLTYPE createDocumentFragment(IXMLDOMDocumentFragment** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE createTextNode(BSTR, IXMLDOMText** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE createComment(BSTR, IXMLDOMComment** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE createCDATASection(BSTR, IXMLDOMCDATASection** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE
    createProcessingInstruction(BSTR, BSTR, IXMLDOMProcessingInstruction** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE createAttribute(BSTR, IXMLDOMAttribute** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE createEntityReference(BSTR, IXMLDOMEntityReference** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE getElementsByTagName(BSTR, IXMLDOMNodeList** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE nodeFromID(BSTR, IXMLDOMNode** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE get_readyState(long* out) override { return NotImplemented(out); }
    HRESULT STDMETHODCALLTYPE get_parseError(IXMLDOMParseError** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE get_url(BSTR* out) override { return NotImplemented(out); }
    HRESULT STDMETHODCALLTYPE get_async(VARIANT_BOOL* out) override { return NotImplemented(out); }
    HRESULT STDMETHODCALLTYPE put_async(VARIANT_BOOL) override { return NotImplemented(); }
    HRESULT STDMETHODCALLTYPE abort() override { return NotImplemented(); }
    HRESULT STDMETHODCALLTYPE loadXML(BSTR, VARIANT_BOOL* out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE get_validateOnParse(VARIANT_BOOL* out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE put_validateOnParse(VARIANT_BOOL) override {
        return NotImplemented();
    }
    HRESULT STDMETHODCALLTYPE get_resolveExternals(VARIANT_BOOL* out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE put_resolveExternals(VARIANT_BOOL) override {
        return NotImplemented();
    }
    HRESULT STDMETHODCALLTYPE get_preserveWhiteSpace(VARIANT_BOOL* out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE put_preserveWhiteSpace(VARIANT_BOOL) override {
        return NotImplemented();
    }
    HRESULT STDMETHODCALLTYPE put_onreadystatechange(VARIANT) override { return NotImplemented(); }
    HRESULT STDMETHODCALLTYPE put_ondataavailable(VARIANT) override { return NotImplemented(); }
    HRESULT STDMETHODCALLTYPE put_ontransformnode(VARIANT) override { return NotImplemented(); }
    // IXMLDOMDocument2
    HRESULT STDMETHODCALLTYPE get_namespaces(IXMLDOMSchemaCollection** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE get_schemas(VARIANT* out) override { return NotImplemented(out); }
    HRESULT STDMETHODCALLTYPE putref_schemas(VARIANT) override { return NotImplemented(); }
    HRESULT STDMETHODCALLTYPE validate(IXMLDOMParseError** out) override {
        return NotImplemented(out);
    }
};

template <>
class DomInterface<IXMLDOMNodeList> : public DispatchStubs<IXMLDOMNodeList> {
public:
    HRESULT STDMETHODCALLTYPE get_item(long, IXMLDOMNode** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE get__newEnum(IUnknown** out) override { return NotImplemented(out); }
};

template <>
class DomInterface<IXMLDOMNamedNodeMap> : public DispatchStubs<IXMLDOMNamedNodeMap> {
public:
    HRESULT STDMETHODCALLTYPE getNamedItem(BSTR, IXMLDOMNode** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE removeNamedItem(BSTR, IXMLDOMNode** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE get_item(long, IXMLDOMNode** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE removeQualifiedItem(BSTR, BSTR, IXMLDOMNode** out) override {
        return NotImplemented(out);
    }
    HRESULT STDMETHODCALLTYPE get__newEnum(IUnknown** out) override { return NotImplemented(out); }
};

}  // namespace platform
}  // namespace kv
