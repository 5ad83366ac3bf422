// The tree pugixml parses from well-formed text, made into the document the
// DOM shows, and what a tree must hold to be saved.
#pragma once

#include <string>

#include <pugixml.hpp>

#include "win32/msxml.h"

namespace kv {
namespace xmldom {

// The parse options of every load, of text that IsWellFormed accepted and
// whose line ends are normalised. References are left to ResolveReferences:
// pugixml keeps one it does not know as text, which would save back as
// different text ("&x;" as "&amp;x;").
constexpr unsigned kParseOptions = (pugi::parse_default & ~pugi::parse_escapes & ~pugi::parse_eol) |
                                   pugi::parse_comments | pugi::parse_pi | pugi::parse_declaration;

// The DOM's kind of a tree node; the declaration counts as a processing
// instruction, as in the DOM.
DOMNodeType NodeType(const pugi::xml_node& node);

// Resolves the references of every text and attribute value in place (their
// text is longer than what they stand for), then drops the text nodes that
// are white space only: pugixml drops those it reads as such, and a text is
// judged once its references are resolved, so "&#32;" between two elements is
// no node either. False when an "&" begins no reference this component
// resolves; the tree is then unusable.
bool ResolveReferences(pugi::xml_document& document);

// Parses decoded UTF-8 text (DecodeDocument) into `tree` as every load of this
// component does: line ends normalised, the text checked by IsWellFormed,
// parsed in place with kParseOptions, references resolved. The tree's texts
// point into `text`, which must outlive it. False, the tree unusable, when a
// step fails.
bool ParseDocument(std::string& text, pugi::xml_document& tree);

// Whether the tree can be written as text that reads back as the same nodes
// and values: every name and value holds only characters that XML 1.0 can
// carry (no control character other than tab, line feed and carriage return,
// neither U+FFFE nor U+FFFF), and what has no references holds nothing its
// markup cannot: no carriage return (it would read back as a line feed), no
// "--" in a comment nor "-" at its end, no "?>" in a processing instruction
// nor white space at its start, no "]]>" in a CDATA section. Text and
// attribute values can carry anything else, by reference where needed.
bool CanBeSaved(const pugi::xml_document& document);

}  // namespace xmldom
}  // namespace kv
