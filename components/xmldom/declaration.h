// The XML declaration that may open a document: read strictly by its grammar,
// both to choose how the file's bytes are decoded and to check the document.
#pragma once

#include <cstddef>
#include <string>

namespace kv {
namespace xmldom {

// The pseudo-attribute values of a declaration; empty when absent.
struct Declaration {
    std::string version, encoding, standalone;
};

// Whether the text opens with an XML declaration: "<?xml", then white space
// or "?>". ("<?xml-stylesheet" opens a processing instruction instead.)
bool OpensWithDeclaration(const char* text, std::size_t length);

// Reads the declaration that the text at `p` opens with, up to `end`, and
// moves `p` past it: version ("1." and digits), then optionally encoding (a
// letter, then letters, digits, ".", "_" and "-"), then optionally standalone
// ("yes" or "no"), each once and in that order, with white space before
// each, around "=" and before "?>". False when the text breaks that grammar.
bool ReadDeclaration(const char*& p, const char* end, Declaration& declaration);

// The encoding the declaration that opens 8-bit text names; empty when there
// is no well-formed declaration or it names none.
std::string DeclaredEncoding(const std::string& text);

}  // namespace xmldom
}  // namespace kv
