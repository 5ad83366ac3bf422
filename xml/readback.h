// Reading back a save that a DOM other than the project's wrote: the library
// does not take such a save on trust, since a DOM may write bytes that no
// strict reader takes (UTF-8 under a UTF-16 declaration) or that read back
// as other values.
#pragma once

#include "foundation/stringx.h"
#include "win32/msxml.h"

namespace xmlutils {

// Whether the file `saved` holds what `document` holds, read by the project's
// own strict reading (the XML component's decoding and grammar, built into
// the library, whichever DOM is loaded):
//  - its bytes are in the encoding of the file `original` (a byte-order mark
//    may come or go), that encoding being one the reading knows;
//  - they decode and parse by the XML 1.0 grammar, with the five predefined
//    entities and character references only, and no document type
//    declaration;
//  - they give the document's nodes in order: elements of the same names at
//    the same depths, with the same attributes and values in the same order;
//    the same texts, CDATA sections, comments and processing instructions.
//    The XML declaration is not compared (its encoding is checked above),
//    nor text that is white space only, nor where a text is split.
// S_OK when it holds, E_FAIL when it does not; the system's error when a file
// cannot be read; the DOM's failure when it fails to answer.
KV_API HRESULT CheckSavedDocument(IXMLDOMDocument* document, const _stringx& saved,
                                  const _stringx& original);

}  // namespace xmlutils
