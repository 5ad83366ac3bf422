// What the library lets into a data file and takes from one, whichever DOM
// holds the document. The library checks these itself, on the text it hands
// to the DOM and on the tree the DOM loaded, so that no rule rests on one
// parser's strictness or one serialiser's care.
#pragma once

#include <cstddef>

#include "foundation/platform/types.h"
#include "foundation/platform/xmlchars.h"
#include "win32/msxml.h"
#include "foundation/xmldomreader.h"

namespace xmlutils {

// Hands every node of the document, with its attributes, to `sink`, depth
// first in document order (see IKvTreeReader): in one call where the document
// offers IKvTreeReader, otherwise, and always with `byNode`, by walking the
// nodes through the standard DOM methods. S_OK once all are read, S_FALSE
// when the sink stopped, or the failure of a DOM call.
KV_API HRESULT ReadDocumentTree(IXMLDOMDocument* document, IKvTreeSink* sink, bool byNode = false);

// Whether a loaded document holds only what the library takes, found by
// reading its nodes (ReadDocumentTree), not by trusting its parser: elements nested at most
// kMaxElementDepth deep, with attributes, text, CDATA sections, comments and processing
// instructions (the XML declaration is one); no document type declaration, and none of the entity
// and notation nodes that only come with one. Every name is an XML Name and
// every value XML text, and each value fits its markup (no "--" in a comment
// nor "-" at its end, no "?>" in a processing instruction, no "]]>" in a CDATA
// section), so that the document can be saved as XML that reads back the
// same. False also when the DOM fails to answer.
//
// The texts are read as the document holds them where it can tell
// (IKvTreeReaderUtf8: UTF-8, unconverted), otherwise as the standard methods
// give them; `read` asks for another way, so that tests can show all three
// judge alike.
enum class TreeText { kAsHeld, kUtf16, kByNode };
KV_API bool IsAcceptableDocument(IXMLDOMDocument* document, TreeText read = TreeText::kAsHeld);

// Whether the document's component says that its last load applied the rules
// above in the version this library was built with (IKvLoadedUnderRules), so
// that IsAcceptableDocument would find nothing the load did not refuse. False
// for any other DOM, and for a component of other rules.
KV_API bool IsLoadedUnderRules(IXMLDOMDocument* document);

}  // namespace xmlutils
