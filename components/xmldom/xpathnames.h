// Prefixed names in XPath expressions. pugixml compares a name test with an
// element's or attribute's name as text; XPath 1.0 matches a prefixed name
// test by the namespace that the selection namespaces bind its prefix to, and
// an expression with a prefix that they do not bind is malformed.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kv {
namespace xmldom {

// Prefixes and the namespace names they are bound to.
using PrefixBindings = std::vector<std::pair<std::string, std::string>>;

// The bindings of a "SelectionNamespaces" value: declarations such as
// xmlns:p='urn:x', separated by white space (a default namespace declaration,
// xmlns='...', is allowed and binds nothing, as XPath 1.0 gives unprefixed
// names no namespace). False when the text is not such a list or binds a
// prefix to an empty name.
bool ReadPrefixBindings(const std::string& text, PrefixBindings& bindings);

// `expression` with each prefixed name test made a test of the local name and
// the namespace, which pugixml evaluates: "p:n" becomes
// "*[local-name()='n' and namespace-uri()='urn:x']" and "p:*" becomes
// "*[namespace-uri()='urn:x']". Names in literals, axis names and names of
// functions and variables are left as they are, and so is the prefix "xml",
// which is bound by definition. False when a name test has another prefix
// that `bindings` does not bind.
bool BindPrefixes(const std::string& expression, const PrefixBindings& bindings,
                  std::string& bound);

}  // namespace xmldom
}  // namespace kv
