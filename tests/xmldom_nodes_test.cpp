// The XML document component's nodes: names, values, XPath selection,
// attribute maps and new elements.

#include "test_util.h"
#include "foundation/platform/comptr.h"
#include "foundation/platform/variant.h"
#include "win32/com.h"
#include "win32/msxml.h"

using namespace kvtest;

namespace {

using Names = std::vector<std::string>;

const char kRepositories[] =
    "<?xml version=\"1.0\"?>\n"
    "<Repositories xmlns:kv=\"urn:kv\">\n"
    "  <!-- list -->\n"
    "  <Repository Key=\"Local\" Name=\"L\" kv:Tag=\"t\"/>\n"
    "  <?app run?>\n"
    "  <Repository Key=\"Network\" Name=\"N\">text<![CDATA[raw]]></Repository>\n"
    "  <Other Key=\"O\"><Deep Key=\"D\"/></Other>\n"
    "</Repositories>\n";

Names ChildNames(IXMLDOMNode* parent) {
    Names names;
    NodePtr child;
    parent->get_firstChild(&child);
    for (NodePtr next; child; child = next, next.Release()) {
        names.push_back(NameOf(child));
        EXPECT_TRUE(SUCCEEDED(child->get_nextSibling(&next)));
    }
    return names;
}

NodePtr NewAttribute(IXMLDOMDocument2* document, const OLECHAR* name, const OLECHAR* value) {
    NodePtr attribute;
    EXPECT_EQ(S_OK, document->createNode(CComVariant(LONG(NODE_ATTRIBUTE)), _stringx(name).bstr(),
                                         nullptr, &attribute));
    EXPECT_EQ(S_OK, attribute->put_nodeValue(CComVariant(value)));
    return attribute;
}

HRESULT SetNamedItem(IXMLDOMNode* element, IXMLDOMNode* attribute) {
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    EXPECT_EQ(S_OK, element->get_attributes(&attributes));
    return attributes->setNamedItem(attribute, nullptr);
}

HRESULT SetAttribute(IXMLDOMDocument2* document, IXMLDOMNode* element, const OLECHAR* name,
                     const OLECHAR* value) {
    return SetNamedItem(element, NewAttribute(document, name, value));
}

class XmlDomNodes : public testing::Test {
protected:
    TempTree tree;
    DocumentPtr document = Parse(tree / "in.xml", kRepositories);
    NodePtr root = Root(document);
};

TEST_F(XmlDomNodes, NamesTypesAndValuesWithoutEntriesForIndentation) {
    EXPECT_EQ((Names{"xml", "Repositories"}), ChildNames(document));
    EXPECT_EQ((Names{"#comment", "Repository", "app", "Repository", "Other"}), ChildNames(root));
    EXPECT_EQ((Names{"#text", "#cdata-section"}),
              ChildNames(SelectOne(root, OLESTR("Repository[2]"))));
    NodePtr declaration;
    ASSERT_EQ(S_OK, document->get_firstChild(&declaration));
    EXPECT_EQ(NODE_PROCESSING_INSTRUCTION, TypeOf(declaration));
    EXPECT_EQ("version=\"1.0\"", ValueOf(declaration));
    EXPECT_EQ(NODE_COMMENT, TypeOf(SelectOne(root, OLESTR("comment()"))));
    EXPECT_EQ(" list ", ValueOf(SelectOne(root, OLESTR("comment()"))));
    EXPECT_EQ("run", ValueOf(SelectOne(root, OLESTR("processing-instruction()"))));
    EXPECT_EQ(NODE_TEXT, TypeOf(SelectOne(root, OLESTR("Repository/text()"))));
    EXPECT_EQ("text", ValueOf(SelectOne(root, OLESTR("Repository/text()"))));
    EXPECT_EQ(NODE_ELEMENT, TypeOf(root));
    EXPECT_EQ("<null>", ValueOf(root));
    EXPECT_EQ(E_FAIL, root->put_nodeValue(CComVariant(OLESTR("x"))));

    NodePtr tag = AttributeNode(SelectOne(root, OLESTR("Repository")), OLESTR("kv:Tag"));
    ASSERT_TRUE(tag);
    EXPECT_EQ("kv:Tag", NameOf(tag));
    EXPECT_EQ(NODE_ATTRIBUTE, TypeOf(tag));
    // Attribute values are text; anything put is turned into text first.
    EXPECT_EQ(S_OK, tag->put_nodeValue(CComVariant(LONG(42))));
    EXPECT_EQ("42", ValueOf(tag));
    EXPECT_EQ(S_OK, tag->put_nodeValue(CComVariant(true)));
    EXPECT_EQ("-1",
              ValueOf(AttributeNode(SelectOne(root, OLESTR("Repository")), OLESTR("kv:Tag"))));
}

TEST_F(XmlDomNodes, SelectionIsRelativeToTheNodeItIsMadeOn) {
    EXPECT_EQ((Names{"Repository:Local", "Repository:Network"}),
              Select(root, OLESTR("Repository")));
    EXPECT_TRUE(Select(root, OLESTR("Repositories")).empty());
    EXPECT_EQ(Select(document, OLESTR("Repositories/Repository")),
              Select(root, OLESTR("Repository")));
    EXPECT_EQ((Names{"Deep:D"}), Select(root, OLESTR("//Deep")));
    EXPECT_EQ("Repository", NameOf(SelectOne(root, OLESTR("Other | Repository[@Key='Network']"))));
    NodePtr none;
    EXPECT_EQ(S_FALSE, root->selectSingleNode(_stringx(OLESTR("Missing")).bstr(), &none));

    NodePtr top = SelectOne(root, OLESTR("/"));  // the document itself
    CComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, top->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(document.get()), identity.get());

