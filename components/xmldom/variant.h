// Which build of the document component this is. The test variant, built with
// KVREPO_NAIVE_DOM_TESTS (KV_XMLDOM_NAIVE), stands for a DOM that the project
// did not write: it parses with pugixml's own lenient rules (references it
// does not know kept as text, a document type declaration kept as a node),
// refuses no name or value, writes a save straight into the file, and offers
// none of the project's optional interfaces. The library's reliability tests
// run against it too, to show that no promise of the library rests on this
// component.
#pragma once

namespace kv {
namespace xmldom {

#if defined(KV_XMLDOM_NAIVE)
constexpr bool kNaive = true;
#else
constexpr bool kNaive = false;
#endif

}  // namespace xmldom
}  // namespace kv
