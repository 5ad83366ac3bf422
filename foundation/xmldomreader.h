// IKvAttributeTextReader: an optional interface of a node list from the
// project's own document component, which reads the attributes of all the
// list's nodes in one call instead of three calls and three allocations per
// attribute (nextNode, get_nodeName, get_nodeValue). A data file's listing
// reads thousands of elements so.
//
// It gives exactly what the standard methods give, which is how a document
// without it (the platform's own, on Windows) is read: XMLIntercessor asks the
// list for it and, when the list does not have it, walks the nodes and their
// attribute collections.
#pragma once

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
