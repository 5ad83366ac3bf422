// The XML document component "msxml4.dll": creation, loading (and what a
// strict parser refuses), saving and document properties.

#include "xmldom_test_util.h"

using namespace xmldomtest;

namespace {

TEST(XmlDomModule, CreatesTheDocumentClassThroughTheLoader) {
    DocumentPtr document = NewDocument();
    ASSERT_TRUE(document);
    for (const IID* iid : {&IID_IUnknown, &IID_IXMLDOMNode, &IID_IXMLDOMDocument}) {
        void* object = nullptr;
        EXPECT_EQ(S_OK, document->QueryInterface(*iid, &object));
        EXPECT_EQ(static_cast<void*>(document.get()), object);
        static_cast<IUnknown*>(object)->Release();
    }
    void* element = document.get();
    EXPECT_EQ(E_NOINTERFACE, document->QueryInterface(IID_IXMLDOMElement, &element));
    EXPECT_EQ(nullptr, element);

    CComPtr<IClassFactory> factory;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, kv::ComponentLoader::Process().GetClassObject(
                                             u"msxml4.dll", CLSID_DOMDocument30, &factory));
}

TEST(XmlDomModule, DocumentNodeNameTypeAndValue) {
    DocumentPtr document = NewDocument();
    EXPECT_EQ("#document", NameOf(document));
    EXPECT_EQ(NODE_DOCUMENT, TypeOf(document));
    CComVariant value;
    EXPECT_EQ(S_OK, document->get_nodeValue(&value));
    EXPECT_EQ(VT_NULL, value.vt);
    EXPECT_EQ(E_FAIL, document->put_nodeValue(CComVariant(u"x")));
    CComPtr<IXMLDOMElement> root;
    EXPECT_EQ(S_FALSE, document->get_documentElement(&root));
    EXPECT_FALSE(root);
}

TEST(XmlDomProperties, SelectionPropertiesAreStoredOthersRefused) {
    DocumentPtr document = NewDocument();
    CComVariant value;
    EXPECT_EQ(S_OK, document->getProperty(Text(u"SelectionLanguage"), &value));
    EXPECT_EQ(CComVariant(u"XPath"), value);

    const CComVariant namespaces(u"xmlns:kv='urn:kv'");
    EXPECT_EQ(S_OK, document->setProperty(Text(u"SelectionNamespaces"), namespaces));
    value.Clear();
    EXPECT_EQ(S_OK, document->getProperty(Text(u"SelectionNamespaces"), &value));
    EXPECT_EQ(namespaces, value);

    EXPECT_EQ(E_INVALIDARG, document->setProperty(Text(u"ProhibitDTD"), CComVariant(true)));
    EXPECT_EQ(E_INVALIDARG, document->setProperty(Text(u"selectionlanguage"), namespaces));
    value.Clear();
    EXPECT_EQ(E_INVALIDARG, document->getProperty(Text(u"ProhibitDTD"), &value));
}

using XmlDomLoad = DomTest;

TEST_F(XmlDomLoad, DropsIndentationKeepsCommentsAndInstructions) {
    DocumentPtr document = Parse(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- list -->\r\n<?app run?>\r\n"
        "<Repositories>\r\n  <Repository Key=\"A\"/>\r\n  <!-- note -->\r\n"
        "  <Repository Key=\"B\"> kept </Repository>\r\n</Repositories>\r\n");
    EXPECT_EQ("Repositories", NameOf(Root(document)));
    EXPECT_EQ(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- list --><?app run?><Repositories>"
        "<Repository Key=\"A\"/><!-- note --><Repository Key=\"B\"> kept </Repository>"
        "</Repositories>",
        Saved(document));
}