    // Attribute results are attribute nodes of their element.
    EXPECT_EQ((Names{"@Key=Local", "@Key=Network", "@Key=O", "@Key=D"}),
              Select(root, OLESTR("//@Key")));
    NodePtr key = SelectOne(root, OLESTR("Other/@Key"));
    ASSERT_EQ(S_OK, key->put_nodeValue(CComVariant(OLESTR("Changed"))));
    EXPECT_EQ((Names{"Other:Changed"}), Select(key, OLESTR("..")));
}

TEST_F(XmlDomNodes, MalformedExpressionsFailWithoutAList) {
    // Without the breaking character the last one would select both entries.
    EXPECT_EQ(2u, Select(root, OLESTR("Repository[@Key=\"x\" or \"1\"=\"1\"]")).size());
    for (const OLECHAR* path :
         {OLESTR("Repository["), OLESTR(""), OLESTR("1 + 1"), OLESTR("Repository[@Key=\"x\""),
          OLESTR("Repository[@Key=\"x\"\u0001] | //*[@x=\""),
          OLESTR("Repository[@Key=\"x\"\u0001 or \"1\"=\"1\"]")}) {
        SCOPED_TRACE(U8(path));
        CComPtr<IXMLDOMNodeList> list;
        EXPECT_EQ(E_FAIL, root->selectNodes(_stringx(path).bstr(), &list));
        EXPECT_EQ(E_FAIL, document->selectNodes(_stringx(path).bstr(), &list));
        EXPECT_FALSE(list);
        NodePtr node;
        EXPECT_EQ(E_FAIL, root->selectSingleNode(_stringx(path).bstr(), &node));
        EXPECT_FALSE(node);
    }
}

