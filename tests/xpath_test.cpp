#include "xml/xpath.h"

#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

using xmlutils::CKVXPath;
using xmlutils::CKVXPathFragment;
using xmlutils::FormatXPath;
using xmlutils::kXPathBreakMarker;
using xmlutils::RemoveLastStep;
using xmlutils::SplitLastStep;

namespace {

// ASCII text for readable assertions; anything else shows as \uXXXX.
std::string Show(const _stringx& s) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (OLECHAR c : s) {
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                out.push_back(hex[(c >> shift) & 0xF]);
        }
    }
    return out;
}

// Narrow ASCII test text to a wide string, independent of the code page.
_stringx W(const std::string& s) {
    _stringx out;
    for (char c : s)
        out.push_back(static_cast<OLECHAR>(static_cast<unsigned char>(c)));
    return out;
}

std::string ElementName(const std::string& step, bool keepPrefix) {
    return Show(CKVXPathFragment(W(step)).GetElementName(keepPrefix));
}

// Whether the marker occurs at a point that lies outside every string literal
// of the expression, scanning quotes the way an XPath 1.0 lexer does.
bool MarkerOutsideLiteral(const _stringx& path) {
    OLECHAR open = 0;
    for (OLECHAR c : path) {
        if (open) {
            if (c == open)
                open = 0;
        } else if (c == u'"' || c == u'\'') {
            open = c;
        } else if (c == kXPathBreakMarker) {
            return true;
        }
    }
    return false;
}

_stringx WithoutMarker(_stringx s) {
    _stringx out;
    for (OLECHAR c : s)
        if (c != kXPathBreakMarker)
            out.push_back(c);
    return out;
}

}  // namespace

static_assert(std::is_base_of<_stringx, CKVXPath>::value, "a path is a string");
static_assert(std::is_base_of<_stringx, CKVXPathFragment>::value, "a step is a string");
static_assert(std::has_virtual_destructor<CKVXPath>::value, "");
static_assert(std::has_virtual_destructor<CKVXPathFragment>::value, "");

TEST(XPathElementName, PlainAndPredicateSteps) {
    EXPECT_EQ(ElementName("", false), "");
    EXPECT_EQ(ElementName("", true), "");
    EXPECT_EQ(ElementName("RepoItem", false), "RepoItem");
    EXPECT_EQ(ElementName("Repository[@Key=\"A\"]", false), "Repository");
    EXPECT_EQ(ElementName("Repository[@Key=\"A\"]", true), "Repository");
    // Only the first "[" counts, also when a value holds another one.
    EXPECT_EQ(ElementName("A[@k=\"[x\"]", false), "A");
    EXPECT_EQ(ElementName("[@k=\"v\"]", false), "");
}

TEST(XPathElementName, PrefixIsDroppedUnlessKept) {
    EXPECT_EQ(ElementName("x:Item", false), "Item");
    EXPECT_EQ(ElementName("x:Item", true), "x:Item");
    EXPECT_EQ(ElementName("a:B[@k=\"v\"]", false), "B");
    EXPECT_EQ(ElementName("a:B[@k=\"v\"]", true), "a:B");
    EXPECT_EQ(ElementName("x:", false), "");
    EXPECT_EQ(ElementName("x:", true), "x:");
    // Only the first ":" is a prefix separator.
    EXPECT_EQ(ElementName("a:b:c", false), "b:c");
}

TEST(XPathElementName, ColonInsidePredicateIsNotAPrefix) {
    EXPECT_EQ(ElementName("ItemAttrib[@FileName=\"c:x.kvd\"]", false), "ItemAttrib");
    EXPECT_EQ(ElementName("ItemAttrib[@FileName=\"c:x.kvd\"]", true), "ItemAttrib");
    EXPECT_EQ(ElementName("A[@x:k=\"v\"]", false), "A");
}