TEST_F(XmlDomLoad, RefusesWhatAStrictParserRefuses) {
    const std::pair<const char*, std::string> cases[] = {
        {"empty file", ""},
        {"white space only", "  \n"},
        {"unclosed element", "<a><b></a>"},
        {"two top-level elements", "<a/><b/>"},
        {"text after the element", "<a/>text"},
        {"text before the element", "text<a/>"},
        {"CDATA outside the element", "<a/><![CDATA[x]]>"},
        {"duplicate attribute", "<a x=\"1\" x=\"2\"/>"},
        {"duplicate attribute further down", "<a><b/><c><d y='1' z='' y='1'/></c></a>"},
        {"declaration after the element", "<a/><?xml version=\"1.0\"?>"},
        {"unknown encoding", "<?xml version=\"1.0\" encoding=\"klingon\"?><a/>"},
        {"multi-byte Windows code page", "<?xml version=\"1.0\" encoding=\"windows-932\"?><a/>"},
        {"UTF-16 declared in 8-bit text", "<?xml version=\"1.0\" encoding=\"UTF-16\"?><a/>"},
        {"invalid UTF-8", "<a>\xC3\x28</a>"},
        {"odd UTF-16 length", std::string("\xFF\xFE<\0a\0/\0>", 9)},
    };
    for (const auto& bad : cases) {
        SCOPED_TRACE(bad.first);
        // A good document first: a failed load must leave the document empty.
        DocumentPtr document = Parse("<good><x/></good>");
        VARIANT_BOOL loaded = VARIANT_TRUE;
        EXPECT_EQ(S_FALSE, Load(document, Write("bad.xml", bad.second), &loaded));
        EXPECT_EQ(VARIANT_FALSE, loaded);
        CComPtr<IXMLDOMElement> root;
        EXPECT_EQ(S_FALSE, document->get_documentElement(&root));
        EXPECT_TRUE(Select(document, u"//node()").empty());
    }
}

TEST_F(XmlDomLoad, MissingFileFailsAndALaterLoadSucceeds) {
    DocumentPtr document = NewDocument();
    VARIANT_BOOL loaded = VARIANT_TRUE;
    EXPECT_EQ(S_FALSE, Load(document, m_folder / "missing.xml", &loaded));
    EXPECT_EQ(VARIANT_FALSE, loaded);
    EXPECT_EQ(S_FALSE, document->load(CComVariant(u""), &loaded));

    EXPECT_EQ(S_OK, Load(document, Write("good.xml", "<r><a/></r>"), &loaded));
    EXPECT_EQ(VARIANT_TRUE, loaded);
    EXPECT_EQ((std::vector<std::string>{"a"}), Select(Root(document), u"*"));
}

TEST_F(XmlDomLoad, NodesKeepTheirDocumentAliveButGoStaleOnReload) {
    NodePtr root;
    {
        DocumentPtr document = Parse("<r><a Key=\"1\"/></r>");
        root = Root(document);
    }
    // The document is released; its tree lives on with the node.
    EXPECT_EQ((std::vector<std::string>{"a:1"}), Select(root, u"a"));

    DocumentPtr document = Parse("<r/>");
    NodePtr old = Root(document);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    ASSERT_EQ(S_OK, Load(document, Write("next.xml", "<s/>"), &loaded));
    BSTR name = nullptr;
    EXPECT_EQ(E_UNEXPECTED, old->get_nodeName(&name));
    EXPECT_EQ(nullptr, name);
    EXPECT_EQ("s", NameOf(Root(document)));
}

using XmlDomSave = DomTest;

TEST_F(XmlDomSave, NewDocumentSavesAsUtf8WithoutMarkOrDeclaration) {
    DocumentPtr document = NewDocument();
    CComPtr<IXMLDOMElement> element;
    ASSERT_EQ(S_OK, document->createElement(Text(u"Items"), &element));
    NodePtr attribute;
    ASSERT_EQ(S_OK, document->createNode(CComVariant(LONG(NODE_ATTRIBUTE)), Text(u"Name"),
                                         Text(u""), &attribute));
    ASSERT_EQ(S_OK, attribute->put_nodeValue(CComVariant(u"Grüße € <&\">")));
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    ASSERT_EQ(S_OK, element->get_attributes(&attributes));
    ASSERT_EQ(S_OK, attributes->setNamedItem(attribute, nullptr));
    ASSERT_EQ(S_OK, document->appendChild(element, nullptr));
    EXPECT_EQ("<Items Name=\"Grüße € &lt;&amp;&quot;>\"/>", Saved(document));
}

TEST_F(XmlDomSave, ReportsTheFileSystemError) {
    DocumentPtr document = Parse("<r/>");
    const HRESULT hr = Save(document, m_folder / "no such folder" / "x.xml");
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(FACILITY_WIN32, HRESULT_FACILITY(hr));
    EXPECT_FALSE(fs::exists(m_folder / "no such folder"));
}

}  // namespace
