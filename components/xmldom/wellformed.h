// What a strict parser refuses but pugixml accepts: checked on the parsed tree,
// which is also where references are resolved.
#pragma once

#include <pugixml.hpp>

namespace kv {
namespace xmldom {

// The parse options of every load. Fragment parsing keeps text that stands
// outside the document element as nodes, so that AcceptDocument can see it.
// References are left to AcceptDocument: pugixml keeps one it does not know as
// text, which would save back as different text ("&x;" as "&amp;x;").
constexpr unsigned kParseOptions = (pugi::parse_default & ~pugi::parse_escapes) |
                                   pugi::parse_comments | pugi::parse_pi | pugi::parse_declaration |
                                   pugi::parse_doctype | pugi::parse_fragment;

// Elements nest at most this deep; deeper documents are refused, as common
// strict parsers do by default. Repository files are a few levels deep, and a
// caller that walks a tree recursively stays within its stack.
constexpr unsigned kMaxElementDepth = 256;

// Whether a tree parsed with kParseOptions is a document this component takes:
// well formed (exactly one element at the top, no text or CDATA outside it, the
// declaration, if any, first, no element with the same attribute twice, every
// "&" in text and attribute values a character reference to an XML character
// or one of the five predefined entities), no deeper than kMaxElementDepth, and
// without a document type declaration. Those are refused outright, as parsers
// that prohibit them do: the component neither reads DTDs nor expands or
// fetches entities, so a document that declares any would read differently
// here than where they are processed. The references are resolved in place
// (their text is longer than what they stand for); the tree is unusable when
// the result is false.
bool AcceptDocument(pugi::xml_document& document);

// Whether every name and text of the tree holds only characters that XML 1.0
// can carry: no control character other than tab, line feed and carriage
// return (not even as a character reference, which a strict parser refuses
// too) and neither U+FFFE nor U+FFFF. Texts are UTF-8, as pugixml keeps them.
bool HoldsOnlyXmlChars(const pugi::xml_document& document);

}  // namespace xmldom
}  // namespace kv
