// The XML document component "msxml4.dll": creation, loading (and what a
// strict parser refuses), saving and document properties.

#include "test_util.h"
#include "foundation/platform/comptr.h"
#include "foundation/platform/variant.h"
#include "win32/com.h"
#include "win32/msxml.h"

using namespace kvtest;

namespace {

TEST(XmlDomModule, CreatesOnlyTheDocumentClassWhichStartsEmpty) {
    DocumentPtr document = NewDocument();
    ASSERT_TRUE(document);
    CComPtr<IClassFactory> factory;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, kv::ComponentLoader::Process().GetClassObject(
                                             OLESTR("msxml4.dll"), CLSID_DOMDocument30, &factory));
    CComPtr<IXMLDOMElement> root;
    EXPECT_EQ(S_FALSE, document->get_documentElement(&root));
}

TEST(XmlDomLoad, DropsIndentationKeepsCommentsAndSavesRaw) {
    TempTree tree;
    DocumentPtr document =
        Parse(tree / "in.xml",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- list -->\r\n<?app run?>\r\n"
              "<Repositories>\r\n  <Repository Key=\"A\"/>\r\n  <!-- note -->\r\n"
              "  <Repository Key=\"B\"> kept </Repository>\r\n</Repositories>\r\n");
    EXPECT_EQ(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- list --><?app run?><Repositories>"
        "<Repository Key=\"A\"/><!-- note --><Repository Key=\"B\"> kept </Repository>"
        "</Repositories>",
        Saved(document, tree / "out.xml"));
}

// Every well-formed document without a document type loads, however it
// spells what the grammar allows (tests/data/wellformed.txt).
TEST(XmlDomLoad, TakesEveryWellFormedDocumentWithoutADocumentType) {
    TempTree tree;
    for (const std::string& good : DataCases("wellformed.txt")) {
        SCOPED_TRACE(testing::PrintToString(good));
        EXPECT_TRUE(Load(NewDocument(), WriteText(tree / "good.xml", good)));
    }
}

// Line ends are read as line feeds wherever they stand, before anything else
// (a character reference is not a line end); attribute values then turn each
// white-space character into a space. (The document is held by its root node
// only: nodes keep their document alive.)
TEST(XmlDomLoad, LineEndsBecomeLineFeedsBeforeTheParse) {
    TempTree tree;
    NodePtr root =
        Root(Parse(tree / "eol.xml",
                   "<?xml version='1.0'?>\r<r a='1\r\n2\r3\t4\n5&#13;&#10;&#9;6'>"
                   "t\r\nu\rv&#13;<!--c\r\nd\r--><?p e\r\nf\r?><![CDATA[g\r\nh\r]]></r>"));
    EXPECT_EQ("1 2 3 4 5\r\n\t6", ValueOf(AttributeNode(root, OLESTR("a"))));
    EXPECT_EQ("t\nu\nv\r", ValueOf(SelectOne(root, OLESTR("text()"))));
    EXPECT_EQ("c\nd\n", ValueOf(SelectOne(root, OLESTR("comment()"))));
    EXPECT_EQ("e\nf\n", ValueOf(SelectOne(root, OLESTR("processing-instruction()"))));
    EXPECT_EQ("g\nh\n", ValueOf(SelectOne(root, OLESTR("text()[2]"))));
}

// Text that is white space only once its references are resolved is not a
// node, as raw white space between elements is not; any other text is kept
// whole, and CDATA sections are kept whatever they hold.
TEST(XmlDomLoad, TextThatIsWhiteSpaceOnceResolvedIsDropped) {
    TempTree tree;
    DocumentPtr document = Parse(
        tree / "ws.xml",
        "<r>&#32;<a/>&#10;&#9;&#13;\n<b>&#x20; x&#32;</b> <![CDATA[ ]]>&#32;<!--c-->&#32;</r>");
    NodePtr root = Root(document);
    EXPECT_EQ((std::vector<std::string>{"a", "b", "#cdata-section", "#comment"}),
              Select(root, OLESTR("node()")));
    EXPECT_EQ("  x ", ValueOf(SelectOne(root, OLESTR("b/text()"))));
    EXPECT_EQ(" ", ValueOf(SelectOne(root, OLESTR("node()[3]"))));
}

// What a saved document holds reads back the same: characters that the read
// would turn into others are written as references.
TEST(XmlDomSave, ValuesReadBackUnchangedAfterASave) {
    TempTree tree;
    const char* values[] = {"a\rb", "a\nb", "a\tb", "a\r\nb", " \t\r\n x \r", "]]>&<\"'"};
    DocumentPtr document = Parse(tree / "in.xml", "<r><e a=''>t</e></r>");
    NodePtr e = SelectOne(Root(document), OLESTR("e"));
    for (const char* value : values) {
        SCOPED_TRACE(testing::PrintToString(value));
        const CComVariant text(_stringx(value).c_str());
        ASSERT_EQ(S_OK, AttributeNode(e, OLESTR("a"))->put_nodeValue(text));
        ASSERT_EQ(S_OK, SelectOne(e, OLESTR("text()"))->put_nodeValue(text));
        DocumentPtr again = Parse(tree / "again.xml", Saved(document, tree / "out.xml"));
        NodePtr reread = SelectOne(Root(again), OLESTR("e"));
        EXPECT_EQ(value, ValueOf(AttributeNode(reread, OLESTR("a"))));
        EXPECT_EQ(value, ValueOf(SelectOne(reread, OLESTR("text()"))));
        // Loaded values too: what the file said by reference survives the save.
        NodePtr third = SelectOne(Root(Parse(tree / "third.xml", Saved(again, tree / "out2.xml"))),
                                  OLESTR("e"));
        EXPECT_EQ(value, ValueOf(AttributeNode(third, OLESTR("a"))));
        EXPECT_EQ(value, ValueOf(SelectOne(third, OLESTR("text()"))));
    }
}

// Comments, instructions and CDATA sections have no references: a value that
// their markup cannot carry (tests/data/unsaveable-values.txt) is not saved,
// and the file keeps what it held.
TEST(XmlDomSave, MarkupThatCannotCarryAValueIsNotSaved) {
    TempTree tree;
    const std::string file = WriteText(tree / "kept.xml", "<kept/>");
    for (const auto& row : DataRows("unsaveable-values.txt")) {
        SCOPED_TRACE(row[0] + " " + testing::PrintToString(row[1]));
        DocumentPtr document = Parse(tree / "in.xml", "<r>t<!--c--><?p d?><![CDATA[e]]></r>");
        ASSERT_EQ(S_OK, SelectOne(Root(document), _stringx(row[0]).c_str())
                            ->put_nodeValue(CComVariant(_stringx(row[1]).c_str())));
        EXPECT_EQ(E_INVALIDARG, document->save(CComVariant(_stringx(file).c_str())));
        EXPECT_EQ("<kept/>", ReadText(file));
    }
}

}  // namespace