// XPath sees neither the XML declaration (no node of its data model) nor a
// prefix that the selection namespaces do not declare; a declared prefix
// stands for its namespace, whatever prefix the document gives it.
TEST_F(XmlDomNodes, XPathKnowsNoDeclarationAndOnlyDeclaredPrefixes) {
    EXPECT_EQ((Names{"@Key=Local", "@Name=L", "@kv:Tag=t", "@Key=Network", "@Name=N", "@Key=O",
                     "@Key=D"}),
              Select(document, OLESTR("//@*")));
    EXPECT_EQ((Names{"Repositories"}), Select(document, OLESTR("/node()")));
    EXPECT_EQ((Names{"app"}), Select(document, OLESTR("//processing-instruction()")));
    EXPECT_EQ((Names{"Repositories"}), Select(document, OLESTR("/node()[1][count(/node())=1]")));
    EXPECT_EQ((Names{"xml", "Repositories"}), ChildNames(document));  // the DOM lists it
    NodePtr declaration;
    ASSERT_EQ(S_OK, document->get_firstChild(&declaration));
    CComPtr<IXMLDOMNodeList> none;
    EXPECT_EQ(E_FAIL, declaration->selectNodes(_stringx(OLESTR(".")).bstr(), &none));

    for (const OLECHAR* path : {OLESTR("//kv:Tag"), OLESTR("//@kv:Tag"), OLESTR("kv:*"),
                                OLESTR("Repository[@kv:Tag]"), OLESTR("//x:Repository")}) {
        SCOPED_TRACE(U8(path));
        CComPtr<IXMLDOMNodeList> list;
        EXPECT_EQ(E_FAIL, document->selectNodes(_stringx(path).bstr(), &list));
        EXPECT_FALSE(list);
    }
    EXPECT_TRUE(Select(document, OLESTR("//@xml:lang")).empty());  // bound by definition
    // Names in literals, axes and the name tests of other steps are not prefixes.
    EXPECT_EQ((Names{"Repository:Local"}),
              Select(root, OLESTR("child::Repository[@Key!='a:b' and @Key != \"c:d\"][1]")));

    ASSERT_EQ(S_OK,
              document->setProperty(_stringx(OLESTR("SelectionNamespaces")).bstr(),
                                    CComVariant(OLESTR("xmlns:k='urn:kv'  xmlns:o=\"urn:o\""))));
    EXPECT_EQ((Names{"@kv:Tag=t"}), Select(document, OLESTR("//@k:Tag")));
    EXPECT_EQ((Names{"@kv:Tag=t"}), Select(root, OLESTR("Repository/@k:*")));
    EXPECT_EQ((Names{"Repository:Local"}), Select(root, OLESTR("Repository[@k:Tag='t']")));
    EXPECT_TRUE(Select(document, OLESTR("//o:Repository | //k:Repository")).empty());
    CComPtr<IXMLDOMNodeList> list;
    EXPECT_EQ(E_FAIL, document->selectNodes(_stringx(OLESTR("//@kv:Tag")).bstr(), &list));
}

TEST(XmlDomAttributes, MapWalksInDocumentOrderAndFindsExactNames) {
    TempTree tree;
    DocumentPtr document = Parse(tree / "m.xml", "<r z=\"1\" a=\"2\" m=\"3\"><!--c--></r>");
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    ASSERT_EQ(S_OK, Root(document)->get_attributes(&attributes));
    Names names;
    NodePtr attribute;
    for (; attributes->nextNode(&attribute) == S_OK; attribute.Release())
        names.push_back(NameOf(attribute) + "=" + ValueOf(attribute));
    EXPECT_EQ((Names{"z=1", "a=2", "m=3"}), names);
    NodePtr item;
    EXPECT_EQ(S_FALSE, attributes->getQualifiedItem(_stringx(OLESTR("Z")).bstr(), nullptr, &item));
    EXPECT_EQ(E_INVALIDARG, attributes->getQualifiedItem(_stringx(OLESTR("z")).bstr(),
                                                         _stringx(OLESTR("urn:x")).bstr(), &item));
    EXPECT_FALSE(item);
    CComPtr<IXMLDOMNamedNodeMap> none;
    EXPECT_EQ(S_FALSE, SelectOne(Root(document), OLESTR("comment()"))->get_attributes(&none));
    EXPECT_FALSE(none);
}

