// Whether a document's text is well-formed XML 1.0, checked on the decoded
// text before pugixml parses it: pugixml is lenient by design and takes much
// that a strict parser refuses, and a document that loads here but nowhere
// else would be rewritten "repaired" by the next save.
#pragma once

#include <cstddef>
#include <string>

#include "foundation/platform/xmlchars.h"

namespace kv {
namespace xmldom {

using xmlutils::kMaxElementDepth;

// Turns every carriage return and line feed pair, and every other carriage
// return, into a line feed, as XML reads line ends before it parses anything.
void NormaliseLineEnds(std::string& text);

// Whether UTF-8 text with normalised line ends is a document this component
// takes: UTF-8 of XML characters only; the XML declaration, if any, first and
// exactly as the grammar has it (version "1." and digits, then optionally
// encoding, then standalone "yes" or "no", in that order, each once); one
// element with comments, processing instructions and white space around it;
// names made of name characters; no "--" inside comments, no processing
// instruction with a target "xml" in any letter case, no "]]>" in text, no "<"
// in attribute values, no attribute twice on an element, end tags that match;
// every "&" a character reference to an XML character or one of the five
// predefined entities; elements no deeper than kMaxElementDepth. A document
// type declaration is refused outright, as parsers that prohibit it do: the
// component neither reads DTDs nor expands or fetches entities, so a document
// that declares any would read differently here than where they are
// processed. A version 1.x other than 1.0 is read by the rules of 1.0, as
// XML 1.0 processors do.
bool IsWellFormed(const char* text, std::size_t length);

}  // namespace xmldom
}  // namespace kv
