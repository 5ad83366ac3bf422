// Helpers of the XML document component's tests: documents created through
// the component loader, fixture files in a temporary folder, and short ways to
// read names, values and selections.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/componentloader.h"
#include "foundation/platform/bstr.h"
#include "foundation/platform/xmldom.h"
#include "loader_test_util.h"
#include "test_util.h"

namespace xmldomtest {

namespace fs = std::filesystem;
using DocumentPtr = CComPtr<IXMLDOMDocument2>;
using NodePtr = CComPtr<IXMLDOMNode>;

// A BSTR argument that frees itself.
class Text {
public:
    Text(const std::u16string& text)
        : m_text(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Text() { SysFreeString(m_text); }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    operator BSTR() const { return m_text; }

private:
    BSTR m_text;
};

inline DocumentPtr NewDocument() {
    DocumentPtr document;
    EXPECT_EQ(S_OK, kv::ComponentLoader::Process().CreateInstance(
                        u"msxml4.dll", CLSID_DOMDocument40, IID_IXMLDOMDocument2, &document));
    return document;
}

inline std::u16string TakeBstr(BSTR text) {
    std::u16string result(text ? text : u"", SysStringLen(text));
    SysFreeString(text);
    return result;
}

inline std::string NameOf(IXMLDOMNode* node) {
    BSTR name = nullptr;
    EXPECT_EQ(S_OK, node->get_nodeName(&name));
    return U8(_stringx(TakeBstr(name).c_str()));
}

inline DOMNodeType TypeOf(IXMLDOMNode* node) {
    DOMNodeType type = NODE_INVALID;
    EXPECT_EQ(S_OK, node->get_nodeType(&type));
    return type;
}

// The node's value, which must be text.
inline std::u16string ValueOf(IXMLDOMNode* node) {
    CComVariant value;
    EXPECT_EQ(S_OK, node->get_nodeValue(&value));
    EXPECT_EQ(VT_BSTR, value.vt);
    return value.vt == VT_BSTR ? std::u16string(value.bstrVal, SysStringLen(value.bstrVal))
                               : std::u16string();
}

inline NodePtr AttributeNode(IXMLDOMNode* element, const std::u16string& name) {
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    EXPECT_EQ(S_OK, element->get_attributes(&attributes));
    NodePtr attribute;
    if (attributes)
        attributes->getQualifiedItem(Text(name), nullptr, &attribute);
    return attribute;
}

// An attribute's text; "(none)" when the element lacks it.
inline std::u16string AttributeOf(IXMLDOMNode* element, const std::u16string& name) {
    NodePtr attribute = AttributeNode(element, name);
    return attribute ? ValueOf(attribute) : u"(none)";
}

inline std::vector<NodePtr> Nodes(IXMLDOMNodeList* list) {
    std::vector<NodePtr> nodes;
    NodePtr node;
    while (list->nextNode(&node) == S_OK) {
        nodes.push_back(node);
        node.Release();
    }
    return nodes;
}

// A selection described node by node: an element as its name (":Key" added
// when it has a Key attribute), an attribute as "@name=value", other nodes by
// name.
inline std::vector<std::string> Select(IXMLDOMNode* context, const std::u16string& path) {
    CComPtr<IXMLDOMNodeList> list;
    EXPECT_EQ(S_OK, context->selectNodes(Text(path), &list)) << U8(_stringx(path.c_str()));
    std::vector<std::string> described;
    if (!list)
        return described;
    for (const NodePtr& node : Nodes(list)) {
        std::string text = NameOf(node);
        if (TypeOf(node) == NODE_ATTRIBUTE)
            text = "@" + text + "=" + U8(_stringx(ValueOf(node).c_str()));
        else if (TypeOf(node) == NODE_ELEMENT && AttributeNode(node, u"Key"))
            text += ":" + U8(_stringx(AttributeOf(node, u"Key").c_str()));
        described.push_back(text);
    }
    return described;
}

// Fixture files in a temporary folder, and documents loaded from them.
class DomTest : public ::testing::Test {
protected:
    fs::path Write(const std::string& name, const std::string& bytes) {
        const fs::path path = m_folder / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static HRESULT Load(IXMLDOMDocument2* document, const fs::path& path, VARIANT_BOOL* loaded) {
        return document->load(CComVariant(path.u16string().c_str()), loaded);
    }
    static HRESULT Save(IXMLDOMDocument2* document, const fs::path& path) {
        return document->save(CComVariant(path.u16string().c_str()));
    }
    // A document loaded from `bytes`, which must load.
    DocumentPtr Parse(const std::string& bytes) {
        DocumentPtr document = NewDocument();
        VARIANT_BOOL loaded = VARIANT_FALSE;
        EXPECT_EQ(S_OK, Load(document, Write("fixture.xml", bytes), &loaded));
        EXPECT_EQ(VARIANT_TRUE, loaded);
        return document;
    }
    // What saving the document writes.
    std::string Saved(IXMLDOMDocument2* document) {
        const fs::path path = m_folder / "saved.xml";
        EXPECT_EQ(S_OK, Save(document, path));
        return Read(path);
    }
    static NodePtr Root(IXMLDOMDocument2* document) {
        CComPtr<IXMLDOMElement> root;
        EXPECT_EQ(S_OK, document->get_documentElement(&root));
        return NodePtr(root.get());
    }

    kvtest::TempTree m_tree;
    fs::path m_folder = m_tree.root();
};

}  // namespace xmldomtest
