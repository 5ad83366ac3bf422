#include "xml/xpath.h"

#include <stdexcept>

#include "test_util.h"

using namespace xmlutils;

namespace {

std::string Format(const char* templ, std::initializer_list<_stringx> values) {
    return U8(FormatXPath(templ, values));  // the marker shows as "\x01"
}

// The step rules of tests/data/xpath-steps.txt: element names with and
// without their prefix, the last step split off or cut.
TEST(XPathSteps, GiveWhatTheTableSays) {
    for (const auto& row : kvtest::DataRows("xpath-steps.txt")) {
        const _stringx path(row[1]);
        _stringx step(OLESTR("unchanged")), cut = path;
        const int split = SplitLastStep(path, step);
        RemoveLastStep(cut);
        const std::string given = row[0] == "name"
                                      ? U8(CKVXPathFragment(path).GetElementName(false)) + " " +
                                            U8(CKVXPathFragment(path).GetElementName(true))
                                  : row[0] == "split" ? std::to_string(split) + " " + U8(step)
                                                      : U8(cut);
        const std::string expected = row[0] == "cut" ? row[2] : row[2] + " " + row[3];
        EXPECT_EQ(given, expected) << row[0] << " " << row[1];
    }
}

TEST(XPathFormat, LibraryTemplatesTakeExactlyTheirValues) {
    EXPECT_EQ(Format(kXPathRepositories, {}), "//Repositories");
    EXPECT_EQ(Format(kXPathRepositoryByAttrib, {OLESTR("Key"), OLESTR("Local")}),
              "Repository[@Key=\"Local\"]");
    EXPECT_EQ(Format(kXPathChildStep, {_stringx(), OLESTR("RepoItem")}), "/RepoItem");
    EXPECT_EQ(Format(kXPathItemAttribByFileName, {OLESTR("T/RepoItem"), OLESTR("a.kvt")}),
              "T/RepoItem/ItemAttrib[@FileName=\"a.kvt\"]");
    EXPECT_EQ(Format("100%%/%d/%s", {OLESTR("x")}), "100%/%d/x");
    EXPECT_THROW(FormatXPath(kXPathChildStep, {OLESTR("a")}), std::invalid_argument);
    EXPECT_THROW(FormatXPath(kXPathRepositories, {OLESTR("a")}), std::invalid_argument);
    EXPECT_THROW(FormatXPath(nullptr, {}), std::invalid_argument);
}

// Whether the marker lies outside every string literal, scanning quotes the way
// an XPath 1.0 lexer does.
bool MarkerOutsideLiteral(const _stringx& path) {
    OLECHAR open = 0;
    for (OLECHAR c : path) {
        if (open)
            open = c == open ? 0 : open;
        else if (c == OLESTR('"') || c == OLESTR('\''))
            open = c;
        else if (c == kXPathBreakMarker)
            return true;
    }
    return false;
}

TEST(XPathInjection, AQuoteInAPredicateValueBreaksThePath) {
    for (const auto& [value, expected] : kvtest::FlatPairs(
             {"a\"b",
              "T/RepoItem/ItemAttrib[@FileName=\"a\"\x01"
              "b\"]",
              "x\"] | //*[@a=\"", "T/RepoItem/ItemAttrib[@FileName=\"x\"\x01] | //*[@a=\"\"]", "\"",
              "T/RepoItem/ItemAttrib[@FileName=\"\"\x01\"]"}))
        EXPECT_EQ(Format(kXPathItemByFileName, {OLESTR("T"), _stringx(value)}), expected) << value;

    for (const char* value : {"\"\"", "x\" or \"1\"=\"1", "'\"'", "it's\"", "a/b\"]/../*[@k=\"",
                              "\"]|//Repository[@Key=\"Local"})
        for (const char* templ :
             {kXPathItemByFileName, kXPathItemAttribByFileName, kXPathRepositoryByAttrib})
            EXPECT_TRUE(MarkerOutsideLiteral(FormatXPath(templ, {OLESTR("Key"), value}))) << value;

    // The guarded step keeps its element name.
    _stringx step;
    SplitLastStep(
        FormatXPath(kXPathItemAttribByFileName, {OLESTR("T"), OLESTR("x\" or \"1\"=\"1")}), step);
    EXPECT_EQ(U8(CKVXPathFragment(step).GetElementName(false)), "ItemAttrib");
    // Single-quoted literals are guarded against their own quote only.
    EXPECT_EQ(Format("A[@k='%s']", {OLESTR("x' or '1'='1")}), "A[@k='x'\x01 or '1'='1']");
    EXPECT_EQ(Format("A[@k='%s']", {OLESTR("x\"y")}), "A[@k='x\"y']");
}

TEST(XPathInjection, OtherValuesAndQuotesOutsideLiteralsAreInsertedUnchanged) {
    for (const char* value : {"plain.kvd", "a/b]c", "it's", "[@x='1']", ""})
        EXPECT_EQ(Format(kXPathRepositoryByAttrib, {OLESTR("Key"), value}),
                  "Repository[@Key=\"" + std::string(value) + "\"]");
    EXPECT_EQ(Format(kXPathChildStep, {OLESTR("a\"b"), OLESTR("c\"d")}), "a\"b/c\"d");
    EXPECT_EQ(Format(kXPathRepositoryByAttrib, {OLESTR("K\"ey"), OLESTR("v")}),
              "Repository[@K\"ey=\"v\"]");
    EXPECT_EQ(Format("%s=\"x\"", {OLESTR("a\"")}), "a\"=\"x\"");
}

}  // namespace
