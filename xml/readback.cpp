#include "xml/readback.h"

#include <cstring>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "components/xmldom/encoding.h"
#include "components/xmldom/text.h"
#include "components/xmldom/tree.h"
#include "foundation/filesave.h"
#include "xml/xmlrules.h"

namespace xmlutils {

namespace {

// What a save must keep of a document, as one text that two readings of it
// are compared by: a record per node, in the order a tree reader hands them
// on (IKvTreeSink), each element's attributes after it. Adjacent texts are
// one, and one that is white space only is none, as a load of the saved file
// makes them; the XML declaration is left out.
class TreeDigest final : public IKvTreeSink {
public:
    bool OnNode(DOMNodeType type, UINT depth, const OLECHAR* name, UINT nameLength,
                const OLECHAR* value, UINT valueLength) override {
        if (type == NODE_TEXT && m_textDepth == depth) {
            m_text.append(value, valueLength);
            return true;
        }
        EndText();
        if (type == NODE_TEXT) {
            m_textDepth = depth;
            m_text.assign(value, valueLength);
            return true;
        }
        const bool declaration = type == NODE_PROCESSING_INSTRUCTION && depth == 1 &&
                                 std::basic_string_view<OLECHAR>(name, nameLength) == OLESTR("xml");
        if (declaration)
            return true;
        Put(type);
        Put(depth);
        // Other nodes' names are fixed by their type.
        if (type == NODE_ELEMENT || type == NODE_PROCESSING_INSTRUCTION)
            Put(name, nameLength);
        if (type != NODE_ELEMENT)
            Put(value, valueLength);
        return true;
    }
    bool OnAttribute(const OLECHAR* name, UINT nameLength, const OLECHAR* value,
                     UINT valueLength) override {
        Put(NODE_ATTRIBUTE);
        Put(name, nameLength);
        Put(value, valueLength);
        return true;
    }

    const std::basic_string<OLECHAR>& Digest() {
        EndText();
        return m_digest;
    }

private:
    void EndText() {
        if (m_textDepth == 0)
            return;
        bool blank = true;
        for (OLECHAR c : m_text)
            blank = blank && (c == ' ' || c == '\t' || c == '\n' || c == '\r');
        if (!blank) {
            Put(NODE_TEXT);
            Put(m_textDepth);
            Put(m_text.data(), m_text.size());
        }
        m_textDepth = 0;
    }
    void Put(std::size_t number) {
        for (int part = 0; part < 4; ++part)
            m_digest.push_back(static_cast<OLECHAR>((number >> (16 * part)) & 0xFFFF));
    }
    void Put(const OLECHAR* text, std::size_t length) {
        Put(length);
        m_digest.append(text, length);
    }

    std::basic_string<OLECHAR> m_digest;
    // The text being gathered and its depth; 0 when there is none.
    std::basic_string<OLECHAR> m_text;
    UINT m_textDepth = 0;
};

// Hands the nodes of a parsed tree to `sink` as ReadDocumentTree hands a
// DOM's: depth first in document order, the document's children at depth 1,
// each element followed by its attributes; texts as UTF-16.
void ReadParsedTree(const pugi::xml_document& tree, IKvTreeSink* sink) {
    std::basic_string<OLECHAR> name, value;
    const auto convert = [](const char* utf8, std::basic_string<OLECHAR>& buffer) {
        return static_cast<UINT>(kv::xmldom::ToUtf16(utf8, std::strlen(utf8), buffer));
    };
    pugi::xml_node node = tree.first_child();
    UINT depth = 1;
    while (node) {
        const DOMNodeType type = kv::xmldom::NodeType(node);
        const UINT nameUnits = convert(node.name(), name);
        const UINT valueUnits = convert(node.value(), value);
        sink->OnNode(type, depth, name.data(), nameUnits, value.data(), valueUnits);
        // Only elements have attributes: the declaration's pseudo-attributes
        // are its value, as the DOM reads them.
        for (pugi::xml_attribute attribute = node.first_attribute();
             attribute && type == NODE_ELEMENT; attribute = attribute.next_attribute()) {
            const UINT attributeNameUnits = convert(attribute.name(), name);
            const UINT attributeValueUnits = convert(attribute.value(), value);
            sink->OnAttribute(name.data(), attributeNameUnits, value.data(), attributeValueUnits);
        }
        if (const pugi::xml_node child = node.first_child()) {
            node = child;
            ++depth;
            continue;
        }
        while (!node.next_sibling() && depth > 1) {
            node = node.parent();
            --depth;
        }
        node = node.next_sibling();
    }
}

}  // namespace

HRESULT CheckSavedDocument(IXMLDOMDocument* document, const _stringx& saved,
                           const _stringx& original) {
    using kv::xmldom::FileForm;
    // Declared before the tree, whose texts point into it.
    std::string bytes;
    DWORD error = kv::ReadWholeFile(original, bytes);
    if (error != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(error);
    FileForm originalForm, savedForm;
    if (!kv::xmldom::RecogniseForm(bytes, originalForm))
        return E_FAIL;
    error = kv::ReadWholeFile(saved, bytes);
    if (error != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(error);
    pugi::xml_document tree;
    if (!kv::xmldom::DecodeDocument(bytes, savedForm) ||
        !kv::xmldom::IsSameEncoding(savedForm, originalForm) ||
        !kv::xmldom::ParseDocument(bytes, tree))
        return E_FAIL;
    TreeDigest read, held;
    ReadParsedTree(tree, &read);
    const HRESULT hr = ReadDocumentTree(document, &held);
    if (FAILED(hr))
        return hr;
    return hr == S_OK && read.Digest() == held.Digest() ? S_OK : E_FAIL;
}

}  // namespace xmlutils
