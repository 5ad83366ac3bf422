// The XML document component's file encodings: every supported form loads,
// saves back in the same form, and loads again unchanged.

#include "win32/codepage.h"
#include "test_util.h"
#include "foundation/platform/variant.h"
#include "win32/msxml.h"

using namespace kvtest;

namespace {

// A document whose attribute and text hold "Grüße €", written as `text` in the
// file's own encoding under `declaration`.
std::string Fixture(const std::string& declaration, const std::string& text) {
    return declaration + "\n<Items>\n  <Item Name=\"" + text + "\">" + text + "</Item>\n</Items>\n";
}

std::string Declaration(const char* encoding) {
    return std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?>";
}

std::string Utf16(const std::string& utf8, bool bigEndian, bool bom) {
    std::string bytes;
    for (OLECHAR unit :
         (bom ? OLESTR("\uFEFF") : OLESTR("")) + std::basic_string<OLECHAR>(FromU8(utf8).c_str()))
        bytes += bigEndian ? std::string{char(unit >> 8), char(unit & 0xFF)}
                           : std::string{char(unit & 0xFF), char(unit >> 8)};
    return bytes;
}

struct Form {
    const char* name;
    std::string file;       // the file to load
    std::string savedHead;  // what the saved file starts with
    UINT codePage;          // a code page the platform must convert, or 0
};

void PrintTo(const Form& form, std::ostream* os) {
    *os << form.name;
}

std::vector<Form> Forms() {
    const std::string utf8 =
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC";
    const std::string utf16 = Fixture(Declaration("UTF-16"), utf8);
    const auto latin = [](const char* encoding, const char* euro) {
        return Fixture(Declaration(encoding), std::string("Gr\xFC\xDF"
                                                          "e ") +
                                                  euro);
    };
    return {
        {"Utf8", Fixture(Declaration("UTF-8"), utf8), Declaration("UTF-8") + "<Items>", 0},
        {"Utf8WithoutDeclaration", Fixture("", utf8), "<Items><Item", 0},
        {"Utf8Bom", "\xEF\xBB\xBF" + Fixture(Declaration("UTF-8"), utf8), "\xEF\xBB\xBF<?xml", 0},
        {"Utf16LeBom", Utf16(utf16, false, true), std::string("\xFF\xFE<\0?\0", 6), 0},
        {"Utf16BeBom", Utf16(utf16, true, true), std::string("\xFE\xFF\0<\0?", 6), 0},
        {"Utf16LeNoBom", Utf16(utf16, false, false), std::string("<\0?\0", 4), 0},
        {"Iso88591", latin("ISO-8859-1", "&#8364;"), Declaration("ISO-8859-1"), 0},
        {"Windows1252", latin("windows-1252", "\x80"), Declaration("windows-1252"), 0},
        {"Windows1250", latin("Windows-1250", "\x80"), Declaration("Windows-1250"), 1250},
        {"UsAscii", Fixture(Declaration("us-ascii"), "Gr&#252;&#223;e &#8364;"),
         Declaration("us-ascii"), 0},
    };
}

class XmlDomEncoding : public testing::TestWithParam<Form> {
protected:
    static void ExpectText(IXMLDOMDocument2* document) {
        NodePtr item = SelectOne(document, OLESTR("/Items/Item"));
        ASSERT_TRUE(item);
        EXPECT_EQ(ValueOf(AttributeNode(item, OLESTR("Name"))), "Grüße €");
        EXPECT_EQ(ValueOf(SelectOne(item, OLESTR("text()"))), "Grüße €");
    }
    TempTree tree;
};

TEST_P(XmlDomEncoding, LoadsAndSavesBackInTheSameForm) {
    const Form& form = GetParam();
    OLECHAR probe = 0;
    if (form.codePage && MultiByteToWideChar(form.codePage, 0, "a", 1, &probe, 1) != 1)
        GTEST_SKIP() << "the platform does not convert code page " << form.codePage;
    DocumentPtr document = Parse(tree / "x.xml", form.file);
    ExpectText(document);
    const std::string y = Saved(document, tree / "y.xml");
    EXPECT_EQ(form.savedHead, y.substr(0, form.savedHead.size()));
    DocumentPtr again = NewDocument();
    ASSERT_TRUE(Load(again, tree / "y.xml"));
    ExpectText(again);
    EXPECT_EQ(y, Saved(again, tree / "z.xml"));
}

INSTANTIATE_TEST_SUITE_P(Forms, XmlDomEncoding, testing::ValuesIn(Forms()),
                         [](const auto& info) { return std::string(info.param.name); });

// Characters the code page lacks become references; no reference can stand in
// a comment, so there the character is lost.
TEST(XmlDomCharacterReferences, CharactersMissingFromTheCodePageAreNotLost) {
    TempTree tree;
    DocumentPtr document = Parse(tree / "in.xml",
                                 "<?xml version=\"1.0\" encoding=\"windows-1252\"?>"
                                 "<r a=\"x\"><t>y</t><![CDATA[c]]><!--k--></r>");
    NodePtr root = Root(document);
    ASSERT_EQ(S_OK,
              AttributeNode(root, OLESTR("a"))->put_nodeValue(CComVariant(OLESTR("Ж\U0001F600€"))));
    ASSERT_EQ(S_OK, SelectOne(root, OLESTR("t/text()"))->put_nodeValue(CComVariant(OLESTR("Жé"))));
    ASSERT_EQ(S_OK, SelectOne(root, OLESTR("text()"))->put_nodeValue(CComVariant(OLESTR("aЖb"))));
    ASSERT_EQ(S_OK, SelectOne(root, OLESTR("comment()"))->put_nodeValue(CComVariant(OLESTR("Ж"))));
    const std::string saved = Saved(document, tree / "out.xml");
    EXPECT_EQ(
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?>"
        "<r a=\"&#1046;&#128512;\x80\"><t>&#1046;\xE9</t>"
        "<![CDATA[a]]>&#1046;<![CDATA[b]]><!--?--></r>",
        saved);
    NodePtr reloaded = Root(Parse(tree / "again.xml", saved));
    EXPECT_EQ(ValueOf(AttributeNode(reloaded, OLESTR("a"))), "Ж\U0001F600€");
    EXPECT_EQ(ValueOf(SelectOne(reloaded, OLESTR("t/text()"))), "Жé");
}

}  // namespace
