#include "foundation/platform/varianttext.h"
#include "components/xmldom/document.h"

#include <cstring>

#include "components/xmldom/attribute.h"
#include "components/xmldom/companion.h"
#include "components/xmldom/node.h"
#include "components/xmldom/nodeops.h"
#include "components/xmldom/text.h"
#include "components/xmldom/tree.h"
#include "components/xmldom/variant.h"
#include "components/xmldom/xmlchars.h"
#include "components/xmldom/xpathnames.h"
#include "foundation/filesave.h"
#include "foundation/platform/faults.h"
#include "foundation/platform/comptr.h"
#include "foundation/platform/variant.h"
#include "win32/bstr.h"
#include "win32/com.h"
#include "win32/msxml.h"
#include "win32/oleauto.h"
#include "win32/errors.h"
#include "win32/fileio.h"

namespace kv {
namespace xmldom {

namespace {

// How the naive variant (components/xmldom/variant.h) parses.
constexpr unsigned kNaiveParseOptions =
    kParseOptions | pugi::parse_escapes | pugi::parse_eol | pugi::parse_doctype;

// Writes `bytes` over the file at `path` in place, as a naive DOM does: a
// failure or a crash on the way leaves it torn.
DWORD WriteInPlace(const _stringx& path, const std::string& bytes) {
    const HANDLE handle =
        CreateFileA(path.narrow(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError();
    DWORD written = 0;
    const BOOL wrote =
        WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    const DWORD error = GetLastError();
    const BOOL closed = CloseHandle(handle);
    if (!wrote)
        return error;
    return closed ? ERROR_SUCCESS : GetLastError();
}

// Whether a save in another form than UTF-8 without a mark is written as its
// UTF-8 text instead, under the declaration as loaded, as a careless DOM
// saves: only the naive variant, when a test's fault says so
// (FileCall::kDomEncode).
bool SavesUtf8Regardless() {
#ifdef KV_FAULT_INJECTION
    return kNaive &&
           platform::DecideFault(platform::FileCall::kDomEncode) != platform::FaultOutcome::kPass;
#else
    return false;
#endif
}

// Collects what pugixml writes, with each carriage return as a reference:
// pugixml writes one in text as it is, which would read back as a line feed.
// Only text can hold one here (see CanBeSaved; attribute values are written
// with references by pugixml).
class StringWriter final : public pugi::xml_writer {
public:
    explicit StringWriter(std::string& text) : m_text(text) {}
    void write(const void* data, std::size_t size) override {
        const char* text = static_cast<const char*>(data);
        for (const char* cr; (cr = static_cast<const char*>(std::memchr(text, '\r', size)));) {
            m_text.append(text, cr).append("&#13;");
            size -= static_cast<std::size_t>(cr + 1 - text);
            text = cr + 1;
        }
        m_text.append(text, size);
    }

private:
    std::string& m_text;
};

// The path a load or save variant names.
HRESULT PathOf(const VARIANT& source, _stringx& path) {
    CComVariant text;
    const HRESULT hr = kv::platform::ChangeVariantType(&text, &source, VT_BSTR);
    if (FAILED(hr))
        return E_INVALIDARG;
    path = _stringx(text.bstrVal, SysStringLen(text.bstrVal));
    return S_OK;
}

bool IsName(BSTR name, const OLECHAR* expected) {
    return name && std::basic_string<OLECHAR>(name, SysStringLen(name)) == expected;
}

// The document's optional interfaces (see companion.h).
class TreeReader final : public Companion<IKvTreeReader, Document> {
public:
    explicit TreeReader(Document* document) : Companion(document, IID_IKvTreeReader) {}
    HRESULT STDMETHODCALLTYPE ReadTree(IKvTreeSink* sink) override {
        return m_owner->ReadTree(sink);
    }
};

class TreeReaderUtf8 final : public Companion<IKvTreeReaderUtf8, Document> {
public:
    explicit TreeReaderUtf8(Document* document) : Companion(document, IID_IKvTreeReaderUtf8) {}
    HRESULT STDMETHODCALLTYPE ReadTreeUtf8(IKvTreeSinkUtf8* sink) override {
        return m_owner->ReadTreeUtf8(sink);
    }
};

class DocumentWriter final : public Companion<IKvDocumentWriter, Document> {
public:
    explicit DocumentWriter(Document* document) : Companion(document, IID_IKvDocumentWriter) {}
    HRESULT STDMETHODCALLTYPE WriteInto(BSTR path) override { return m_owner->WriteInto(path); }
};

class LoadedUnderRules final : public Companion<IKvLoadedUnderRules, Document> {
public:
    explicit LoadedUnderRules(Document* document) : Companion(document, IID_IKvLoadedUnderRules) {}
    HRESULT STDMETHODCALLTYPE GetLoadRulesVersion(UINT* version) override {
        if (!version)
            return E_POINTER;
        *version = m_owner->Loaded() ? kKvLoadRulesVersion : 0;
        return *version ? S_OK : S_FALSE;
    }
};

}  // namespace

Document::Document() : m_selectionLanguage(OLESTR("XPath")), m_selectionNamespaces(OLESTR("")) {}

Document::~Document() = default;

void Document::Reset() {
    m_tree.reset();
    m_declaration.reset();
    m_text.clear();
    m_text.shrink_to_fit();
    m_loaded = false;
    ++m_generation;
}

bool Document::Read(const VARIANT& source) {
    _stringx path;
    FileForm form;
    // One buffer all the way: read, decoded in place and parsed in place (the
    // tree's texts point into it), rather than a copy at each step.
    std::string text;
    if (FAILED(PathOf(source, path)) || path.empty() ||
        ReadWholeFile(path, text) != ERROR_SUCCESS || !DecodeDocument(text, form))
        return false;
    m_text.swap(text);
    const bool parsed =
        kNaive ? bool(m_tree.load_buffer_inplace(&m_text[0], m_text.size(), kNaiveParseOptions,
                                                 pugi::encoding_utf8))
               : ParseDocument(m_text, m_tree);
    if (!parsed)
        return false;
    // The declaration is no node of XPath's model: it lives apart from the
    // tree that selections search.
    const pugi::xml_node declaration = m_tree.first_child();
    if (declaration.type() == pugi::node_declaration) {
        m_declaration.append_copy(declaration);
        m_tree.remove_child(declaration);
    }
    m_form = form;
    return true;
}

pugi::xml_node Document::NextSibling(const pugi::xml_node& node) const {
    // Only the declaration kept apart leads to the tree; one the naive
    // variant left inside the tree has its own siblings there.
    return node.parent() == m_declaration ? m_tree.first_child() : node.next_sibling();
}

std::string Document::Serialise() const {
    // The declaration is written as it was loaded, before the tree; pugixml
    // must not add one of its own. The loaded size is a good first guess of
    // the text's, which saves growing it step by step.
    std::string text;
    text.reserve(m_text.size() + m_text.size() / 16 + 4096);
    StringWriter writer(text);
    const unsigned flags = pugi::format_raw | pugi::format_no_declaration;
    m_declaration.save(writer, "", flags, pugi::encoding_utf8);
    m_tree.save(writer, "", flags, pugi::encoding_utf8);
    return text;
}

HRESULT Document::QueryInterface(REFIID iid, void** object) {
    if (object && !kNaive) {
        if (iid == IID_IKvTreeReader)
            return AnswerWithCompanion<TreeReader>(this, object);
        if (iid == IID_IKvTreeReaderUtf8)
            return AnswerWithCompanion<TreeReaderUtf8>(this, object);
        if (iid == IID_IKvDocumentWriter)
            return AnswerWithCompanion<DocumentWriter>(this, object);
        if (iid == IID_IKvLoadedUnderRules)
            return AnswerWithCompanion<LoadedUnderRules>(this, object);
    }
    return Answer(iid, object,
                  {&IID_IUnknown, &IID_IXMLDOMNode, &IID_IXMLDOMDocument, &IID_IXMLDOMDocument2});
}

HRESULT Document::ReadTree(IKvTreeSink* sink) {
    if (!sink)
        return E_POINTER;
    // What the standard methods give: the UTF-8 reading, each text converted
    // as they convert it, into buffers reused from one text to the next.
    class Converter final : public IKvTreeSinkUtf8 {
    public:
        explicit Converter(IKvTreeSink* sink) : m_sink(sink) {}
        bool OnNode(DOMNodeType type, UINT depth, const char* name, std::size_t nameLength,
                    const char* value, std::size_t valueLength) override {
            const UINT nameUnits = Convert(name, nameLength, m_name);
            const UINT valueUnits = Convert(value, valueLength, m_value);
            return m_sink->OnNode(type, depth, m_name.data(), nameUnits, m_value.data(),
                                  valueUnits);
        }
        bool OnAttribute(const char* name, std::size_t nameLength, const char* value,
                         std::size_t valueLength) override {
            const UINT nameUnits = Convert(name, nameLength, m_name);
            const UINT valueUnits = Convert(value, valueLength, m_value);
            return m_sink->OnAttribute(m_name.data(), nameUnits, m_value.data(), valueUnits);
        }

    private:
        static UINT Convert(const char* utf8, std::size_t length,
                            std::basic_string<OLECHAR>& buffer) {
            return static_cast<UINT>(ToUtf16(utf8, length, buffer));
        }

        IKvTreeSink* m_sink;
        std::basic_string<OLECHAR> m_name, m_value;
    } converter(sink);
    return ReadTreeUtf8(&converter);
}

HRESULT Document::ReadTreeUtf8(IKvTreeSinkUtf8* sink) {
    if (!sink)
        return E_POINTER;
    return component::Guarded([&] {
        // Depth first without recursion, pugixml's parent links leading back
        // up. The tree's own texts, but for the names of nodes other than
        // elements and the declaration's value, which are made.
        std::string made, madeValue;
        pugi::xml_node node = m_declaration.first_child();
        if (!node)
            node = m_tree.first_child();
        UINT depth = 1;
        while (node) {
            const DOMNodeType type = NodeType(node);
            const char* name = node.name();
            std::size_t nameLength = 0;
            if (type == NODE_ELEMENT) {
                nameLength = std::strlen(name);
            } else {
                made = NodeName(node);
                name = made.c_str();
                nameLength = made.size();
            }
            const char* value = "";
            std::size_t valueLength = 0;
            if (type == NODE_PROCESSING_INSTRUCTION && node.type() == pugi::node_declaration) {
                CComVariant declaration;
                const HRESULT hr = GetNodeValue(node, &declaration);
                if (FAILED(hr))
                    return hr;
                madeValue = Utf8FromBstr(declaration.bstrVal);
                value = madeValue.c_str();
                valueLength = madeValue.size();
            } else if (type != NODE_ELEMENT && type != NODE_DOCUMENT_TYPE) {
                value = node.value();
                valueLength = std::strlen(value);
            }
            if (!sink->OnNode(type, depth, name, nameLength, value, valueLength))
                return S_FALSE;
            for (pugi::xml_attribute attribute = node.first_attribute();
                 attribute && type == NODE_ELEMENT; attribute = attribute.next_attribute()) {
                const char* attributeName = attribute.name();
                const char* attributeValue = attribute.value();
                if (!sink->OnAttribute(attributeName, std::strlen(attributeName), attributeValue,
                                       std::strlen(attributeValue)))
                    return S_FALSE;
            }
            if (const pugi::xml_node child = node.first_child()) {
                node = child;
                ++depth;
                continue;
            }
            for (;;) {
                if (const pugi::xml_node next = NextSibling(node)) {
                    node = next;
                    break;
                }
                if (depth == 1)
                    return S_OK;
                node = node.parent();
                --depth;
            }
        }
        return S_OK;
    });
}

HRESULT Document::get_nodeName(BSTR* name) {
    if (!name)
        return E_POINTER;
    return component::Guarded([&] { return NewBstr("#document", name); });
}

HRESULT Document::get_nodeValue(VARIANT* value) {
    if (!value)
        return E_POINTER;
    VariantInit(value);
    value->vt = VT_NULL;
    return S_OK;
}

HRESULT Document::put_nodeValue(VARIANT) {
    return E_FAIL;
}

HRESULT Document::get_nodeType(DOMNodeType* type) {
    if (!type)
        return E_POINTER;
    *type = NODE_DOCUMENT;
    return S_OK;
}

HRESULT Document::get_attributes(IXMLDOMNamedNodeMap** attributes) {
    if (!attributes)
        return E_POINTER;
    *attributes = nullptr;
    return S_FALSE;
}

HRESULT Document::get_firstChild(IXMLDOMNode** child) {
    if (!child)
        return E_POINTER;
    return component::Guarded([&] {
        const pugi::xml_node declaration = m_declaration.first_child();
        return WrapNode(this, declaration ? declaration : m_tree.first_child(), child);
    });
}

HRESULT Document::get_nextSibling(IXMLDOMNode** sibling) {
    if (!sibling)
        return E_POINTER;
    *sibling = nullptr;
    return S_FALSE;
}

HRESULT Document::appendChild(IXMLDOMNode* child, IXMLDOMNode** placed) {
    return component::Guarded([&] { return AppendChild(this, m_tree, child, placed); });
}

HRESULT Document::removeChild(IXMLDOMNode* child, IXMLDOMNode** removed) {
    return component::Guarded([&] { return RemoveChild(this, m_tree, child, removed); });
}

HRESULT Document::selectNodes(BSTR expression, IXMLDOMNodeList** list) {
    if (!list)
        return E_POINTER;
    return component::Guarded(
        [&] { return SelectNodes(this, pugi::xpath_node(m_tree), expression, list); });
}

HRESULT Document::selectSingleNode(BSTR expression, IXMLDOMNode** node) {
    if (!node)
        return E_POINTER;
    return component::Guarded(
        [&] { return SelectSingleNode(this, pugi::xpath_node(m_tree), expression, node); });
}

HRESULT Document::load(VARIANT source, VARIANT_BOOL* loaded) {
    if (loaded)
        *loaded = VARIANT_FALSE;
    return component::Guarded([&] {
        Reset();
        m_form = FileForm();
        if (!Read(source)) {
            // pugixml leaves what it parsed before the error.
            Reset();
            return S_FALSE;
        }
        m_loaded = true;
        if (loaded)
            *loaded = VARIANT_TRUE;
        return S_OK;
    });
}

HRESULT Document::save(VARIANT destination) {
    return Write(destination, false);
}

HRESULT Document::WriteInto(BSTR path) {
    return Write(CComVariant(path), true);
}

HRESULT Document::Write(const VARIANT& destination, bool inPlace) {
    return component::Guarded([&] {
        _stringx path;
        HRESULT hr = PathOf(destination, path);
        if (FAILED(hr))
            return hr;
        // A character XML cannot carry would make a file that no strict
        // parser reads (the repository's other hosts among them), and a value
        // its markup cannot carry would read back changed: such a document is
        // not saved, and the file keeps what it held.
        if (!kNaive && !CanBeSaved(m_tree))
            return E_INVALIDARG;
        const std::string text = Serialise();
        // UTF-8 without a mark, the usual form, is written as serialised.
        std::string encoded;
        const bool asIs =
            (m_form.kind == FileForm::Kind::kUtf8 && !m_form.bom) || SavesUtf8Regardless();
        if (!asIs && !EncodeDocument(text, m_form, encoded))
            return E_FAIL;
        const std::string& bytes = asIs ? text : encoded;
        DWORD error;
        if (inPlace)
            error = WriteIntoFile(path, bytes.data(), bytes.size());
        else if (kNaive)
            error = WriteInPlace(path, bytes);
        else
            error = SaveFileAtomically(path, bytes.data(), bytes.size());
        return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
    });
}

HRESULT Document::get_documentElement(IXMLDOMElement** element) {
    if (!element)
        return E_POINTER;
    *element = nullptr;
    return component::Guarded([&] {
        const pugi::xml_node root = m_tree.document_element();
        if (!root)
            return S_FALSE;
        CComPtr<IXMLDOMNode> node;
        const HRESULT hr = Node::Wrap(this, root, &node);
        if (FAILED(hr))
            return hr;
        return node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element));
    });
}

HRESULT Document::createElement(BSTR tagName, IXMLDOMElement** element) {
    if (!element)
        return E_POINTER;
    *element = nullptr;
    return component::Guarded([&] {
        const std::string name = Utf8FromBstr(tagName);
        return kNaive || IsXmlName(name) ? Node::NewElement(this, name, element) : E_FAIL;
    });
}

HRESULT Document::createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** node) {
    if (!node)
        return E_POINTER;
    *node = nullptr;
    long kind = 0;
    if (type.vt == VT_I4)
        kind = type.lVal;
    else if (type.vt == VT_I8)
        kind = static_cast<long>(type.llVal);
    else
        return E_INVALIDARG;
    if (SysStringLen(namespaceURI) != 0)
        return E_INVALIDARG;
    return component::Guarded([&] {
        const std::string text = Utf8FromBstr(name);
        if (kind != NODE_ATTRIBUTE && kind != NODE_ELEMENT)
            return E_NOTIMPL;
        if (!kNaive && !IsXmlName(text))
            return E_FAIL;
        if (kind == NODE_ATTRIBUTE)
            return Attribute::NewDetached(this, text, node);
        CComPtr<IXMLDOMElement> element;
        const HRESULT hr = Node::NewElement(this, text, &element);
        if (SUCCEEDED(hr))
            *node = element.Detach();
        return hr;
    });
}

CComVariant* Document::Property(BSTR name) {
    if (IsName(name, OLESTR("SelectionLanguage")))
        return &m_selectionLanguage;
    if (IsName(name, OLESTR("SelectionNamespaces")))
        return &m_selectionNamespaces;
    return nullptr;
}

HRESULT Document::setProperty(BSTR name, VARIANT value) {
    return component::Guarded([&] {
        CComVariant* property = Property(name);
        if (!property)
            return E_INVALIDARG;
        if (property == &m_selectionNamespaces) {
            std::string text;
            if (FAILED(VariantText(value, text)) || !ReadPrefixBindings(text, m_prefixes))
                return E_FAIL;
        }
        return property->Copy(&value);
    });
}

HRESULT Document::getProperty(BSTR name, VARIANT* value) {
    if (!value)
        return E_POINTER;
    VariantInit(value);
    return component::Guarded([&] {
        CComVariant* property = Property(name);
        return property ? VariantCopy(value, property) : E_INVALIDARG;
    });
}

}  // namespace xmldom
}  // namespace kv
