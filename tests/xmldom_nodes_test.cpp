// The XML document component's nodes: names, values, XPath selection,
// attribute maps and new elements.

#include "xmldom_test_util.h"

using namespace xmldomtest;

namespace {

const char kRepositories[] =
    "<?xml version=\"1.0\"?>\n"
    "<Repositories xmlns:kv=\"urn:kv\">\n"
    "  <!-- list -->\n"
    "  <Repository Key=\"Local\" Name=\"L\" kv:Tag=\"t\"/>\n"
    "  <?app run?>\n"
    "  <Repository Key=\"Network\" Name=\"N\">text<![CDATA[raw]]></Repository>\n"
    "  <Other Key=\"O\"><Deep Key=\"D\"/></Other>\n"
    "</Repositories>\n";

std::vector<std::string> ChildNames(IXMLDOMNode* parent) {
    std::vector<std::string> names;
    NodePtr child;
    parent->get_firstChild(&child);
    while (child) {
        names.push_back(NameOf(child));
        NodePtr next;
        EXPECT_TRUE(SUCCEEDED(child->get_nextSibling(&next)));
        child = next;
    }
    return names;
}

NodePtr SelectOne(IXMLDOMNode* context, const std::u16string& path) {
    NodePtr node;
    EXPECT_EQ(S_OK, context->selectSingleNode(Text(path), &node));
    return node;
}

NodePtr NewAttribute(IXMLDOMDocument2* document, const std::u16string& name,
                     const std::u16string& value) {
    NodePtr attribute;
    EXPECT_EQ(S_OK, document->createNode(CComVariant(LONG(NODE_ATTRIBUTE)), Text(name), Text(u""),
                                         &attribute));
    EXPECT_EQ(S_OK, attribute->put_nodeValue(CComVariant(value.c_str())));
    return attribute;
}

HRESULT SetNamedItem(IXMLDOMNode* element, IXMLDOMNode* attribute) {
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    EXPECT_EQ(S_OK, element->get_attributes(&attributes));
    return attributes->setNamedItem(attribute, nullptr);
}

using XmlDomNodes = DomTest;

TEST_F(XmlDomNodes, NamesAndTypesWithoutEntriesForIndentation) {
    DocumentPtr document = Parse(kRepositories);
    EXPECT_EQ((std::vector<std::string>{"xml", "Repositories"}), ChildNames(document));
    NodePtr root = Root(document);
    EXPECT_EQ((std::vector<std::string>{"#comment", "Repository", "app", "Repository", "Other"}),
              ChildNames(root));
    EXPECT_EQ((std::vector<std::string>{"#text", "#cdata-section"}),
              ChildNames(SelectOne(root, u"Repository[2]")));

    NodePtr declaration;
    ASSERT_EQ(S_OK, document->get_firstChild(&declaration));
    EXPECT_EQ(NODE_PROCESSING_INSTRUCTION, TypeOf(declaration));
    EXPECT_EQ(NODE_PROCESSING_INSTRUCTION, TypeOf(SelectOne(root, u"processing-instruction()")));
    EXPECT_EQ(NODE_COMMENT, TypeOf(SelectOne(root, u"comment()")));
    EXPECT_EQ(NODE_TEXT, TypeOf(SelectOne(root, u"Repository/text()")));
    EXPECT_EQ(NODE_ELEMENT, TypeOf(root));
    NodePtr tag = AttributeNode(SelectOne(root, u"Repository"), u"kv:Tag");
    ASSERT_TRUE(tag);
    EXPECT_EQ("kv:Tag", NameOf(tag));
    EXPECT_EQ(NODE_ATTRIBUTE, TypeOf(tag));
}

TEST_F(XmlDomNodes, ValuesOfEachKind) {
    DocumentPtr document = Parse(kRepositories);
    NodePtr root = Root(document);
    EXPECT_EQ(u" list ", ValueOf(SelectOne(root, u"comment()")));
    EXPECT_EQ(u"run", ValueOf(SelectOne(root, u"processing-instruction()")));
    EXPECT_EQ(u"text", ValueOf(SelectOne(root, u"Repository/text()")));
    NodePtr declaration;
    ASSERT_EQ(S_OK, document->get_firstChild(&declaration));
    EXPECT_EQ(u"version=\"1.0\"", ValueOf(declaration));

    CComVariant value;
    EXPECT_EQ(S_OK, root->get_nodeValue(&value));
    EXPECT_EQ(VT_NULL, value.vt);
    EXPECT_EQ(E_FAIL, root->put_nodeValue(CComVariant(u"x")));

    // Attribute values are text; anything put is turned into text first.
    NodePtr key = AttributeNode(SelectOne(root, u"Repository"), u"Key");
    EXPECT_EQ(u"Local", ValueOf(key));
    EXPECT_EQ(S_OK, key->put_nodeValue(CComVariant(LONG(42))));
    EXPECT_EQ(u"42", ValueOf(key));
    EXPECT_EQ(S_OK, key->put_nodeValue(CComVariant(true)));
    EXPECT_EQ(u"-1", AttributeOf(SelectOne(root, u"Repository"), u"Key"));
}

TEST_F(XmlDomNodes, SelectionIsRelativeToTheNodeItIsMadeOn) {
    DocumentPtr document = Parse(kRepositories);
    NodePtr root = Root(document);
    EXPECT_EQ((std::vector<std::string>{"Repository:Local", "Repository:Network"}),
              Select(root, u"Repository"));
    EXPECT_TRUE(Select(root, u"Repositories").empty());
    EXPECT_EQ((std::vector<std::string>{"Repository:Local", "Repository:Network"}),
              Select(document, u"Repositories/Repository"));
    EXPECT_EQ((std::vector<std::string>{"Deep:D"}), Select(root, u"//Deep"));

    // "/" selects the document itself.
    NodePtr top = SelectOne(root, u"/");
    ASSERT_TRUE(top);
    EXPECT_EQ(NODE_DOCUMENT, TypeOf(top));
    CComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, top->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(document.get()), identity.get());

