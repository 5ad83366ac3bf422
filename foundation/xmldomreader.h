// Optional interfaces of the project's own document component that read much
// of a document in one call. Each gives exactly what the standard methods
// give, which is how a document without it (the platform's own, on Windows)
// is read: the library asks for the interface and, where it is missing, walks
// the nodes itself. They only read; every rule about what is read is the
// library's.
//
// IKvAttributeTextReader: an optional interface of a node list from the
// project's own document component, which reads the attributes of all the
// list's nodes in one call instead of three calls and three allocations per
// attribute (nextNode, get_nodeName, get_nodeValue). A data file's listing
// reads thousands of elements so. IKvAttributeTextReaderUtf8 reads the same
// as UTF-8.
//
// IKvDocumentWriter: an optional interface of a document, which writes what
// save writes into a file the library made and holds, in place.
//
// IKvTreeReader: an optional interface of a document, which reads every node
// of it in one call, for the library's check of what a loaded document holds
// (xml/xmlrules.h). IKvTreeReaderUtf8 reads the same as UTF-8, the text the
// project's component holds, without converting it.
#pragma once

#include <cstddef>

#include "win32/msxml.h"

// Receives what the reader reads. Texts are valid during the call only.
struct IKvAttributeTextSink {
    // A node, whose attributes follow.
    virtual void OnNode() = 0;
    // One attribute of the last node: its name (get_nodeName) and the text of
    // its value (get_nodeValue).
    virtual void OnAttribute(const OLECHAR* name, UINT nameLength, const OLECHAR* value,
                             UINT valueLength) = 0;

protected:
    ~IKvAttributeTextSink() = default;
};

struct IKvAttributeTextReader : IUnknown {
    // Reads every node from the list's position to its end, in order, and
    // leaves the list at its end: what nextNode gives, each node followed by
    // the attributes its collection gives (none for a node that has no
    // collection). Fails as nextNode does (E_UNEXPECTED once the document has
    // loaded again), then reading nothing.
    virtual HRESULT STDMETHODCALLTYPE ReadAttributeTexts(IKvAttributeTextSink* sink) = 0;

protected:
    ~IKvAttributeTextReader() = default;
};

constexpr IID IID_IKvAttributeTextReader = {
    0x5C1E7A10, 0x3B2D, 0x4F6E, {0x9A, 0x41, 0x7D, 0x20, 0x6B, 0x93, 0xE1, 0x10}};

// Receives what IKvAttributeTextReaderUtf8 reads: what IKvAttributeTextSink
// receives, each text as UTF-8 instead of UTF-16. Texts are valid during the
// call only.
struct IKvAttributeTextSinkUtf8 {
    virtual void OnNode() = 0;
    virtual void OnAttribute(const char* name, std::size_t nameLength, const char* value,
                             std::size_t valueLength) = 0;

protected:
    ~IKvAttributeTextSinkUtf8() = default;
};

// IKvAttributeTextReaderUtf8: an optional interface of a node list from the
// project's own component that holds its text as UTF-8: ReadAttributeTexts'
// nodes and attributes, in the same order, without a conversion per text.
// The text is valid UTF-8 (what the component holds is read strictly or
// converted from UTF-16, a lone surrogate becoming U+FFFD), so converting it
// to UTF-16 gives what ReadAttributeTexts gives.
struct IKvAttributeTextReaderUtf8 : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ReadAttributeTextsUtf8(IKvAttributeTextSinkUtf8* sink) = 0;

protected:
    ~IKvAttributeTextReaderUtf8() = default;
};

constexpr IID IID_IKvAttributeTextReaderUtf8 = {
    0x5C1E7A10, 0x3B2D, 0x4F6E, {0x9A, 0x41, 0x7D, 0x20, 0x6B, 0x93, 0xE1, 0x15}};

// Receives what IKvTreeReader reads. Texts are valid during the call only.
struct IKvTreeSink {
    // A node: its type (get_nodeType), its depth (1 for the document's
    // children), its name (get_nodeName) and the text of its value
    // (get_nodeValue; empty for a node without one, such as an element).
    // False stops the reading.
    virtual bool OnNode(DOMNodeType type, UINT depth, const OLECHAR* name, UINT nameLength,
                        const OLECHAR* value, UINT valueLength) = 0;
    // One attribute of the last node, as its collection gives it. False stops
    // the reading.
    virtual bool OnAttribute(const OLECHAR* name, UINT nameLength, const OLECHAR* value,
                             UINT valueLength) = 0;

protected:
    ~IKvTreeSink() = default;
};

