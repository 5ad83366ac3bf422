// Fuzzes the agreement the library's load rests on: the project's XML
// component and the library's own check of a loaded tree (through the naive
// DOM) let the same documents through, and the component vouches for exactly
// its successful loads (tests/dom_verdicts.h says what is compared). Any
// difference stops the run: it is a fault of one of the two.
#include <cstdio>

#include "dom_verdicts.h"
#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const kvfuzz::fs::path input = kvfuzz::Scratch() / "input.xml";
    static kvtest::DomVerdicts verdicts(_stringx(KVFUZZ_XMLDOM_MODULE),
                                        _stringx(KVFUZZ_NAIVE_XMLDOM_MODULE),
                                        kvfuzz::Scratch() / "written.xml");
    kvfuzz::WriteFile(input, data, size);
    const std::string divergence = verdicts.Compare(_stringx(input.string().c_str()));
    if (!divergence.empty())
        std::fprintf(stderr, "%s\n", divergence.c_str());
    FUZZ_CHECK(divergence.empty());
    return 0;
}
