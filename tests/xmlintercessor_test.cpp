#include <gtest/gtest.h>

#include <filesystem>

#include "Backend/inc/XMLIntercessor.h"
#include "xml_test_util.h"

namespace {

using kvtest::Attr;
using kvtest::ReadText;
using kvtest::WriteText;

// Exposes the wrapper's internal operations to the tests.
class Probe : public XMLIntercessor {
public:
    using XMLIntercessor::SelectNodes;
    using XMLIntercessor::SetNodeAttribValue;
    using XMLIntercessor::XMLIntercessor;

    // The attribute k of every node `xpath` selects, in order.
    std::string Keys(const char16_t* xpath) {
        NodeVector nodes;
        std::map<_stringx, XmlAttribMap> names;
        SelectNodes(xpath, nodes, names);
        std::string keys;
        for (IXMLDOMNode* node : nodes) {
            XmlAttribMap attributes;
            ReadNodeAttribs(node, attributes);
            keys += Attr(attributes, u"k") + ";";
        }
        return keys;
    }
};

class XmlIntercessorTest : public testing::Test {
protected:
    // Writes `xml` to a fixture file and opens it into `doc`.
    std::string Open(XMLIntercessor& doc, const std::string& xml, const char* name = "doc.xml") {
        const std::string path = WriteText(tree / name, xml);
        const _stringx wide(path);
        EXPECT_EQ(doc.Initialize(wide.c_str(), wide.c_str(), nullptr, false, false), S_OK)
            << U8(doc.GetErrorText());
        return path;
    }
    std::string SaveAndRead(XMLIntercessor& doc, const std::string& path) {
        EXPECT_EQ(doc.Save(_stringx(path).c_str()), S_OK);
        return ReadText(path);
    }

