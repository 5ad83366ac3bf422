#include "Backend/inc/XMLIntercessor.h"
#include "components/comobject.h"
#include "test_util.h"
#include "foundation/platform/comptr.h"
#include "foundation/platform/variant.h"
#include "win32/msxml.h"
#include "win32/oleauto.h"
#include "xml/readback.h"
#include "foundation/platform/xmlchars.h"
#include "xml/xmlrules.h"

namespace {

using kvtest::Attr;
using kvtest::ReadText;
using kvtest::WriteText;

class XmlIntercessorTest : public testing::Test {
protected:
    // Writes `xml` to the fixture file and opens it into `doc`.
    void Open(XMLIntercessor& doc, const std::string& xml) {
        WriteText(path, xml);
        const _stringx wide(path);
        EXPECT_EQ(doc.Initialize(wide.c_str(), wide.c_str(), nullptr, false, false), S_OK)
            << U8(doc.GetErrorText());
    }
    // The saved text, without the line break a DOM may end the file with.
    std::string SaveAndRead(XMLIntercessor& doc) {
        EXPECT_EQ(doc.Save(_stringx(path).c_str()), S_OK);
        std::string text = ReadText(path);
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        return text;
    }

    kvtest::TempTree tree;
    const std::string path = (tree / "doc.xml").string();
};

constexpr const char* kNested =
    "<R><A k=\"1\"/><B k=\"b\"><A k=\"2\"/><A k=\"3\"/></B><A k=\"4\"/></R>";

// A text of either kind of attribute texts, or of either tree sink, as UTF-8.
std::string Text(const OLECHAR* text, std::size_t length) {
    return U8(_stringx(text, length));
}
std::string Text(const char* text, std::size_t length) {
    return std::string(text, length);
}

// Every node's attributes as "name=value" texts, one line per node.
template <class Char>
std::string Lines(const BasicXmlAttribTexts<Char>& texts) {
    std::string lines;
    for (std::size_t node = 0; node < texts.NodeCount(); ++node) {
        for (std::size_t i = texts.First(node); i < texts.End(node); ++i)
            lines += Text(texts.Name(i).data(), texts.Name(i).size()) + "=" +
                     Text(texts.Value(i).data(), texts.Value(i).size()) + " ";
        lines += "|";
    }
    return lines;
}

TEST_F(XmlIntercessorTest, AttributeTextsReadInOneCallAsNodeByNode) {
    // The node-by-node reading that a document without the one-call reader gets.
    struct Wrapper : XMLIntercessor {
        using XMLIntercessor::GetAllAttribTextsByNode;
        using XMLIntercessor::GetAllAttribTextsUtf8ByNode;
    } doc;
    Open(doc,
         "<?xml version=\"1.0\"?><R a=\"r\"><E k=\"1\" v=\"\" x=\"&lt;&amp;&#233;\"/><!-- c -->"
         "<E/><E \xC3\xA9t\xC3\xA9=\"\xE2\x82\xAC \xF0\x9F\x98\x80\" k=\"2\"/>text</R>");
    for (const OLECHAR* xpath : {OLESTR("E"), OLESTR("//@k"), OLESTR("node()"), OLESTR("/"),
                                 OLESTR("/node()"), OLESTR("Missing"), OLESTR("E["),
                                 OLESTR("//E | ."), OLESTR("E[2]/following-sibling::node()")}) {
        XmlAttribTexts fast, byNode;
        // Appended to what the texts already hold.
        fast.nodes.push_back(0);
        byNode.nodes.push_back(0);
        const int count = doc.GetAllAttribTexts(xpath, fast);
        EXPECT_EQ(doc.GetAllAttribTextsByNode(xpath, byNode), count) << U8(xpath);
        EXPECT_EQ(Lines(fast), Lines(byNode)) << U8(xpath);
        // The same as UTF-8, from the component's own text and converted.
        XmlAttribTextsUtf8 utf8, converted;
        utf8.nodes.push_back(0);
        converted.nodes.push_back(0);
        EXPECT_EQ(doc.GetAllAttribTextsUtf8(xpath, utf8), count) << U8(xpath);
        EXPECT_EQ(doc.GetAllAttribTextsUtf8ByNode(xpath, converted), count) << U8(xpath);
        EXPECT_EQ(Lines(utf8), Lines(fast)) << U8(xpath);
        EXPECT_EQ(Lines(converted), Lines(fast)) << U8(xpath);
        std::vector<XmlAttribMap> maps;
        EXPECT_EQ(doc.GetAllAttribValues(xpath, maps) + 1, count) << U8(xpath);
    }
    XmlAttribTexts texts;
    doc.GetAllAttribTexts(OLESTR("E"), texts);
    EXPECT_EQ(Lines(texts), "k=1 v= x=<&\u00e9 ||\u00e9t\u00e9=\u20ac \U0001F600 k=2 |");
}

// Every node of a document as "type/depth name=value" lines, attributes
// after their node; stops after `limit` nodes. From the UTF-16 reader or,
// as TreeLinesUtf8, from the reader of UTF-8 text.
template <class Sink, class Char, class Length>
class TreeLinesOf final : public Sink {
public:
    explicit TreeLinesOf(std::size_t limit = SIZE_MAX) : m_limit(limit) {}
    bool OnNode(DOMNodeType type, UINT depth, const Char* name, Length nameLength,
                const Char* value, Length valueLength) override {
        lines += std::to_string(type) + "/" + std::to_string(depth) + " " + Text(name, nameLength) +
                 "=" + Text(value, valueLength) + "\n";
        return ++m_nodes < m_limit;
    }
    bool OnAttribute(const Char* name, Length nameLength, const Char* value,
                     Length valueLength) override {
        lines += "  @" + Text(name, nameLength) + "=" + Text(value, valueLength) + "\n";
        return true;
    }
    std::string lines;

private:
    std::size_t m_limit, m_nodes = 0;
};
using TreeLines = TreeLinesOf<IKvTreeSink, OLECHAR, UINT>;
using TreeLinesUtf8 = TreeLinesOf<IKvTreeSinkUtf8, char, std::size_t>;

// The component reads its whole tree in one call exactly as the standard
// methods walk it, also once it holds what the library refuses.
TEST_F(XmlIntercessorTest, TreeReadInOneCallAsNodeByNode) {
    kvtest::DocumentPtr document =
        kvtest::Parse(path,
                      "<?xml version=\"1.0\"?><!-- top --><R a=\"r\"><E k=\"1\" x=\"&lt;&#233;\">"
                      "<![CDATA[c]]>text<?pi data?><F/></E><E/></R><?after?>");
    CComPtr<IKvTreeReaderUtf8> reader;
    ASSERT_EQ(document->QueryInterface(IID_IKvTreeReaderUtf8, reinterpret_cast<void**>(&reader)),
              S_OK);
    const auto read = [&](std::size_t limit, HRESULT expected) {
        TreeLines fast(limit), byNode(limit);
        TreeLinesUtf8 utf8(limit);
        EXPECT_EQ(xmlutils::ReadDocumentTree(document, &fast), expected);
        EXPECT_EQ(xmlutils::ReadDocumentTree(document, &byNode, true), expected);
        EXPECT_EQ(reader->ReadTreeUtf8(&utf8), expected);
        EXPECT_EQ(fast.lines, byNode.lines);
        EXPECT_EQ(utf8.lines, fast.lines);
        return fast.lines;
    };
    EXPECT_EQ(read(SIZE_MAX, S_OK),
              "7/1 xml=version=\"1.0\"\n8/1 #comment= top \n1/1 R=\n  @a=r\n1/2 E=\n  @k=1\n"
              "  @x=<\u00e9\n4/3 #cdata-section=c\n3/3 #text=text\n7/3 pi=data\n1/3 F=\n"
              "1/2 E=\n7/1 after=\n");
    EXPECT_EQ(read(4, S_FALSE),
              "7/1 xml=version=\"1.0\"\n8/1 #comment= top \n1/1 R=\n  @a=r\n1/2 E=\n");
    EXPECT_TRUE(xmlutils::IsAcceptableDocument(document));
    kvtest::NodePtr text = kvtest::SelectOne(kvtest::Root(document), OLESTR("E/text()"));
    ASSERT_EQ(text->put_nodeValue(CComVariant(OLESTR("a\u0001b"))), S_OK);
    read(SIZE_MAX, S_OK);
    EXPECT_FALSE(xmlutils::IsAcceptableDocument(document));
}

// The check of a loaded document judges alike whether it reads the texts as
// the component holds them (UTF-8), through its UTF-16 reader or node by
// node: each change below, made through the DOM after the load, is one that
// only the check can find.
TEST_F(XmlIntercessorTest, EveryReadingOfTheTreeJudgesAlike) {
    using xmlutils::TreeText;
    struct Change {
        const OLECHAR* xpath;
        const OLECHAR* value;
        bool acceptable;
    };
    const Change changes[] = {
        {OLESTR("E/@k"), OLESTR("plain \u00e9\u20ac \U0001F600"), true},
        {OLESTR("E/@k"), OLESTR("bell\u0007"), false},
        {OLESTR("E/@k"), OLESTR("\uFFFE"), false},
        {OLESTR("E/text()"), OLESTR("tab\tand line\nfeed"), true},
        {OLESTR("E/text()"), OLESTR("nul\u0001"), false},
        {OLESTR("comment()"), OLESTR(" a - b "), true},
        {OLESTR("comment()"), OLESTR(" a -- b "), false},
        {OLESTR("comment()"), OLESTR("ends-"), false},
        {OLESTR("E/processing-instruction()"), OLESTR("data ?> more"), false},
        {OLESTR("E/node()[1]"), OLESTR("c ]]> d"), false},
    };
    for (const Change& change : changes) {
        kvtest::DocumentPtr document = kvtest::Parse(
            path,
            "<?xml version=\"1.0\"?><R><!-- c --><E k=\"1\"><![CDATA[c]]>text<?pi d?></E></R>");
        ASSERT_TRUE(xmlutils::IsAcceptableDocument(document));
        kvtest::NodePtr node = kvtest::SelectOne(kvtest::Root(document), change.xpath);
        ASSERT_TRUE(node) << U8(change.xpath);
        ASSERT_EQ(node->put_nodeValue(CComVariant(change.value)), S_OK) << U8(change.xpath);
        for (TreeText read : {TreeText::kAsHeld, TreeText::kUtf16, TreeText::kByNode})
            EXPECT_EQ(xmlutils::IsAcceptableDocument(document, read), change.acceptable)
                << U8(change.xpath) << " = " << U8(change.value) << ", reading " << int(read);
    }
}

// The character rules give the same answer for a text in UTF-8 (converted
// by the platform layer) as in UTF-16;
// a malformed UTF-8 sequence is no character at all.
TEST(XmlRulesTest, TextsAndNamesAreJudgedAlikeInUtf8AndUtf16) {
    struct Case {
        std::u32string text;
        bool isText, isName;
    };
    const Case cases[] = {
        {U"FileName", true, true},      {U"x:y-z.1_", true, true},
        {U"1st", true, false},          {U"-a", true, false},
        {U"a b", true, false},          {U"", true, false},
        {U"\u00e9t\u00e9", true, true}, {U"a\u00b7\u0300\u203f", true, true},
        {U"\u00b7a", true, false},      {U"\u4e2d\u6587", true, true},
        {U"\U00010000x", true, true},   {U"\U000F0000", true, false},
        {U"a\u00d7b", true, false},     {U"del\u007f", true, false},
        {U"tab\t", true, false},        {U"bell\u0007", false, false},
        {U"\uFFFE", false, false},      {U"\uFFFD", true, true},
        {U"\U0010FFFF", true, false},
    };
    const auto utf16 = [](const std::u32string& text) {
        std::basic_string<OLECHAR> out;
        for (char32_t c : text) {
            if (c < 0x10000) {
                out += OLECHAR(c);
            } else {
                out += OLECHAR(0xD800 + ((c - 0x10000) >> 10));
                out += OLECHAR(0xDC00 + ((c - 0x10000) & 0x3FF));
            }
        }
        return out;
    };
    for (const Case& c : cases) {
        const std::basic_string<OLECHAR> w = utf16(c.text);
        const std::string a = U8(_stringx(w.data(), w.size()));
        EXPECT_EQ(xmlutils::IsXmlText(a.data(), a.size()), c.isText) << a;
        EXPECT_EQ(xmlutils::IsXmlText(w.data(), w.size()), c.isText) << a;
        EXPECT_EQ(xmlutils::IsXmlName(a.data(), a.size()), c.isName) << a;
        EXPECT_EQ(xmlutils::IsXmlName(w.data(), w.size()), c.isName) << a;
    }
    // Overlong, a surrogate, beyond U+10FFFF, cut short, a stray continuation.
    for (const std::string bad :
         {"\xC0\xAF", "a\xED\xA0\x80", "\xF4\x90\x80\x80", "ab\xE2\x82", "\x80"}) {
        EXPECT_FALSE(xmlutils::IsXmlText(bad.data(), bad.size()));
        EXPECT_FALSE(xmlutils::IsXmlName(bad.data(), bad.size()));
    }
    // The first look at UTF-8, eight bytes at a time: every byte that is
    // not printable ASCII is seen, at any place of any length.
    for (std::size_t length = 1; length <= 20; ++length) {
        for (std::size_t at = 0; at < length; ++at) {
            for (const unsigned char byte :
                 {0x00, 0x01, 0x09, 0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xFF}) {
                std::string text(length, 'a');
                text[at] = static_cast<char>(byte);
                EXPECT_EQ(xmlutils::IsPrintableAscii(text.data(), text.size()),
                          byte >= 0x20 && byte < 0x80)
                    << length << " " << at << " " << int(byte);
            }
        }
    }
    // A lone surrogate in UTF-16.
    const OLECHAR lone[] = {OLESTR('a'), OLECHAR(0xD800), OLESTR('b')};
    EXPECT_FALSE(xmlutils::IsXmlText(lone, 3));
    EXPECT_FALSE(xmlutils::IsXmlName(lone, 3));
}

// (Selection relative to the document element is what every data-file path
// of the library relies on.) A write changes every node selected and creates
// nothing; a read of nothing, or of a malformed path, leaves the map alone.
TEST_F(XmlIntercessorTest, SetAttribValueChangesEverySelectedNodeAndCreatesNothing) {
    XMLIntercessor doc;
    Open(doc, kNested);
    EXPECT_TRUE(doc.SetAttribValue(OLESTR("B/A"), OLESTR("k"), CComVariant(OLESTR("x"))));
    EXPECT_TRUE(doc.SetAttribValue(OLESTR("B"), OLESTR("new"), CComVariant(LONG(7))));
    EXPECT_FALSE(doc.SetAttribValue(OLESTR("C/D"), OLESTR("k"), CComVariant(OLESTR("x"))));
    EXPECT_EQ(SaveAndRead(doc),
              "<R><A k=\"1\"/><B k=\"b\" new=\"7\"><A k=\"x\"/><A k=\"x\"/></B><A k=\"4\"/></R>");
    XmlAttribMap map;
    map[_stringx(OLESTR("kept"))] = CComVariant(OLESTR("yes"));
    doc.GetAttribValues(OLESTR("Missing"), map);
    doc.GetAttribValues(OLESTR("A[@k="), map);
    EXPECT_EQ(Attr(map, OLESTR("kept")), "yes");
}

TEST_F(XmlIntercessorTest, SetAttribValuesCreatesMissingStepsUnderTheDeepestNode) {
    XMLIntercessor doc;
    Open(doc, "<R><X><Y/></X><Repository Key=\"B\"/></R>");
    XmlAttribMap map;
    map[_stringx(OLESTR("Name"))] = CComVariant(OLESTR("n"));
    EXPECT_TRUE(doc.SetAttribValues(OLESTR("X/Y/Z[@Key=\"A\"]/W"), map));
    EXPECT_TRUE(doc.SetAttribValues(OLESTR("P/Q"), map));
    EXPECT_TRUE(doc.SetAttribValues(OLESTR("X"), map));
    EXPECT_TRUE(doc.SetAttribValues(OLESTR("Repository[@Key=\"A\"]"), map));     // a bare element
    EXPECT_TRUE(doc.SetAttribValues(OLESTR("p:A/q:r:B/x:C:"), XmlAttribMap()));  // prefixes dropped
    EXPECT_TRUE(doc.SetAttribValues(OLESTR("//S/T"), map));  // never a second root
    EXPECT_EQ(SaveAndRead(doc),
              "<R><X Name=\"n\"><Y><Z><W Name=\"n\"/></Z></Y></X><Repository Key=\"B\"/>"
              "<P><Q Name=\"n\"/></P><Repository Name=\"n\"/><A><B><C/></B></A></R>");
}

// The component's in-place writer writes what its save writes, in every
// encoding it keeps, over whatever the file held; a tree it cannot save leaves
// the file as it was; a missing file is not made.
TEST_F(XmlIntercessorTest, TheInPlaceWriterWritesWhatSaveWrites) {
    static const char kUtf16[] = "\xFF\xFE<\0R\0 \0a\0=\0\"\0\xE9\0\"\0/\0>\0";
    const std::string utf16(kUtf16, sizeof kUtf16 - 1);
    for (const std::string& bytes :
         {std::string("<?xml version=\"1.0\"?>\r\n<R a=\"\xC3\xA9\"><E>t &amp; u</E></R>"),
          utf16}) {
        kvtest::DocumentPtr document = kvtest::Parse(path, bytes);
        CComPtr<IKvDocumentWriter> writer;
        ASSERT_EQ(
            document->QueryInterface(IID_IKvDocumentWriter, reinterpret_cast<void**>(&writer)),
            S_OK);
        const std::string saved = (tree / "saved.xml").string(),
                          into = (tree / "into.xml").string();
        ASSERT_EQ(document->save(CComVariant(_stringx(saved).c_str())), S_OK);
        WriteText(into, std::string(4096, 'x'));
        ASSERT_EQ(writer->WriteInto(_stringx(into).bstr()), S_OK);
        EXPECT_EQ(ReadText(into), ReadText(saved));

        const std::string missing = (tree / "missing.xml").string();
        EXPECT_EQ(writer->WriteInto(_stringx(missing).bstr()),
                  HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
        EXPECT_FALSE(std::filesystem::exists(missing));

        kvtest::NodePtr attribute = kvtest::SelectOne(kvtest::Root(document), OLESTR("@a"));
        ASSERT_TRUE(attribute);
        ASSERT_EQ(attribute->put_nodeValue(CComVariant(OLESTR("bell\u0007"))), S_OK);
        EXPECT_EQ(writer->WriteInto(_stringx(into).bstr()), E_INVALIDARG);
        EXPECT_EQ(ReadText(into), ReadText(saved));
    }
}

TEST_F(XmlIntercessorTest, InitializeAndSaveReportEachFailure) {
    const _stringx missing((tree / "missing.xml").string());
    XMLIntercessor a;
    EXPECT_EQ(a.Initialize(missing.c_str(), missing.c_str(), nullptr, false, false), E_FAIL);
    EXPECT_EQ(U8(a.GetErrorText()), "Could not load template.");
    EXPECT_EQ(a.GetLastResult(), E_FAIL);
    EXPECT_FALSE(a.IsInitialized());

#ifndef _WIN32         // (Windows has the system's msxml3.dll)
    XMLIntercessor b;  // (a file that does not parse is among the hostile files)
    EXPECT_EQ(b.Initialize(missing.c_str(), nullptr, nullptr, false, true), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(U8(b.GetErrorText()), "Could not create XML document. Is msxml3.dll installed?");
#endif

    // A failed open leaves nothing to save, and queries answer nothing.
    EXPECT_EQ(a.Save(missing.c_str()), E_UNEXPECTED);
    EXPECT_EQ(U8(a.GetErrorText()), "XMLIntercessor not initialized.");
    XmlAttribMap map;
    a.GetAttribValues(OLESTR("A"), map);
    EXPECT_FALSE(a.SetAttribValues(OLESTR("A"), map));
    std::vector<XmlNodeEntry> entries;
    EXPECT_EQ(a.GetChildNodes(OLESTR("A"), entries), 0);
    EXPECT_FALSE(std::filesystem::exists(U8(missing)));

    XMLIntercessor d;
    Open(d, "<R/>");
    const _stringx nowhere((tree / "no" / "such" / "folder.xml").string());
    const long hr = d.Save(nowhere.c_str());
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(U8(d.GetErrorText()), "Could not save manifest");
    EXPECT_EQ(d.GetLastResult(), hr);
}

// A save read back strictly is the document it came from when it differs
// only in what a careful DOM may write differently; otherwise it is not.
TEST_F(XmlIntercessorTest, ASaveReadsBackAsItsDocumentOrNot) {
    const std::string body =
        "<R a=\"1\" b=\"x &amp; y\"><!-- c --><E>t</E><?pi d?><![CDATA[z]]></R>";
    const std::string original = "<?xml version=\"1.0\"?>" + body;
    kvtest::DocumentPtr document = kvtest::Parse(path, original);
    const struct {
        std::string saved;
        bool same;
    } saves[] = {
        {original, true},
        // Another declaration, quotes, references, indentation, a line break at the end.
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<R a='1' b='x &#38; y'>\n <!-- c -->\n "
         "<E>t</E><?pi d?><![CDATA[z]]></R>\n",
         true},
        {"\xEF\xBB\xBF" + body, true},  // a byte-order mark
        {"<R b=\"x &amp; y\" a=\"1\"><!-- c --><E>t</E><?pi d?><![CDATA[z]]></R>", false},
        {"<R a=\"1\" b=\"x &amp; y\"><!-- c --><E>t </E><?pi d?><![CDATA[z]]></R>", false},
        {"<R a=\"1\" b=\"x &amp; y\"><!-- c --><E>t</E><?pi d?>z</R>", false},
        {"<R a=\"1\" b=\"x &amp; y\"><E>t</E><?pi d?><![CDATA[z]]></R>", false},
        {"<R a=\"1\" b=\"x &amp; y\"><!-- c --><E><E>t</E></E><?pi d?><![CDATA[z]]></R>", false},
        {"<R a=\"1\" b=\"x &amp;amp; y\"><!-- c --><E>t</E><?pi d?><![CDATA[z]]></R>", false},
        {"<R a=\"1\" b=\"x &nbsp; y\"><!-- c --><E>t</E><?pi d?><![CDATA[z]]></R>", false},
        {"<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + body, false},  // UTF-8 bytes
        {kvtest::Utf16Le(_stringx(body).c_str()), false},  // readable, in another encoding
        {"", false},
    };
    const std::string saved = (tree / "saved.xml").string();
    for (const auto& save : saves) {
        WriteText(saved, save.saved);
        EXPECT_EQ(xmlutils::CheckSavedDocument(document, _stringx(saved), _stringx(path)),
                  save.same ? S_OK : E_FAIL)
            << save.saved;
    }
}

// A validation that always fails.
class Refusing : public XMLIntercessor {
public:
    long ValidateDocument(const OLECHAR*) override { return E_INVALIDARG; }
};

TEST_F(XmlIntercessorTest, AFailedValidationIsReportedButTheDocumentStaysOpen) {
    const _stringx file(WriteText(path, "<R/>"));
    Refusing doc, skipped;
    EXPECT_EQ(doc.Initialize(file.c_str(), file.c_str(), nullptr, false, false), E_INVALIDARG);
    EXPECT_EQ(U8(doc.GetErrorText()), "File: Backend/inc/XMLIntercessor, Line: 111");
    EXPECT_TRUE(doc.IsInitialized());
    EXPECT_EQ(skipped.Initialize(file.c_str(), file.c_str(), nullptr, true, false), S_OK);
}

// Relative names load under the support folder (tested with the data-file
// access); without the services component they load as they stand. The
// loader's folder holds the document module and a broken services module.
TEST_F(XmlIntercessorTest, RelativeNamesLoadAsTheyStandWithoutTheServicesComponent) {
    WriteText(tree / "work/plain.xml", "<Plain/>");
    kvtest::ScopedCwd cwd(tree / "work");
    tree.Place("bin/msxml4.dll", KV_XMLDOM_MODULE);
    WriteText(tree / "bin/KvAppServices.dll", "not a module");
    kv::ComponentLoader loader(_stringx((tree / "bin/libkvrepo.so").string()));
    XMLIntercessor plain(loader);
    EXPECT_EQ(plain.Initialize(OLESTR("plain.xml"), nullptr, nullptr, false, false), S_OK);
    EXPECT_EQ(U8(plain.GetErrorText()), "Could not create DotNetAssembly");
    EXPECT_EQ(plain.GetLastResult(), REGDB_E_CLASSNOTREG);
}

// A DOM that keeps one attribute map per element hands it out again where the
// last walk left it. Its nodes here: an element with such a map, and
// attributes, which have a name and a value.
class KeptMapNode final
    : public kv::component::ComObject<kv::platform::DomInterface<IXMLDOMElement>> {
public:
    KeptMapNode(const OLECHAR* name, const OLECHAR* value, IXMLDOMNamedNodeMap* map = nullptr)
        : m_name(name), m_value(value), m_map(map) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return Answer(iid, object, {&IID_IUnknown, &IID_IXMLDOMNode, &IID_IXMLDOMElement});
    }
    HRESULT STDMETHODCALLTYPE get_nodeName(BSTR* name) override {
        *name = SysAllocString(m_name.c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_nodeValue(VARIANT* value) override {
        return VariantCopy(value, &m_value);
    }
    HRESULT STDMETHODCALLTYPE get_attributes(IXMLDOMNamedNodeMap** map) override {
        return kv::component::Hand(m_map.get(), map);
    }
    HRESULT STDMETHODCALLTYPE put_nodeValue(VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_firstChild(IXMLDOMNode**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_nextSibling(IXMLDOMNode**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE appendChild(IXMLDOMNode*, IXMLDOMNode**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE selectNodes(BSTR, IXMLDOMNodeList**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE selectSingleNode(BSTR, IXMLDOMNode**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE removeChild(IXMLDOMNode*, IXMLDOMNode**) override {
        return E_NOTIMPL;
    }

private:
    _stringx m_name;
    CComVariant m_value;
    CComPtr<IXMLDOMNamedNodeMap> m_map;
};

class KeptMap final
    : public kv::component::ComObject<kv::platform::DomInterface<IXMLDOMNamedNodeMap>> {
public:
    explicit KeptMap(std::vector<CComPtr<IXMLDOMNode>> attributes)
        : m_attributes(std::move(attributes)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return Answer(iid, object, {&IID_IUnknown, &IID_IXMLDOMNamedNodeMap});
    }
    HRESULT STDMETHODCALLTYPE nextNode(IXMLDOMNode** item) override {
        return kv::component::Hand(
            m_next < m_attributes.size() ? m_attributes[m_next++].get() : nullptr, item);
    }
    HRESULT STDMETHODCALLTYPE reset() override {
        m_next = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE getQualifiedItem(BSTR, BSTR, IXMLDOMNode**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE setNamedItem(IXMLDOMNode*, IXMLDOMNode**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_length(long*) override { return E_NOTIMPL; }

private:
    std::vector<CComPtr<IXMLDOMNode>> m_attributes;
    std::size_t m_next = 0;
};

class AttributeReader : public XMLIntercessor {
public:
    using XMLIntercessor::ReadNodeAttribs;
};

TEST(XmlIntercessorAttributes, AMapHandedOutAgainIsReadFromItsStart) {
    std::vector<CComPtr<IXMLDOMNode>> attributes(2);
    attributes[0].Attach(new KeptMapNode(OLESTR("a"), OLESTR("1")));
    attributes[1].Attach(new KeptMapNode(OLESTR("b"), OLESTR("2")));
    CComPtr<IXMLDOMNamedNodeMap> map;
    map.Attach(new KeptMap(std::move(attributes)));
    CComPtr<IXMLDOMNode> element;
    element.Attach(new KeptMapNode(OLESTR("E"), OLESTR(""), map));
    AttributeReader reader;
    for (int reading = 1; reading <= 2; ++reading) {
        XmlAttribMap read;
        reader.ReadNodeAttribs(element, read);
        EXPECT_EQ(Attr(read, OLESTR("a")) + Attr(read, OLESTR("b")), "12") << "reading " << reading;
    }
}

}  // namespace
