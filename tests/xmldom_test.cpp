// The XML document component "msxml4.dll": creation, loading (and what a
// strict parser refuses), saving and document properties.

#include "test_util.h"

using namespace kvtest;

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

    EXPECT_EQ("#document", NameOf(document));
    EXPECT_EQ("<null>", ValueOf(document));
    EXPECT_EQ(E_FAIL, document->put_nodeValue(CComVariant(u"x")));
    CComPtr<IXMLDOMElement> root;
    EXPECT_EQ(S_FALSE, document->get_documentElement(&root));
}

TEST(XmlDomModule, SelectionNamespacesAreStoredOtherPropertiesRefused) {
    DocumentPtr document = NewDocument();
    const CComVariant namespaces(u"xmlns:kv='urn:kv'");
    CComVariant value;
    EXPECT_EQ(S_OK, document->setProperty(_stringx(u"SelectionNamespaces").bstr(), namespaces));
    EXPECT_EQ(S_OK, document->getProperty(_stringx(u"SelectionNamespaces").bstr(), &value));
    EXPECT_EQ(namespaces, value);
    EXPECT_EQ(E_INVALIDARG, document->setProperty(_stringx(u"ProhibitDTD").bstr(), value));
    CComVariant none;  // out parameters are overwritten, not freed
    EXPECT_EQ(E_INVALIDARG, document->getProperty(_stringx(u"selectionlanguage").bstr(), &none));
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

TEST(XmlDomLoad, RefusesWhatAStrictParserRefusesAndIsLeftEmpty) {
    TempTree tree;
    const std::string cases[] = {
        "",
        "  \n",
        "<a><b></a>",
        "<a/><b/>",                                 // two top-level elements
        "<a/>text",                                 // text outside the element
        "text<a/>",                                 //
        "<a/><![CDATA[x]]>",                        //
        "<a><b/><c><d y='1' z='' y='1'/></c></a>",  // an attribute twice
        "<a/><?xml version=\"1.0\"?>",
        "<?xml version=\"1.0\" encoding=\"klingon\"?><a/>",
        "<?xml version=\"1.0\" encoding=\"windows-932\"?><a/>",  // multi-byte code page
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?><a/>",       // declared in 8-bit text
        "<a>\xC3\x28</a>",                                       // invalid UTF-8
        std::string("\xFF\xFE<\0a\0/\0>", 9),                    // odd UTF-16 length
    };
    for (const std::string& bad : cases) {
        SCOPED_TRACE(bad);
        DocumentPtr document = Parse(tree / "good.xml", "<good><x/></good>");
        EXPECT_FALSE(Load(document, WriteText(tree / "bad.xml", bad)));
        CComPtr<IXMLDOMElement> root;
        EXPECT_EQ(S_FALSE, document->get_documentElement(&root));
        EXPECT_TRUE(Select(document, u"//node()").empty());
    }
    DocumentPtr document = NewDocument();
    EXPECT_FALSE(Load(document, tree / "missing.xml"));
    EXPECT_FALSE(Load(document, ""));
    EXPECT_TRUE(Load(document, WriteText(tree / "later.xml", "<r><a/></r>")));
    EXPECT_EQ((std::vector<std::string>{"a"}), Select(Root(document), u"*"));
}

TEST(XmlDomLoad, NodesKeepTheirDocumentAliveButGoStaleOnReload) {
    TempTree tree;
    NodePtr root = Root(Parse(tree / "a.xml", "<r><a Key=\"1\"/></r>"));
    EXPECT_EQ((std::vector<std::string>{"a:1"}), Select(root, u"a"));

    DocumentPtr document = Parse(tree / "b.xml", "<r/>");
    NodePtr old = Root(document);
    ASSERT_TRUE(Load(document, WriteText(tree / "c.xml", "<s/>")));
    BSTR name = nullptr;
    EXPECT_EQ(E_UNEXPECTED, old->get_nodeName(&name));
    EXPECT_EQ(nullptr, name);
    EXPECT_EQ("s", NameOf(Root(document)));
}

TEST(XmlDomSave, NewDocumentIsUtf8WithoutMarkAndFailuresAreFileSystemErrors) {
    TempTree tree;
    DocumentPtr document = NewDocument();
    CComPtr<IXMLDOMElement> element;
    ASSERT_EQ(S_OK, document->createElement(_stringx(u"Items").bstr(), &element));
    NodePtr attribute;
    ASSERT_EQ(S_OK, document->createNode(CComVariant(LONG(NODE_ATTRIBUTE)),
                                         _stringx(u"Name").bstr(), nullptr, &attribute));
    ASSERT_EQ(S_OK, attribute->put_nodeValue(CComVariant(u"Grüße € <&\">")));
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    ASSERT_EQ(S_OK, element->get_attributes(&attributes));
    ASSERT_EQ(S_OK, attributes->setNamedItem(attribute, nullptr));
    ASSERT_EQ(S_OK, document->appendChild(element, nullptr));
    EXPECT_EQ("<Items Name=\"Grüße € &lt;&amp;&quot;>\"/>", Saved(document, tree / "new.xml"));

    const HRESULT hr = document->save(CComVariant((tree / "none/x.xml").u16string().c_str()));
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(FACILITY_WIN32, HRESULT_FACILITY(hr));
}

}  // namespace