TEST(XPathSplitLastStep, WorkedExamples) {
    _stringx step;
    EXPECT_EQ(SplitLastStep(W("Templates/RepoItem"), step), 9);
    EXPECT_EQ(Show(step), "RepoItem");
    EXPECT_EQ(SplitLastStep(W("Templates"), step), -1);
    EXPECT_EQ(Show(step), "Templates");
    EXPECT_EQ(SplitLastStep(W("//Repositories"), step), 1);
    EXPECT_EQ(Show(step), "Repositories");
    EXPECT_EQ(SplitLastStep(W("/"), step), 0);
    EXPECT_EQ(Show(step), "");
    EXPECT_EQ(SplitLastStep(W("A/"), step), 1);
    EXPECT_EQ(Show(step), "");
}

TEST(XPathSplitLastStep, EmptyPathLeavesStepAlone) {
    _stringx step(OLESTR("unchanged"));
    EXPECT_EQ(SplitLastStep(_stringx(), step), -1);
    EXPECT_EQ(Show(step), "unchanged");
}

TEST(XPathSplitLastStep, SlashInPredicateValueSplitsThere) {
    _stringx step;
    const _stringx path = W("Dialogs/RepoItem/ItemAttrib[@FileName=\"a/b.kvd\"]");
    EXPECT_EQ(SplitLastStep(path, step), 40);
    EXPECT_EQ(Show(step), "b.kvd\"]");
}

TEST(XPathRemoveLastStep, WorkedExamples) {
    _stringx path = W("Templates/RepoItem");
    RemoveLastStep(path);
    EXPECT_EQ(Show(path), "Templates");
    RemoveLastStep(path);
    EXPECT_EQ(Show(path), "");
    RemoveLastStep(path);
    EXPECT_EQ(Show(path), "");

    path = W("//Repositories");
    RemoveLastStep(path);
    EXPECT_EQ(Show(path), "/");
    RemoveLastStep(path);
    EXPECT_EQ(Show(path), "");

    path = W("A[@k=\"x/y\"]");
    RemoveLastStep(path);
    EXPECT_EQ(Show(path), "A[@k=\"x");
}

// The element-creation loop of the document wrapper: split off and cut the last
// step until the path runs empty, collecting the steps.
TEST(XPathRemoveLastStep, WalksAPathDownToNothing) {
    _stringx path = W("//Repositories/Repository[@Key=\"A\"]");
    std::vector<std::string> steps;
    while (!path.empty()) {
        _stringx step;
        SplitLastStep(path, step);
        steps.push_back(Show(CKVXPathFragment(step).GetElementName(false)));
        RemoveLastStep(path);
    }
    EXPECT_EQ(steps, (std::vector<std::string>{"Repository", "Repositories", ""}));
}

TEST(XPathFormat, LibraryTemplates) {
    using namespace xmlutils;
    EXPECT_EQ(Show(FormatXPath(kXPathRepositories, {})), "//Repositories");
    EXPECT_EQ(Show(FormatXPath(kXPathRepositoryByAttrib, {W("Key"), W("Local")})),
              "Repository[@Key=\"Local\"]");
    EXPECT_EQ(Show(FormatXPath(kXPathMergeModuleItems, {})), "MergeModules/RepoItem");
    EXPECT_EQ(Show(FormatXPath(kXPathChildStep, {W("Dialogs"), W("RepoItem")})),
              "Dialogs/RepoItem");
    EXPECT_EQ(Show(FormatXPath(kXPathChildStep, {_stringx(), W("RepoItem")})), "/RepoItem");
    EXPECT_EQ(Show(FormatXPath(kXPathItemByFileName, {W("Dialogs"), W("mydialog.kvd")})),
              "Dialogs/RepoItem/ItemAttrib[@FileName=\"mydialog.kvd\"]");
    EXPECT_EQ(Show(FormatXPath(kXPathItemAttribByFileName, {W("Templates/RepoItem"), W("a.kvt")})),
              "Templates/RepoItem/ItemAttrib[@FileName=\"a.kvt\"]");
    EXPECT_EQ(Show(FormatXPath("100%%/%d/%s", {W("x")})), "100%/%d/x");
}

TEST(XPathFormat, ValueCountMustMatch) {
    EXPECT_THROW(FormatXPath(xmlutils::kXPathChildStep, {W("a")}), std::invalid_argument);
    EXPECT_THROW(FormatXPath(xmlutils::kXPathRepositories, {W("a")}), std::invalid_argument);
    EXPECT_THROW(FormatXPath(nullptr, {}), std::invalid_argument);
}