    NodePtr none;
    EXPECT_EQ(S_FALSE, root->selectSingleNode(Text(u"Missing"), &none));
    EXPECT_FALSE(none);
}

TEST_F(XmlDomNodes, AttributeResultsAreAttributeNodesOfTheirElement) {
    DocumentPtr document = Parse(kRepositories);
    NodePtr root = Root(document);
    EXPECT_EQ((std::vector<std::string>{"@Key=Local", "@Key=Network", "@Key=O", "@Key=D"}),
              Select(root, u"//@Key"));
    NodePtr key = SelectOne(root, u"Other/@Key");
    ASSERT_EQ(S_OK, key->put_nodeValue(CComVariant(u"Changed")));
    EXPECT_EQ((std::vector<std::string>{"Other:Changed"}), Select(root, u"Other"));
    // Selection from an attribute: its parent is its element.
    EXPECT_EQ((std::vector<std::string>{"Other:Changed"}), Select(key, u".."));
}

TEST_F(XmlDomNodes, ResultsComeInDocumentOrder) {
    DocumentPtr document = Parse(kRepositories);
    NodePtr root = Root(document);
    EXPECT_EQ((std::vector<std::string>{"Repository:Local", "Repository:Network", "Other:O"}),
              Select(root, u"Other | Repository"));
    EXPECT_EQ((std::vector<std::string>{"Repository:Local", "Repository:Network"}),
              Select(root, u"Other/preceding-sibling::*"));
    EXPECT_EQ((std::vector<std::string>{"Repositories", "Other:O", "Deep:D"}),
              Select(root, u"Other/Deep/ancestor-or-self::*"));
    EXPECT_EQ("Repository", NameOf(SelectOne(root, u"Other | Repository[@Key='Network']")));
}

TEST_F(XmlDomNodes, MalformedExpressionsFailWithoutAList) {
    DocumentPtr document = Parse(
        "<Repositories><Dialogs><RepoItem><ItemAttrib FileName=\"a\" x=\"1\"/></RepoItem>"
        "</Dialogs><Repository Key=\"x\"/><Repository Key=\"y\"/></Repositories>");
    NodePtr root = Root(document);
    // Without the breaking character the second expression would select both.
    EXPECT_EQ(2u, Select(root, u"Repository[@Key=\"x\" or \"1\"=\"1\"]").size());
    const std::u16string bad[] = {
        u"Repository[",
        u"",
        u"1 + 1",
        u"Repository[@Key=\"x\"",
        u"Dialogs/RepoItem/ItemAttrib[@FileName=\"a\"\u0001] | //*[@x=\"",
        u"Repository[@Key=\"x\"\u0001 or \"1\"=\"1\"]",
    };
    for (const std::u16string& path : bad) {
        SCOPED_TRACE(U8(_stringx(path.c_str())));
        CComPtr<IXMLDOMNodeList> list;
        EXPECT_EQ(E_FAIL, root->selectNodes(Text(path), &list));
        EXPECT_FALSE(list);
        EXPECT_EQ(E_FAIL, document->selectNodes(Text(path), &list));
        EXPECT_FALSE(list);
        NodePtr node;
        EXPECT_EQ(E_FAIL, root->selectSingleNode(Text(path), &node));
        EXPECT_FALSE(node);
    }
}

TEST_F(XmlDomNodes, AttributeMapWalksInDocumentOrderAndFindsExactNames) {
    DocumentPtr document = Parse("<r z=\"1\" a=\"2\" m=\"3\"><!--c--></r>");
    NodePtr root = Root(document);
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    ASSERT_EQ(S_OK, root->get_attributes(&attributes));
    long length = 0;
    EXPECT_EQ(S_OK, attributes->get_length(&length));
    EXPECT_EQ(3, length);
    std::vector<std::string> names;
    NodePtr attribute;
    while (attributes->nextNode(&attribute) == S_OK) {
        names.push_back(NameOf(attribute) + "=" + U8(_stringx(ValueOf(attribute).c_str())));
        attribute.Release();
    }
    EXPECT_EQ((std::vector<std::string>{"z=1", "a=2", "m=3"}), names);
    EXPECT_FALSE(attribute);
    EXPECT_EQ(S_OK, attributes->reset());
    ASSERT_EQ(S_OK, attributes->nextNode(&attribute));
    EXPECT_EQ("z", NameOf(attribute));

    NodePtr item;
    EXPECT_EQ(S_FALSE, attributes->getQualifiedItem(Text(u"Z"), Text(u""), &item));
    EXPECT_FALSE(item);
    EXPECT_EQ(E_INVALIDARG, attributes->getQualifiedItem(Text(u"z"), Text(u"urn:x"), &item));

    CComPtr<IXMLDOMNamedNodeMap> none;
    EXPECT_EQ(S_FALSE, SelectOne(root, u"comment()")->get_attributes(&none));
    EXPECT_FALSE(none);
}