// IKvTreeReader: an optional interface of a document from the project's own
// component, which reads every node of the document in one call instead of
// several calls and allocations per node and attribute.
struct IKvTreeReader : IUnknown {
    // Reads the document's nodes depth first, in document order: what
    // get_firstChild and get_nextSibling give from the document down, each
    // node followed by the attributes its collection gives (none for a node
    // that has no collection), and then by its children. S_OK once all are
    // read, S_FALSE when the sink stopped it.
    virtual HRESULT STDMETHODCALLTYPE ReadTree(IKvTreeSink* sink) = 0;

protected:
    ~IKvTreeReader() = default;
};

constexpr IID IID_IKvTreeReader = {
    0x5C1E7A10, 0x3B2D, 0x4F6E, {0x9A, 0x41, 0x7D, 0x20, 0x6B, 0x93, 0xE1, 0x11}};

// Receives what IKvTreeReaderUtf8 reads: what IKvTreeSink receives, each text
// as UTF-8 instead of UTF-16. Texts are valid during the call only.
struct IKvTreeSinkUtf8 {
    virtual bool OnNode(DOMNodeType type, UINT depth, const char* name, std::size_t nameLength,
                        const char* value, std::size_t valueLength) = 0;
    virtual bool OnAttribute(const char* name, std::size_t nameLength, const char* value,
                             std::size_t valueLength) = 0;

protected:
    ~IKvTreeSinkUtf8() = default;
};

// IKvTreeReaderUtf8: an optional interface of a document from the project's
// own component that holds its text as UTF-8: ReadTree's nodes, in the same
// order and with the same depths, names and values, without a conversion per
// text.
struct IKvTreeReaderUtf8 : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ReadTreeUtf8(IKvTreeSinkUtf8* sink) = 0;

protected:
    ~IKvTreeReaderUtf8() = default;
};

constexpr IID IID_IKvTreeReaderUtf8 = {
    0x5C1E7A10, 0x3B2D, 0x4F6E, {0x9A, 0x41, 0x7D, 0x20, 0x6B, 0x93, 0xE1, 0x12}};

// IKvDocumentWriter: an optional interface of a document from the project's
// own component. WriteInto writes exactly what save would write into the
// existing file `path`, replacing its content in place: no file of its own
// beside it, nothing flushed, nothing renamed. For a caller that makes the
// replacement crash-safe itself (the library's kv::FileReplacement, whose
// temporary file it is, held meanwhile: it is opened sharing reading, writing
// and deletion). Fails as save fails (E_INVALIDARG for a tree that cannot be
// saved, the file left as it was), or with the system's error.
struct IKvDocumentWriter : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE WriteInto(BSTR path) = 0;

protected:
    ~IKvDocumentWriter() = default;
};

constexpr IID IID_IKvDocumentWriter = {
    0x5C1E7A10, 0x3B2D, 0x4F6E, {0x9A, 0x41, 0x7D, 0x20, 0x6B, 0x93, 0xE1, 0x13}};

// IKvLoadedUnderRules: an optional interface of a document from the project's
// own component, which says that its last load applied the library's rules
// for a loaded document (xmlutils::IsAcceptableDocument) in the version it
// gives: its strict reading refuses every file whose tree those rules refuse
// (a test and a fuzz target compare the two on the same bytes). The library
// then need not walk the tree itself after that load. The version changes
// whenever those rules change, so that a component built against other rules
// is walked as any DOM is.
constexpr UINT kKvLoadRulesVersion = 1;

struct IKvLoadedUnderRules : IUnknown {
    // S_OK and the version of the rules when the last load succeeded by them;
    // S_FALSE (and 0) when nothing was loaded, or the last load failed.
    virtual HRESULT STDMETHODCALLTYPE GetLoadRulesVersion(UINT* version) = 0;

protected:
    ~IKvLoadedUnderRules() = default;
};

constexpr IID IID_IKvLoadedUnderRules = {
    0x5C1E7A10, 0x3B2D, 0x4F6E, {0x9A, 0x41, 0x7D, 0x20, 0x6B, 0x93, 0xE1, 0x14}};