TEST(XPathInjection, QuoteInPredicateValueBreaksThePath) {
    using xmlutils::kXPathItemByFileName;
    struct Case {
        const char* value;
        const char* expected;  // \u0001 shows the marker
    };
    const Case cases[] = {
        {"a\"b", "T/RepoItem/ItemAttrib[@FileName=\"a\"\\u0001b\"]"},
        {"x\" or \"1\"=\"1", "T/RepoItem/ItemAttrib[@FileName=\"x\"\\u0001 or \"1\"=\"1\"]"},
        {"x\"] | //*[@a=\"", "T/RepoItem/ItemAttrib[@FileName=\"x\"\\u0001] | //*[@a=\"\"]"},
        {"\"", "T/RepoItem/ItemAttrib[@FileName=\"\"\\u0001\"]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        const CKVXPath path = FormatXPath(kXPathItemByFileName, {W("T"), W(c.value)});
        EXPECT_EQ(Show(path), c.expected);
        // Without the marker the path is exactly the unguarded text.
        EXPECT_EQ(Show(WithoutMarker(path)),
                  "T/RepoItem/ItemAttrib[@FileName=\"" + std::string(c.value) + "\"]");
    }
}

TEST(XPathInjection, MarkerAlwaysLandsOutsideEveryLiteral) {
    const char* hostile[] = {
        "\"",
        "\"\"",
        "a\"b",
        "x\" or \"1\"=\"1",
        "x\"] | //*[@a=\"",
        "'\"'",
        "it's\"",
        "a/b\"]/../*[@k=\"",
        "\"]|//Repository[@Key=\"Local",
    };
    for (const char* value : hostile) {
        SCOPED_TRACE(value);
        for (const char* templ :
             {xmlutils::kXPathItemByFileName, xmlutils::kXPathItemAttribByFileName,
              xmlutils::kXPathRepositoryByAttrib}) {
            const CKVXPath path = FormatXPath(templ, {W("Key"), W(value)});
            EXPECT_TRUE(MarkerOutsideLiteral(path)) << Show(path);
        }
    }
}

TEST(XPathInjection, GuardedStepKeepsItsElementName) {
    const CKVXPath path =
        FormatXPath(xmlutils::kXPathItemAttribByFileName, {W("T/RepoItem"), W("x\" or \"1\"=\"1")});
    _stringx step;
    SplitLastStep(path, step);
    EXPECT_EQ(Show(CKVXPathFragment(step).GetElementName(false)), "ItemAttrib");
}

TEST(XPathInjection, OtherValuesAreInsertedUnchanged) {
    for (const char* value : {"plain.kvd", "a/b]c", "it's", "[@x='1']", ""}) {
        SCOPED_TRACE(value);
        const CKVXPath path = FormatXPath(xmlutils::kXPathRepositoryByAttrib, {W("Key"), W(value)});
        EXPECT_EQ(Show(path), "Repository[@Key=\"" + std::string(value) + "\"]");
    }
    // A quote outside a predicate's literal is not guarded.
    EXPECT_EQ(Show(FormatXPath(xmlutils::kXPathChildStep, {W("a\"b"), W("c\"d")})), "a\"b/c\"d");
    EXPECT_EQ(Show(FormatXPath(xmlutils::kXPathItemAttribByFileName, {W("G\"x"), W("f")})),
              "G\"x/ItemAttrib[@FileName=\"f\"]");
    EXPECT_EQ(Show(FormatXPath(xmlutils::kXPathRepositoryByAttrib, {W("K\"ey"), W("v")})),
              "Repository[@K\"ey=\"v\"]");
    EXPECT_EQ(Show(FormatXPath("%s=\"x\"", {W("a\"")})), "a\"=\"x\"");
}

TEST(XPathInjection, SingleQuotedPredicatesAreGuardedToo) {
    EXPECT_EQ(Show(FormatXPath("A[@k='%s']", {W("x' or '1'='1")})), "A[@k='x'\\u0001 or '1'='1']");
    // The other quote cannot end a single-quoted literal.
    EXPECT_EQ(Show(FormatXPath("A[@k='%s']", {W("x\"y")})), "A[@k='x\"y']");
}
