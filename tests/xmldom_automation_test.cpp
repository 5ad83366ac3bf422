// The XML document component on Windows, where it implements the system's
// automation interfaces (msxml2.h): every object answers IDispatch, without
// type information, and the methods beyond the ones the library uses fail with
// E_NOTIMPL and empty results, while the ones it implements stay in their
// places of the system's tables. Built on Windows only.

#include <cstdint>

#include "test_util.h"
#include "foundation/platform/comptr.h"
#include "foundation/platform/variant.h"
#include "win32/com.h"
#include "win32/msxml.h"

using namespace kvtest;

namespace {

// A dummy that no method may leave in an out-parameter.
template <class T>
T* Garbage() {
    return reinterpret_cast<T*>(static_cast<std::uintptr_t>(0x1234));
}

// A variant that a method answering nothing must leave empty.
VARIANT GarbageVariant() {
    VARIANT value;
    value.vt = VT_I4;
    value.lVal = 0x1234;
    return value;
}

// `object` answers IDispatch as itself and refuses every automation call.
void ExpectDispatchStubs(IUnknown* object) {
    CComPtr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
    CComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<void*>(identity.get()), static_cast<void*>(dispatch.get()));
    UINT count = 7;
    EXPECT_EQ(E_NOTIMPL, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(0u, count);
    ITypeInfo* info = Garbage<ITypeInfo>();
    EXPECT_EQ(E_NOTIMPL, dispatch->GetTypeInfo(0, 0, &info));
    EXPECT_EQ(nullptr, info);
    LPOLESTR name = const_cast<LPOLESTR>(OLESTR("nodeName"));
    DISPID id = 0;
    EXPECT_EQ(E_NOTIMPL, dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT result = GarbageVariant();
    EXPECT_EQ(E_NOTIMPL,
              dispatch->Invoke(0, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr));
    EXPECT_EQ(VT_EMPTY, result.vt);
}

TEST(XmlDomAutomation, EveryObjectAnswersDispatchWithoutTypeInformation) {
    TempTree tree;
    DocumentPtr document = Parse(tree / "in.xml", "<r a='1'><c/></r>");
    NodePtr root = Root(document);
    ASSERT_TRUE(root);
    CComPtr<IXMLDOMNodeList> list;
    ASSERT_EQ(S_OK, root->selectNodes(_stringx(OLESTR("*")).bstr(), &list));
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    ASSERT_EQ(S_OK, root->get_attributes(&attributes));
    NodePtr attribute = AttributeNode(root, OLESTR("a"));
    ASSERT_TRUE(attribute);
    for (IUnknown* object :
         std::initializer_list<IUnknown*>{document, root, attribute, list, attributes}) {
        SCOPED_TRACE(testing::PrintToString(static_cast<void*>(object)));
        ExpectDispatchStubs(object);
    }
}

// Each object is asked for what the library never uses, then for what it
// does: a method in the wrong place of the table would answer the second.
TEST(XmlDomAutomation, OtherMethodsFailWithEmptyResultsBesideTheImplementedOnes) {
    TempTree tree;
    DocumentPtr document = Parse(tree / "in.xml", "<r a='1'><c/></r>");
    BSTR text = Garbage<OLECHAR>();
    EXPECT_EQ(E_NOTIMPL, document->get_xml(&text));
    EXPECT_EQ(nullptr, text);
    VARIANT_BOOL flag = VARIANT_TRUE;
    EXPECT_EQ(E_NOTIMPL, document->loadXML(_stringx(OLESTR("<x/>")).bstr(), &flag));
    EXPECT_EQ(VARIANT_FALSE, flag);
    CComPtr<IXMLDOMParseError> error;
    EXPECT_EQ(E_NOTIMPL, document->validate(&error));
    EXPECT_EQ(E_NOTIMPL, document->put_async(VARIANT_FALSE));

    CComPtr<IXMLDOMElement> root;
    ASSERT_EQ(S_OK, document->get_documentElement(&root));
    text = Garbage<OLECHAR>();
    EXPECT_EQ(E_NOTIMPL, root->get_tagName(&text));
    EXPECT_EQ(nullptr, text);
    VARIANT value = GarbageVariant();
    EXPECT_EQ(E_NOTIMPL, root->getAttribute(_stringx(OLESTR("a")).bstr(), &value));
    EXPECT_EQ(VT_EMPTY, value.vt);
    IXMLDOMNode* parent = Garbage<IXMLDOMNode>();
    EXPECT_EQ(E_NOTIMPL, root->get_parentNode(&parent));
    EXPECT_EQ(nullptr, parent);
    EXPECT_EQ("r", NameOf(root));
    EXPECT_EQ((std::vector<std::string>{"c"}), Select(root, OLESTR("*")));

    NodePtr attribute = AttributeNode(root, OLESTR("a"));
    ASSERT_TRUE(attribute);
    CComPtr<IXMLDOMAttribute> typed;
    ASSERT_EQ(S_OK,
              attribute->QueryInterface(IID_IXMLDOMAttribute, reinterpret_cast<void**>(&typed)));
    value = GarbageVariant();
    EXPECT_EQ(E_NOTIMPL, typed->get_value(&value));
    EXPECT_EQ(VT_EMPTY, value.vt);
    EXPECT_EQ("1", ValueOf(typed));

    CComPtr<IXMLDOMNodeList> list;
    ASSERT_EQ(S_OK, root->selectNodes(_stringx(OLESTR("*")).bstr(), &list));
    IXMLDOMNode* item = Garbage<IXMLDOMNode>();
    EXPECT_EQ(E_NOTIMPL, list->get_item(0, &item));
    EXPECT_EQ(nullptr, item);
    long length = 0;
    EXPECT_EQ(S_OK, list->get_length(&length));
    EXPECT_EQ(1, length);

    CComPtr<IXMLDOMNamedNodeMap> attributes;
    ASSERT_EQ(S_OK, root->get_attributes(&attributes));
    item = Garbage<IXMLDOMNode>();
    EXPECT_EQ(E_NOTIMPL, attributes->getNamedItem(_stringx(OLESTR("a")).bstr(), &item));
    EXPECT_EQ(nullptr, item);
    EXPECT_EQ(S_OK, attributes->get_length(&length));
    EXPECT_EQ(1, length);
}

}  // namespace
