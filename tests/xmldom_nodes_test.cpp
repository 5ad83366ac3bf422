// The XML document component's nodes: names, values, XPath selection,
// attribute maps and new elements. (Selection as the library uses it is tested
// through the data-file access.)

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

HRESULT SelectError(IXMLDOMNode* context, const OLECHAR* path) {
    CComPtr<IXMLDOMNodeList> list;
    const HRESULT hr = context->selectNodes(_stringx(path).bstr(), &list);
    EXPECT_EQ(SUCCEEDED(hr), bool(list)) << U8(path);
    return hr;
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

class XmlDomNodes : public testing::Test {
protected:
    TempTree tree;
    DocumentPtr document = Parse(tree / "in.xml", kRepositories);
    NodePtr root = Root(document);
};

// (The name and value of every kind of node, read node by node, are checked
// with the wrapper's tree reader.)
TEST_F(XmlDomNodes, ElementValuesPrefixedNamesAndSelectionContext) {
    EXPECT_EQ("<null>", ValueOf(root));
    EXPECT_EQ(E_FAIL, root->put_nodeValue(CComVariant(OLESTR("x"))));
    EXPECT_EQ("kv:Tag",
              NameOf(AttributeNode(SelectOne(root, OLESTR("Repository")), OLESTR("kv:Tag"))));

    // Selections start at their node; attribute results belong to their element.
    EXPECT_TRUE(Select(root, OLESTR("Repositories")).empty());
    NodePtr none;
    EXPECT_EQ(S_FALSE, root->selectSingleNode(_stringx(OLESTR("Missing")).bstr(), &none));
    NodePtr key = SelectOne(root, OLESTR("Other/@Key"));
    ASSERT_EQ(S_OK, key->put_nodeValue(CComVariant(OLESTR("Changed"))));
    EXPECT_EQ((Names{"Other:Changed"}), Select(key, OLESTR("..")));
}

// Malformed expressions, names with a prefix that the selection namespaces do
// not declare among them, fail without a list.
TEST_F(XmlDomNodes, MalformedExpressionsFailWithoutAList) {
    // Without the breaking character \u0001 the expression with it would select both.
    EXPECT_EQ(2u, Select(root, OLESTR("Repository[@Key=\"x\" or \"1\"=\"1\"]")).size());
    for (const OLECHAR* path :
         {OLESTR("Repository["), OLESTR(""), OLESTR("1 + 1"), OLESTR("Repository[@Key=\"x\""),
          OLESTR("Repository[@Key=\"x\"\u0001] | //*[@x=\""),
          OLESTR("Repository[@Key=\"x\"\u0001 or \"1\"=\"1\"]"), OLESTR("//kv:Tag"),
          OLESTR("Repository[@kv:Tag]"), OLESTR("kv:*"), OLESTR("//x:Repository")}) {
        EXPECT_EQ(E_FAIL, SelectError(root, path)) << U8(path);
        EXPECT_EQ(E_FAIL, SelectError(document, path)) << U8(path);
        NodePtr node;
        EXPECT_EQ(E_FAIL, root->selectSingleNode(_stringx(path).bstr(), &node));
        EXPECT_FALSE(node);
    }
}

// XPath does not see the XML declaration (no node of its data model); a prefix
// the selection namespaces declare stands for its namespace, whatever prefix
// the document gives it.
TEST_F(XmlDomNodes, XPathKnowsNoDeclarationAndOnlyDeclaredPrefixes) {
    EXPECT_EQ((Names{"@Key=Local", "@Name=L", "@kv:Tag=t", "@Key=Network", "@Name=N", "@Key=O",
                     "@Key=D"}),
              Select(document, OLESTR("//@*")));
    EXPECT_EQ((Names{"Repositories"}), Select(document, OLESTR("/node()[1][count(/node())=1]")));
    EXPECT_EQ((Names{"app"}), Select(document, OLESTR("//processing-instruction()")));
    EXPECT_TRUE(Select(document, OLESTR("//@xml:lang")).empty());  // bound by definition
    // Names in literals, axes and the name tests of other steps are not prefixes.
    EXPECT_EQ((Names{"Repository:Local"}),
              Select(root, OLESTR("child::Repository[@Key!='a:b' and @Key != \"c:d\"][1]")));

    const _stringx property(OLESTR("SelectionNamespaces"));
    const CComVariant namespaces(OLESTR("xmlns:k='urn:kv'  xmlns:o=\"urn:o\""));
    ASSERT_EQ(S_OK, document->setProperty(property.bstr(), namespaces));
    EXPECT_EQ((Names{"Repository:Local"}), Select(root, OLESTR("Repository[@k:Tag='t']")));
    EXPECT_TRUE(Select(document, OLESTR("//o:Repository")).empty());
    EXPECT_EQ(E_FAIL, SelectError(document, OLESTR("//@kv:Tag")));
    EXPECT_EQ(E_FAIL, document->setProperty(property.bstr(), CComVariant(OLESTR("xmlns:kv="))));
}

TEST(XmlDomAttributes, MapsKeepDocumentOrderAndExactNamesAndReplaceInPlace) {
    TempTree tree;
    DocumentPtr document = Parse(tree / "m.xml", "<r z=\"1\" a=\"2\" m=\"3\"><!--c--><f/></r>");
    NodePtr root = Root(document);
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    ASSERT_EQ(S_OK, root->get_attributes(&attributes));
    Names names;
    NodePtr attribute;
    for (; attributes->nextNode(&attribute) == S_OK; attribute.Release())
        names.push_back(NameOf(attribute) + "=" + ValueOf(attribute));
    EXPECT_EQ((Names{"z=1", "a=2", "m=3"}), names);
    NodePtr item;
    EXPECT_EQ(S_FALSE, attributes->getQualifiedItem(_stringx(OLESTR("Z")).bstr(), nullptr, &item));
    EXPECT_FALSE(item);
    CComPtr<IXMLDOMNamedNodeMap> none;
    EXPECT_EQ(S_FALSE, SelectOne(root, OLESTR("comment()"))->get_attributes(&none));
    EXPECT_FALSE(none);

    // A set attribute replaces its namesake in place or is appended.
    EXPECT_EQ(S_OK, SetNamedItem(root, NewAttribute(document, OLESTR("a"), OLESTR("9"))));
    EXPECT_EQ(S_OK, SetNamedItem(root, NewAttribute(document, OLESTR("c"), OLESTR("4"))));
    EXPECT_EQ("<r z=\"1\" a=\"9\" m=\"3\" c=\"4\"><!--c--><f/></r>",
              Saved(document, tree / "out.xml"));
}

TEST(XmlDomEditing, NewElementsArePlacedByAppendChildAndNeedNames) {
    TempTree tree;
    DocumentPtr document =
        Parse(tree / "in.xml", "<Repositories><Repository Key=\"A\"/></Repositories>");
    NodePtr root = Root(document);
    CComPtr<IXMLDOMElement> element;
    ASSERT_EQ(S_OK, document->createElement(_stringx(OLESTR("Repository")).bstr(), &element));
    EXPECT_EQ(S_OK, SetNamedItem(element, NewAttribute(document, OLESTR("Key"), OLESTR("B"))));
    EXPECT_EQ(S_OK, SetNamedItem(element, NewAttribute(document, OLESTR("Path"), OLESTR("/p"))));
    EXPECT_TRUE(Select(root, OLESTR("Repository[@Key='B']")).empty());

    NodePtr placed;
    ASSERT_EQ(S_OK, root->appendChild(element, &placed));
    EXPECT_EQ(static_cast<IXMLDOMNode*>(element.get()), placed.get());
    // The wrapper now stands for the node in the tree.
    EXPECT_EQ(S_OK, SetNamedItem(element, NewAttribute(document, OLESTR("Key"), OLESTR("C"))));
    EXPECT_EQ((Names{"Repository:A", "Repository:C"}), Select(root, OLESTR("Repository")));
    EXPECT_EQ(
        "<Repositories><Repository Key=\"A\"/><Repository Key=\"C\" Path=\"/p\"/></Repositories>",
        Saved(document, tree / "out.xml"));

    // Names are what a file may hold: a name character other than a
    // name-start one, or no name character at all, is refused anywhere.
    NodePtr node;
    const CComVariant attribute{LONG(NODE_ATTRIBUTE)};
    CComPtr<IXMLDOMElement> bad;
    for (const OLECHAR* name : {OLESTR("1x"), OLESTR("\u0300x"), OLESTR("x\u00D7"),
                                OLESTR("\U000F0000"), OLESTR("a b")}) {
        EXPECT_EQ(E_FAIL, document->createElement(_stringx(name).bstr(), &bad)) << U8(name);
        EXPECT_EQ(E_FAIL, document->createNode(attribute, _stringx(name).bstr(), nullptr, &node));
    }
    CComPtr<IXMLDOMElement> unicode;
    EXPECT_EQ(S_OK,
              document->createElement(_stringx(OLESTR("\u00E9x\u00B7\u0300")).bstr(), &unicode));
    EXPECT_EQ(E_FAIL, document->createElement(nullptr, &bad));
    EXPECT_FALSE(bad || node);
}

// A child is removed with what lies below it; any other node is refused, and
// the wrappers of the tree are stale afterwards (nodes are selected afresh).
TEST(XmlDomEditing, RemoveChildTakesOnlyAChildAndStalesTheTree) {
    TempTree tree;
    DocumentPtr document = Parse(tree / "in.xml", "<R><A><B/></A><C/></R>");
    NodePtr root = Root(document);
    NodePtr a = SelectOne(root, OLESTR("A")), b = SelectOne(root, OLESTR("A/B"));
    NodePtr removed;
    EXPECT_EQ(E_INVALIDARG, root->removeChild(b, &removed));  // a grandchild
    EXPECT_EQ(E_INVALIDARG, b->removeChild(a, &removed));
    EXPECT_EQ(E_INVALIDARG, document->removeChild(a, &removed));
    EXPECT_FALSE(removed);
    ASSERT_EQ(S_OK, root->removeChild(a, &removed));
    EXPECT_EQ(a.get(), removed.get());
    EXPECT_EQ(E_UNEXPECTED, b->removeChild(a, nullptr));
    EXPECT_EQ("<R><C/></R>", Saved(document, tree / "out.xml"));
    EXPECT_EQ((Names{"C"}), Select(Root(document), OLESTR("*")));
}

}  // namespace
