// The XML document component's file encodings: every supported form loads,
// saves back in the same form, and loads again unchanged.

#include "foundation/platform/codepage.h"
#include "xmldom_test_util.h"

using namespace xmldomtest;

namespace {

const std::u16string kText = u"Grüße €";

std::string Utf16Bytes(const std::string& utf8, bool bigEndian, bool bom) {
    std::u16string text(_stringx(utf8).c_str());
    if (bom)
        text.insert(text.begin(), u'\uFEFF');
    std::string bytes;
    for (char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

// A document whose attribute and text hold kText: `declaration` and `text`
// already in the file's encoding.
std::string Fixture(const std::string& declaration, const std::string& text) {
    return declaration + "\n<Items>\n  <Item Name=\"" + text + "\">" + text + "</Item>\n</Items>\n";
}

const std::string kUtf8Text =
    "Gr\xC3\xBC\xC3\x9F"
    "e \xE2\x82\xAC";

struct EncodingCase {
    const char* name;
    std::string file;       // the file to load
    std::string savedHead;  // what the saved file starts with
    UINT needsCodePage;     // a code page the platform must convert, or 0
};

void PrintTo(const EncodingCase& form, std::ostream* os) {
    *os << form.name;
}

std::string Declaration(const char* encoding) {
    return std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?>";
}

std::vector<EncodingCase> Cases() {
    const std::string utf8 = Fixture(Declaration("UTF-8"), kUtf8Text);
    const std::string utf16 = Fixture(Declaration("UTF-16"), kUtf8Text);
    return {
        {"Utf8", utf8, Declaration("UTF-8") + "<Items>", 0},
        {"Utf8WithoutDeclaration", Fixture("", kUtf8Text), "<Items><Item", 0},
        {"Utf8Bom", "\xEF\xBB\xBF" + utf8, "\xEF\xBB\xBF<?xml", 0},
        {"Utf16LeBom", Utf16Bytes(utf16, false, true), std::string("\xFF\xFE<\0?\0", 6), 0},
        {"Utf16BeBom", Utf16Bytes(utf16, true, true), std::string("\xFE\xFF\0<\0?", 6), 0},
        {"Utf16LeNoBom", Utf16Bytes(utf16, false, false), std::string("<\0?\0", 4), 0},
        {"Utf16BeNoBom", Utf16Bytes(utf16, true, false), std::string("\0<\0?", 4), 0},
        {"Iso88591",
         Fixture(Declaration("ISO-8859-1"),
                 "Gr\xFC\xDF"
                 "e &#8364;"),
         Declaration("ISO-8859-1"), 0},
        {"Latin1",
         Fixture(Declaration("latin1"),
                 "Gr\xFC\xDF"
                 "e &#x20AC;"),
         Declaration("latin1"), 0},
        {"Windows1252",
         Fixture(Declaration("windows-1252"),
                 "Gr\xFC\xDF"
                 "e \x80"),
         Declaration("windows-1252"), 0},
        {"Windows1250",
         Fixture(Declaration("Windows-1250"),
                 "Gr\xFC\xDF"
                 "e \x80"),
         Declaration("Windows-1250"), 1250},
        {"Iso885915",
         Fixture(Declaration("iso-8859-15"),
                 "Gr\xFC\xDF"
                 "e \xA4"),
         Declaration("iso-8859-15"), 28605},
        {"UsAscii", Fixture(Declaration("us-ascii"), "Gr&#252;&#223;e &#8364;"),
         Declaration("us-ascii"), 0},
    };
}

class XmlDomEncoding : public DomTest, public ::testing::WithParamInterface<EncodingCase> {
protected:
    void ExpectText(IXMLDOMDocument2* document) {
        NodePtr item;
        ASSERT_EQ(S_OK, document->selectSingleNode(Text(u"/Items/Item"), &item));
        EXPECT_EQ(kText, AttributeOf(item, u"Name"));
        NodePtr text;
        ASSERT_EQ(S_OK, item->get_firstChild(&text));
        EXPECT_EQ(kText, ValueOf(text));
    }
};

TEST_P(XmlDomEncoding, LoadsAndSavesBackInTheSameForm) {
    const EncodingCase& form = GetParam();
    if (form.needsCodePage) {
        OLECHAR probe = 0;
        if (MultiByteToWideChar(form.needsCodePage, 0, "a", 1, &probe, 1) != 1)
            GTEST_SKIP() << "the platform does not convert code page " << form.needsCodePage;
    }
    DocumentPtr document = Parse(form.file);
    ExpectText(document);
    const std::string y = Saved(document);
    EXPECT_EQ(form.savedHead, y.substr(0, form.savedHead.size()));

    DocumentPtr again = NewDocument();
    VARIANT_BOOL loaded = VARIANT_FALSE;
    ASSERT_EQ(S_OK, Load(again, Write("y.xml", y), &loaded));
    ExpectText(again);
    EXPECT_EQ(y, Saved(again));
}

INSTANTIATE_TEST_SUITE_P(Forms, XmlDomEncoding, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<EncodingCase>& info) {
                             return std::string(info.param.name);
                         });

using XmlDomCharacterReferences = DomTest;

TEST_F(XmlDomCharacterReferences, CharactersMissingFromTheCodePageAreNotLost) {
    DocumentPtr document = Parse(
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?>"
        "<r a=\"x\"><t>y</t><![CDATA[c]]><!--k--></r>");
    NodePtr root = Root(document);
    const std::u16string value = u"Ж\U0001F600€";
    ASSERT_EQ(S_OK, AttributeNode(root, u"a")->put_nodeValue(CComVariant(value.c_str())));
    NodePtr text, cdata, comment;
    ASSERT_EQ(S_OK, root->selectSingleNode(Text(u"t/text()"), &text));
    ASSERT_EQ(S_OK, text->put_nodeValue(CComVariant(u"Жé")));
    ASSERT_EQ(S_OK, root->selectSingleNode(Text(u"text()"), &cdata));
    ASSERT_EQ(S_OK, cdata->put_nodeValue(CComVariant(u"aЖb")));
    ASSERT_EQ(S_OK, root->selectSingleNode(Text(u"comment()"), &comment));
    ASSERT_EQ(S_OK, comment->put_nodeValue(CComVariant(u"Ж")));

    // No reference can stand in a comment: there the character is lost.
    const std::string saved = Saved(document);
    EXPECT_EQ(
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?>"
        "<r a=\"&#1046;&#128512;\x80\"><t>&#1046;\xE9</t>"
        "<![CDATA[a]]>&#1046;<![CDATA[b]]><!--?--></r>",
        saved);

    DocumentPtr again = Parse(saved);
    NodePtr reloaded = Root(again);
    EXPECT_EQ(value, AttributeOf(reloaded, u"a"));
    NodePtr reloadedText;
    ASSERT_EQ(S_OK, reloaded->selectSingleNode(Text(u"t/text()"), &reloadedText));
    EXPECT_EQ(u"Жé", ValueOf(reloadedText));
}

}  // namespace