    kvtest::TempTree tree;
};

constexpr const char* kNested =
    "<R><A k=\"1\"/><B k=\"b\"><A k=\"2\"/><A k=\"3\"/></B><A k=\"4\"/></R>";

TEST_F(XmlIntercessorTest, PathsAreRelativeToTheDocumentElementUnlessRooted) {
    Probe doc;
    Open(doc, kNested);
    EXPECT_EQ(doc.Keys(u"A"), "1;4;");
    EXPECT_EQ(doc.Keys(u"B/A"), "2;3;");
    EXPECT_EQ(doc.Keys(u"/R/B/A"), "2;3;");
    EXPECT_EQ(doc.Keys(u"//A"), "1;2;3;4;");
    EXPECT_EQ(doc.Keys(u"R/A"), "");  // the root is the context, not a child
}

TEST_F(XmlIntercessorTest, ResultsComeInDocumentOrder) {
    Probe doc;
    Open(doc, kNested);
    EXPECT_EQ(doc.Keys(u"A | B/A"), "1;2;3;4;");
    EXPECT_EQ(doc.Keys(u"B/A[2]/preceding::A"), "1;2;");
}

TEST_F(XmlIntercessorTest, GetAttribValuesTakesTheFirstNodeOrLeavesTheMap) {
    Probe doc;
    Open(doc, kNested);
    XmlAttribMap map;
    doc.GetAttribValues(u"//A", map);
    EXPECT_EQ(Attr(map, u"k"), "1");

    map[_stringx(u"kept")] = CComVariant(u"yes");
    doc.GetAttribValues(u"Missing", map);
    EXPECT_EQ(Attr(map, u"kept"), "yes");
    doc.GetAttribValues(u"A[@k=", map);  // malformed: selects nothing
    EXPECT_EQ(Attr(map, u"kept"), "yes");
}

TEST_F(XmlIntercessorTest, ChildNodesListCommentsButNotIndentation) {
    XMLIntercessor doc;
    Open(doc, "<R>\n  <!-- note -->\n  <A x=\"1\" y=\"2\"/>\n  <?pi data?>\n  <B/>\n</R>");
    std::vector<XmlNodeEntry> entries;
    EXPECT_EQ(doc.GetChildNodes(u"/R", entries), 4);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(U8(entries[0].name), "#comment");
    EXPECT_TRUE(entries[0].attribs.empty());
    EXPECT_EQ(U8(entries[1].name), "A");
    EXPECT_EQ(Attr(entries[1].attribs, u"y"), "2");
    EXPECT_EQ(U8(entries[2].name), "pi");
    EXPECT_EQ(U8(entries[3].name), "B");
}

TEST_F(XmlIntercessorTest, ChildNodesOfTheFirstSelectedNodeOnlyAndAppended) {
    XMLIntercessor doc;
    Open(doc, "<R><G><a/></G><G><b/><c/></G></R>");
    std::vector<XmlNodeEntry> entries(1);
    EXPECT_EQ(doc.GetChildNodes(u"G", entries), 2);
    EXPECT_EQ(U8(entries[1].name), "a");
    EXPECT_EQ(doc.GetChildNodes(u"Nothing", entries), 2);
}

TEST_F(XmlIntercessorTest, SetAttribValueChangesEverySelectedNodeAndCreatesNothing) {
    XMLIntercessor doc;
    const std::string path = Open(doc, kNested);
    EXPECT_TRUE(doc.SetAttribValue(u"B/A", u"k", CComVariant(u"x")));
    EXPECT_TRUE(doc.SetAttribValue(u"B", u"new", CComVariant(LONG(7))));
    EXPECT_FALSE(doc.SetAttribValue(u"C/D", u"k", CComVariant(u"x")));
    EXPECT_EQ(SaveAndRead(doc, path),
              "<R><A k=\"1\"/><B k=\"b\" new=\"7\"><A k=\"x\"/><A k=\"x\"/></B><A k=\"4\"/></R>");
}

TEST_F(XmlIntercessorTest, SetAttribValuesCreatesMissingStepsUnderTheDeepestNode) {
    XMLIntercessor doc;
    const std::string path = Open(doc, "<R><X><Y/></X></R>");
    XmlAttribMap map;
    map[_stringx(u"Name")] = CComVariant(u"n");
    map[_stringx(u"Key")] = CComVariant(u"B");
    EXPECT_TRUE(doc.SetAttribValues(u"X/Y/Z[@Key=\"A\"]/W", map));
    EXPECT_TRUE(doc.SetAttribValues(u"P/Q", map));
    EXPECT_TRUE(doc.SetAttribValues(u"X", map));
    EXPECT_EQ(SaveAndRead(doc, path),
              "<R><X Key=\"B\" Name=\"n\"><Y><Z><W Key=\"B\" Name=\"n\"/></Z></Y></X>"
              "<P><Q Key=\"B\" Name=\"n\"/></P></R>");
}

TEST_F(XmlIntercessorTest, SetAttribValuesAppendsABareElementForAPredicateStep) {
    XMLIntercessor doc;
    const std::string path = Open(doc, "<Repositories><Repository Key=\"B\"/></Repositories>");
    XmlAttribMap map;
    map[_stringx(u"Name")] = CComVariant(u"Local repo");
    EXPECT_TRUE(doc.SetAttribValues(u"Repository[@Key=\"A\"]", map));
    EXPECT_EQ(
        SaveAndRead(doc, path),
        "<Repositories><Repository Key=\"B\"/><Repository Name=\"Local repo\"/></Repositories>");
}

TEST_F(XmlIntercessorTest, SetAttribValuesNeverCreatesASecondRoot) {
    XMLIntercessor doc;
    const std::string path = Open(doc, "<R><A/></R>");
    XmlAttribMap map;
    map[_stringx(u"k")] = CComVariant(u"v");
    EXPECT_TRUE(doc.SetAttribValues(u"//X/Y", map));
    EXPECT_EQ(SaveAndRead(doc, path), "<R><A/></R>");
}

TEST_F(XmlIntercessorTest, StepNamesLoseTheirPrefix) {
    XMLIntercessor doc;
    const std::string path = Open(doc, "<R/>");
    EXPECT_TRUE(doc.SetAttribValues(u"p:A/q:r:B/x:C:", XmlAttribMap()));
    EXPECT_EQ(SaveAndRead(doc, path), "<R><A><B><C/></B></A></R>");
}

TEST_F(XmlIntercessorTest, NodesWithoutAttributesAreNotChanged) {
    Probe doc;
    const std::string path = Open(doc, "<R><!--c--></R>");
    std::vector<CComPtr<IXMLDOMNode>> nodes;
    std::map<_stringx, XmlAttribMap> names;
    ASSERT_EQ(doc.SelectNodes(u"comment()", nodes, names), 1);
    EXPECT_EQ(U8(names.begin()->first), "#comment");
    EXPECT_EQ(doc.SetNodeAttribValue(nodes[0], u"k", CComVariant(u"v")), E_UNEXPECTED);
    EXPECT_EQ(SaveAndRead(doc, path), "<R><!--c--></R>");
}

TEST_F(XmlIntercessorTest, InitializeReportsEachFailure) {
    const _stringx missing((tree / "missing.xml").string());
    XMLIntercessor a;
    EXPECT_EQ(a.Initialize(missing.c_str(), missing.c_str(), nullptr, false, false), E_FAIL);
    EXPECT_EQ(U8(a.GetErrorText()), "Could not load template.");
    EXPECT_EQ(a.GetLastResult(), E_FAIL);
    EXPECT_FALSE(a.IsInitialized());

    const _stringx malformed(WriteText(tree / "bad.xml", "<R><A></R>"));
    XMLIntercessor b;
    EXPECT_EQ(b.Initialize(malformed.c_str(), nullptr, nullptr, false, false), E_FAIL);
    EXPECT_EQ(U8(b.GetErrorText()), "Could not load template.");

    XMLIntercessor c;
    EXPECT_EQ(c.Initialize(malformed.c_str(), nullptr, nullptr, false, true), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(U8(c.GetErrorText()), "Could not create XML document. Is msxml3.dll installed?");

    // A failed open leaves nothing to save, and queries answer nothing.
    EXPECT_EQ(b.Save(malformed.c_str()), E_UNEXPECTED);
    EXPECT_EQ(U8(b.GetErrorText()), "XMLIntercessor not initialized.");
    XmlAttribMap map;
    b.GetAttribValues(u"A", map);
    EXPECT_FALSE(b.SetAttribValues(u"A", map));
    std::vector<XmlNodeEntry> entries;
    EXPECT_EQ(b.GetChildNodes(u"A", entries), 0);
}

// A validation that always fails.
class Refusing : public XMLIntercessor {
public:
    long ValidateDocument(const OLECHAR*) override { return E_INVALIDARG; }
};

TEST_F(XmlIntercessorTest, AFailedValidationIsReportedButTheDocumentStaysOpen) {
    const _stringx path(WriteText(tree / "v.xml", "<R/>"));
    Refusing doc;
    EXPECT_EQ(doc.Initialize(path.c_str(), path.c_str(), nullptr, false, false), E_INVALIDARG);
    EXPECT_EQ(U8(doc.GetErrorText()), "File: Backend/inc/XMLIntercessor, Line: 111");
    EXPECT_TRUE(doc.IsInitialized());
    Refusing skipped;
    EXPECT_EQ(skipped.Initialize(path.c_str(), path.c_str(), nullptr, true, false), S_OK);
}

TEST_F(XmlIntercessorTest, ASaveThatCannotBeWrittenIsReported) {
    XMLIntercessor doc;
    Open(doc, "<R/>");
    const _stringx nowhere((tree / "no" / "such" / "folder.xml").string());
    const long hr = doc.Save(nowhere.c_str());
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(U8(doc.GetErrorText()), "Could not save manifest");
    EXPECT_EQ(doc.GetLastResult(), hr);
}

TEST_F(XmlIntercessorTest, RelativeNamesLoadUnderTheSupportFolderAndSaveInTheCurrentOne) {
    WriteText(tree / "support" / "Sub" / "rel.xml", "<FromSupport/>");
    std::filesystem::create_directories(tree / "work");
    kvtest::ScopedEnv support("KV_SUPPORT_DIR", (tree / "support").c_str());
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(tree / "work");

    XMLIntercessor doc;
    EXPECT_EQ(doc.Initialize(u"Sub\\rel.xml", nullptr, nullptr, false, false), S_OK);
    EXPECT_EQ(U8(doc.GetFileName()), "Sub\\rel.xml");
    std::filesystem::create_directories(tree / "work" / "Sub");
    EXPECT_EQ(doc.Save(u"Sub/rel.xml"), S_OK);
    std::filesystem::current_path(previous);
    EXPECT_EQ(ReadText(tree / "work" / "Sub" / "rel.xml"), "<FromSupport/>");
}

TEST_F(XmlIntercessorTest, WithoutTheServicesComponentRelativeNamesLoadAsTheyStand) {
    // A loader whose folder holds the document module and a broken services module.
    tree.Place("bin/msxml4.dll", KV_XMLDOM_MODULE);
    WriteText(tree / "bin" / "KvAppServices.dll", "not a module");
    kv::ComponentLoader loader(_stringx((tree / "bin" / "libkvrepo.so").string()));
    WriteText(tree / "work" / "plain.xml", "<Plain/>");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(tree / "work");

    XMLIntercessor doc(loader);
    const long hr = doc.Initialize(u"plain.xml", nullptr, nullptr, false, false);
    std::filesystem::current_path(previous);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(U8(doc.GetErrorText()), "Could not create DotNetAssembly");
    EXPECT_EQ(doc.GetLastResult(), REGDB_E_CLASSNOTREG);
}

}  // namespace
