// The project's XML component and the library's check of a loaded tree let
// the same documents through (dom_verdicts.h): over every document case of
// the tests and every seed of the fuzzers' corpora.
#include <gtest/gtest.h>

#include <filesystem>

#include "dom_verdicts.h"
#include "test_util.h"

namespace {

using namespace kvtest;

class RulesDifferential : public testing::Test {
protected:
    TempTree tree;
    DomVerdicts verdicts{_stringx(KVTEST_XMLDOM_MODULE), _stringx(KVTEST_NAIVE_XMLDOM_MODULE),
                         tree / "written.xml"};

    void ExpectAgreement(const std::string& bytes) {
        const fs::path file = WriteText(tree / "case.xml", bytes);
        EXPECT_EQ(verdicts.Compare(_stringx(file.string().c_str())), "")
            << testing::PrintToString(bytes);
    }
};

TEST_F(RulesDifferential, AgreeOnEveryDocumentCase) {
    for (const char* table :
         {"wellformed.txt", "malformed-any-dom.txt", "malformed-parser-only.txt"})
        for (const std::string& bytes : DataCases(table))
            ExpectAgreement(bytes);
}

TEST_F(RulesDifferential, AgreeOnTheFuzzCorpora) {
    int seeds = 0;
    for (const char* corpus : {"datafile", "listfile"})
        for (const auto& entry :
             fs::directory_iterator(fs::path(KVTEST_FUZZ_CORPUS_DIR) / corpus)) {
            ExpectAgreement(ReadText(entry.path()));
            ++seeds;
        }
    EXPECT_GT(seeds, 10);
}

// The check is skipped only where the component vouches, in this library's
// version of the rules: the naive DOM does not, nor does a load that failed.
TEST_F(RulesDifferential, OnlyTheComponentsOwnLoadIsVouchedFor) {
    const fs::path file = WriteText(tree / "good.xml", "<r a='1'/>");
    CComPtr<IXMLDOMDocument2> naive;
    ASSERT_EQ(S_OK, kv::ComponentLoader::Process().CreateInstance(
                        _stringx(KVTEST_NAIVE_XMLDOM_MODULE), CLSID_DOMDocument40,
                        IID_IXMLDOMDocument2, &naive));
    ASSERT_TRUE(Load(naive, file));
    EXPECT_FALSE(xmlutils::IsLoadedUnderRules(naive));
    DocumentPtr strict = NewDocument();
    EXPECT_FALSE(xmlutils::IsLoadedUnderRules(strict));
    ASSERT_TRUE(Load(strict, file));
    EXPECT_TRUE(xmlutils::IsLoadedUnderRules(strict));
    EXPECT_FALSE(Load(strict, WriteText(tree / "bad.xml", "<r>")));
    EXPECT_FALSE(xmlutils::IsLoadedUnderRules(strict));
}

}  // namespace
