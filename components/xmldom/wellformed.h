// What a strict parser refuses but pugixml accepts: checked on the parsed tree.
#pragma once

#include <pugixml.hpp>

namespace kv {
namespace xmldom {

// The parse options of every load. Fragment parsing keeps text that stands
// outside the document element as nodes, so that IsWellFormed can see it.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_comments | pugi::parse_pi |
                                   pugi::parse_declaration | pugi::parse_doctype |
                                   pugi::parse_fragment;

// Whether a tree parsed with kParseOptions is a well-formed document: exactly
// one element at the top, no text or CDATA outside it, the declaration (if
// any) first, at most one document type and that before the element, and no
// element with the same attribute twice.
bool IsWellFormed(const pugi::xml_document& document);

// Whether every name and text of the tree holds only characters that XML 1.0
// can carry: no control character other than tab, line feed and carriage
// return (not even as a character reference, which a strict parser refuses
// too) and neither U+FFFE nor U+FFFF. Texts are UTF-8, as pugixml keeps them.
bool HoldsOnlyXmlChars(const pugi::xml_document& document);

}  // namespace xmldom
}  // namespace kv