TEST_F(XmlDomNodes, SetNamedItemReplacesInPlaceOrAppends) {
    DocumentPtr document = Parse("<r><e a=\"1\" b=\"2\"/><f/></r>");
    NodePtr e = SelectOne(Root(document), u"e");
    EXPECT_EQ(S_OK, SetNamedItem(e, NewAttribute(document, u"a", u"9")));
    NodePtr added = NewAttribute(document, u"c", u"3");
    EXPECT_EQ(S_OK, SetNamedItem(e, added));
    // Now on `e`: another element cannot take it, and it follows the element.
    EXPECT_EQ(E_FAIL, SetNamedItem(SelectOne(Root(document), u"f"), added));
    EXPECT_EQ(S_OK, added->put_nodeValue(CComVariant(u"4")));
    EXPECT_EQ("<r><e a=\"9\" b=\"2\" c=\"4\"/><f/></r>", Saved(document));
}

TEST_F(XmlDomNodes, NewElementTakesAttributesAndIsPlacedByAppendChild) {
    DocumentPtr document = Parse("<Repositories><Repository Key=\"A\"/></Repositories>");
    CComPtr<IXMLDOMElement> element;
    ASSERT_EQ(S_OK, document->createElement(Text(u"Repository"), &element));
    EXPECT_EQ("Repository", NameOf(element));
    EXPECT_EQ(S_OK, SetNamedItem(element, NewAttribute(document, u"Key", u"B")));
    EXPECT_EQ(S_OK, SetNamedItem(element, NewAttribute(document, u"Path", u"/p")));
    EXPECT_EQ(u"B", AttributeOf(element, u"Key"));
    EXPECT_TRUE(Select(Root(document), u"Repository[@Key='B']").empty());

    NodePtr placed;
    ASSERT_EQ(S_OK, Root(document)->appendChild(element, &placed));
    EXPECT_EQ(static_cast<IXMLDOMNode*>(element.get()), placed.get());
    // The wrapper now stands for the node in the tree.
    EXPECT_EQ(S_OK, SetNamedItem(element, NewAttribute(document, u"Key", u"C")));
    EXPECT_EQ((std::vector<std::string>{"Repository:A", "Repository:C"}),
              Select(Root(document), u"Repository"));
    EXPECT_EQ(
        "<Repositories><Repository Key=\"A\"/><Repository Key=\"C\" Path=\"/p\"/>"
        "</Repositories>",
        Saved(document));
}

TEST_F(XmlDomNodes, DocumentTakesNoSecondElement) {
    DocumentPtr document = Parse("<r/>");
    CComPtr<IXMLDOMElement> element;
    ASSERT_EQ(S_OK, document->createElement(Text(u"s"), &element));
    NodePtr placed;
    EXPECT_EQ(E_FAIL, document->appendChild(element, &placed));
    EXPECT_FALSE(placed);
    EXPECT_EQ("<r/>", Saved(document));
    // The refused element is still new, and can go elsewhere.
    EXPECT_EQ(S_OK, Root(document)->appendChild(element, nullptr));
    EXPECT_EQ("<r><s/></r>", Saved(document));
    // Nor can an element move up beside the document element.
    EXPECT_EQ(E_FAIL, document->appendChild(element, nullptr));
    // An element cannot move below itself.
    EXPECT_EQ(E_FAIL, element->appendChild(Root(document), nullptr));
}

TEST_F(XmlDomNodes, RefusesBadNamesAndUnsupportedNodes) {
    DocumentPtr document = NewDocument();
    CComPtr<IXMLDOMElement> element;
    EXPECT_EQ(E_FAIL, document->createElement(Text(u"1x"), &element));
    EXPECT_EQ(E_FAIL, document->createElement(Text(u""), &element));
    EXPECT_EQ(E_FAIL, document->createElement(Text(u"*"), &element));
    EXPECT_FALSE(element);
    NodePtr node;
    const CComVariant attributeType{static_cast<LONG>(NODE_ATTRIBUTE)};
    EXPECT_EQ(E_FAIL, document->createNode(attributeType, Text(u"a b"), Text(u""), &node));
    EXPECT_EQ(E_INVALIDARG, document->createNode(attributeType, Text(u"a"), Text(u"urn:x"), &node));
    EXPECT_EQ(E_NOTIMPL,
              document->createNode(CComVariant(LONG(NODE_COMMENT)), Text(u"c"), Text(u""), &node));
    EXPECT_FALSE(node);
}

}  // namespace