TEST(XmlDomEditing, AttributesAreReplacedInPlaceOrAppendedAndStayWithTheirElement) {
    TempTree tree;
    DocumentPtr document = Parse(tree / "in.xml", "<r><e a=\"1\" b=\"2\"/><f/></r>");
    NodePtr e = SelectOne(Root(document), OLESTR("e"));
    EXPECT_EQ(S_OK, SetAttribute(document, e, OLESTR("a"), OLESTR("9")));
    NodePtr added = NewAttribute(document, OLESTR("c"), OLESTR("3"));
    EXPECT_EQ(S_OK, SetNamedItem(e, added));
    EXPECT_EQ(E_FAIL, SetNamedItem(SelectOne(Root(document), OLESTR("f")), added));  // e has it now
    EXPECT_EQ(S_OK, added->put_nodeValue(CComVariant(OLESTR("4"))));
    EXPECT_EQ("<r><e a=\"9\" b=\"2\" c=\"4\"/><f/></r>", Saved(document, tree / "out.xml"));
}

TEST(XmlDomEditing, NewElementsArePlacedByAppendChildButNeverBesideTheRoot) {
    TempTree tree;
    DocumentPtr document =
        Parse(tree / "in.xml", "<Repositories><Repository Key=\"A\"/></Repositories>");
    NodePtr root = Root(document);
    CComPtr<IXMLDOMElement> element;
    ASSERT_EQ(S_OK, document->createElement(_stringx(OLESTR("Repository")).bstr(), &element));
    EXPECT_EQ(S_OK, SetAttribute(document, element, OLESTR("Key"), OLESTR("B")));
    EXPECT_EQ(S_OK, SetAttribute(document, element, OLESTR("Path"), OLESTR("/p")));
    EXPECT_TRUE(Select(root, OLESTR("Repository[@Key='B']")).empty());

    NodePtr placed;
    EXPECT_EQ(E_FAIL, document->appendChild(element, &placed));  // no second top-level element
    EXPECT_FALSE(placed);
    ASSERT_EQ(S_OK, root->appendChild(element, &placed));
    EXPECT_EQ(static_cast<IXMLDOMNode*>(element.get()), placed.get());
    // The wrapper now stands for the node in the tree.
    EXPECT_EQ(S_OK, SetAttribute(document, element, OLESTR("Key"), OLESTR("C")));
    EXPECT_EQ((Names{"Repository:A", "Repository:C"}), Select(root, OLESTR("Repository")));
    EXPECT_EQ(E_FAIL, document->appendChild(element, nullptr));  // nor move up beside it
    EXPECT_EQ(E_FAIL, element->appendChild(root, nullptr));      // nor below itself
    EXPECT_EQ(
        "<Repositories><Repository Key=\"A\"/><Repository Key=\"C\" Path=\"/p\"/></Repositories>",
        Saved(document, tree / "out.xml"));

    NodePtr node;
    const CComVariant attribute{LONG(NODE_ATTRIBUTE)};
    CComPtr<IXMLDOMElement> bad;
    EXPECT_EQ(E_FAIL, document->createElement(_stringx(OLESTR("1x")).bstr(), &bad));
    // Names are what a file may hold: a name character other than a
    // name-start one, or no name character at all, is refused anywhere.
    for (const OLECHAR* name : {OLESTR("\u00B7x"), OLESTR("\u0300x"), OLESTR("x\u00D7"),
                                OLESTR("x\u2000"), OLESTR("\U000F0000")}) {
        EXPECT_EQ(E_FAIL, document->createElement(_stringx(name).bstr(), &bad)) << U8(name);
        EXPECT_EQ(E_FAIL, document->createNode(attribute, _stringx(name).bstr(), nullptr, &node));
    }
    CComPtr<IXMLDOMElement> unicode;
    EXPECT_EQ(S_OK,
              document->createElement(_stringx(OLESTR("\u00E9x\u00B7\u0300")).bstr(), &unicode));
    EXPECT_EQ(E_FAIL, document->createElement(nullptr, &bad));
    const _stringx a(OLESTR("a")), space(OLESTR("a b")), ns(OLESTR("urn:x"));
    EXPECT_EQ(E_FAIL, document->createNode(attribute, space.bstr(), nullptr, &node));
    EXPECT_EQ(E_INVALIDARG, document->createNode(attribute, a.bstr(), ns.bstr(), &node));
    EXPECT_EQ(E_NOTIMPL,
              document->createNode(CComVariant(LONG(NODE_COMMENT)), a.bstr(), nullptr, &node));
    EXPECT_FALSE(bad || node);
}

}  // namespace
