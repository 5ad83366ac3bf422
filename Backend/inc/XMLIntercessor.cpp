#include "Backend/inc/XMLIntercessor.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "foundation/appservices.h"
#include "win32/files.h"
#include "foundation/filesave.h"
#include "foundation/pathx.h"
#include "foundation/platform/utf8.h"
#include "foundation/xmldomreader.h"
#include "xml/readback.h"
#include "xml/xmlrules.h"
#include "xml/xpath.h"
#include "foundation/platform/comptr.h"
#include "foundation/platform/framework.h"
#include "foundation/platform/variant.h"
#include "win32/bstr.h"
#include "win32/msxml.h"

namespace {

// A DOM's answer as the library takes it: a DOM that ran out of memory fails
// the operation as every allocation failure does, with the framework's memory
// exception, never as a query that selected nothing.
HRESULT Dom(HRESULT hr) {
    if (hr == E_OUTOFMEMORY)
        AfxThrowMemoryException();
    return hr;
}

}  // namespace

namespace {

// Where a failed validation says it happened.
constexpr const char* kSourcePath = "Backend/inc/XMLIntercessor";
constexpr int kValidationLine = 111;

// The element name a path step creates: the step's name without a namespace
// prefix, and of what is left only the part after a further ":".
_stringx ElementNameOf(const _stringx& step) {
    _stringx name = xmlutils::CKVXPathFragment(step).GetElementName(false);
    const auto colon = name.find(OLESTR(':'));
    if (colon == _stringx::npos)
        return name;
    if (colon + 1 == name.size())
        return _stringx(name.substr(0, colon));
    const auto next = name.find(OLESTR(':'), colon + 1);
    return _stringx(
        name.substr(colon + 1, next == _stringx::npos ? _stringx::npos : next - colon - 1));
}

}  // namespace

XMLIntercessor::XMLIntercessor(kv::ComponentLoader& loader) : m_loader(loader) {}

XMLIntercessor::~XMLIntercessor() = default;

long XMLIntercessor::ValidateDocument(const OLECHAR*) {
    return S_OK;
}

void XMLIntercessor::Reset() {}

long XMLIntercessor::Fail(const char* text, long hr) {
    m_strError = _stringx(text);
    m_hrLast = hr;
    return hr;
}

long XMLIntercessor::Initialize(const OLECHAR* fileName, const OLECHAR* validation,
                                BSTR selectionNamespaces, bool skipValidation, bool useVersion30) {
    Reset();
    m_bValueRefused = false;

    const _stringx library(useVersion30 ? OLESTR("msxml3.dll") : OLESTR("msxml4.dll"));
    const CLSID& clsid = useVersion30 ? CLSID_DOMDocument30 : CLSID_DOMDocument40;
    m_pDoc.Release();
    m_pRoot.Release();
    HRESULT hr = m_loader.CreateInstance(library, clsid, IID_IXMLDOMDocument2, &m_pDoc);
    if (FAILED(hr) || !m_pDoc)
        return Fail(useVersion30 ? "Could not create XML document. Is msxml3.dll installed?"
                                 : "Could not create XML document. Is msxml4.dll installed?",
                    FAILED(hr) ? hr : E_FAIL);

    if (selectionNamespaces && selectionNamespaces[0]) {
        hr = m_pDoc->setProperty(_stringx(OLESTR("SelectionNamespaces")).bstr(),
                                 CComVariant(selectionNamespaces));
        if (FAILED(hr))
            Fail("Could not set selection namespaces for XML document.", hr);
    }

    m_strFileName = _stringx(fileName);
    _stringx path = m_strFileName;
    if (!kv::PathIsRooted(path)) {
        _stringx folder;
        m_hrLast = kv::QuerySupportFolder(folder, m_loader);
        if (SUCCEEDED(m_hrLast))
            path = kv::PathJoin(folder, path);
        else
            m_strError = _stringx("Could not create DotNetAssembly");
    }

    m_strLoadedPath = path;
    VARIANT_BOOL loaded = VARIANT_FALSE;
    hr = m_pDoc->load(CComVariant(path.c_str()), &loaded);
    if (FAILED(hr))
        return Fail("Could not load template.", hr);
    // What the parser took is not trusted: a document that holds anything the
    // library refuses is treated as one that did not parse. Only the
    // project's component, whose load applies the same rules, is taken at its
    // word.
    if (loaded != VARIANT_TRUE ||
        (!xmlutils::IsLoadedUnderRules(m_pDoc) && !xmlutils::IsAcceptableDocument(m_pDoc)))
        return Fail("Could not load template.", E_FAIL);

    hr = m_pDoc->get_documentElement(&m_pRoot);
    if (FAILED(hr) || !m_pRoot)
        return Fail("Could not get document element.", FAILED(hr) ? hr : E_FAIL);

    m_bInitialized = true;

    if (!skipValidation) {
        hr = ValidateDocument(validation);
        if (FAILED(hr)) {
            char text[256];
            std::snprintf(text, sizeof(text), "File: %s, Line: %d", kSourcePath, kValidationLine);
            return Fail(text, hr);
        }
    }
    return S_OK;
}

long XMLIntercessor::Save(const OLECHAR* fileName) {
    return SaveAs(fileName, false);
}

long XMLIntercessor::SaveNew(const OLECHAR* fileName) {
    return SaveAs(fileName, true);
}

long XMLIntercessor::SaveAs(const OLECHAR* fileName, bool createOnly) {
    if (!m_bInitialized)
        return Fail("XMLIntercessor not initialized.", E_UNEXPECTED);
    // A value XML cannot carry never reached the document; the file keeps
    // what it held rather than lose that value.
    if (m_bValueRefused)
        return Fail("Could not save manifest", E_INVALIDARG);
    // The DOM only writes the document to a new file beside the target; the
    // replacement puts that file in place whole, whatever the DOM's save does.
    // The project's component writes into it in place, while it stays held;
    // any other DOM saves to it by name, which Windows refuses a held file.
    kv::FileReplacement replacement;
    DWORD error = replacement.Begin(_stringx(fileName));
    if (error != ERROR_SUCCESS)
        return Fail("Could not save manifest", HRESULT_FROM_WIN32(error));
    const _stringx temporary(replacement.Temporary());
    CComPtr<IKvDocumentWriter> writer;
    HRESULT hr;
    if (SUCCEEDED(
            m_pDoc->QueryInterface(IID_IKvDocumentWriter, reinterpret_cast<void**>(&writer))) &&
        writer) {
        hr = writer->WriteInto(temporary.bstr());
    } else {
        replacement.LetOthersWrite();
        hr = m_pDoc->save(CComVariant(temporary.c_str()));
        // Another DOM's save is not taken on trust: it is put in place only if
        // it reads back strictly as the document, in the loaded file's encoding.
        if (SUCCEEDED(hr))
            hr = xmlutils::CheckSavedDocument(m_pDoc, temporary, m_strLoadedPath);
    }
    if (FAILED(hr))
        return Fail("Could not save manifest", hr);
    error = replacement.Commit(createOnly);
    if (error != ERROR_SUCCESS)
        return Fail("Could not save manifest", HRESULT_FROM_WIN32(error));
    return S_OK;
}

int XMLIntercessor::SelectNodes(const OLECHAR* xpath, NodeVector& nodes,
                                std::map<_stringx, XmlAttribMap>& names) {
    if (!m_bInitialized)
        return 0;
    names.clear();
    CComPtr<IXMLDOMNodeList> list;
    if (FAILED(Dom(m_pRoot->selectNodes(_stringx(xpath).bstr(), &list))) || !list)
        return static_cast<int>(nodes.size());
    for (;;) {
        CComPtr<IXMLDOMNode> node;
        if (Dom(list->nextNode(&node)) != S_OK || !node)
            break;
        XmlAttribMap attributes;
        ReadNodeAttribs(node, attributes);
        BSTR name = nullptr;
        if (FAILED(Dom(node->get_nodeName(&name))) || !name) {
            SysFreeString(name);
            continue;
        }
        names.emplace(_stringx(name), std::move(attributes));
        SysFreeString(name);
        nodes.push_back(node);
    }
    return static_cast<int>(nodes.size());
}

namespace {

// Calls `visit` with the name and value of each attribute of `node`, in
// order; attributes whose name or value cannot be read are left out, and all
// of them when the map cannot be walked from its start.
template <class Visit>
void ForEachAttribute(IXMLDOMNode* node, Visit visit) {
    CComPtr<IXMLDOMNamedNodeMap> map;
    if (Dom(node->get_attributes(&map)) != S_OK || !map)
        return;
    // The map may be one the DOM hands out again, its walk already begun.
    if (FAILED(map->reset()))
        return;
    for (;;) {
        CComPtr<IXMLDOMNode> attribute;
        if (Dom(map->nextNode(&attribute)) != S_OK || !attribute)
            break;
        BSTR name = nullptr;
        CComVariant value;
        if (SUCCEEDED(Dom(attribute->get_nodeName(&name))) && name &&
            SUCCEEDED(Dom(attribute->get_nodeValue(&value))))
            visit(name, value);
        SysFreeString(name);
    }
}

}  // namespace

void XMLIntercessor::ReadNodeAttribs(IXMLDOMNode* node, XmlAttribMap& attributes) {
    ForEachAttribute(node, [&](BSTR name, CComVariant& value) {
        // The value the node handed out is the map's to keep: moved, not copied.
        attributes[_stringx(name, SysStringLen(name))] = std::move(value);
    });
}

void XMLIntercessor::GetAttribValues(const OLECHAR* xpath, XmlAttribMap& attributes) {
    if (!m_bInitialized)
        return;
    NodeVector nodes;
    std::map<_stringx, XmlAttribMap> names;
    SelectNodes(xpath, nodes, names);
    if (!names.empty())
        attributes = names.begin()->second;
}

CComPtr<IXMLDOMNodeList> XMLIntercessor::SelectList(const OLECHAR* xpath) {
    CComPtr<IXMLDOMNodeList> list;
    if (m_bInitialized && FAILED(Dom(m_pRoot->selectNodes(_stringx(xpath).bstr(), &list))))
        list.Release();
    return list;
}

namespace {

// Calls `visit` with each node of `list`, in order.
template <class Visit>
void ForEachNode(IXMLDOMNodeList* list, Visit visit) {
    for (;;) {
        CComPtr<IXMLDOMNode> node;
        if (Dom(list->nextNode(&node)) != S_OK || !node)
            break;
        visit(node.get());
    }
}

// Appends what IKvAttributeTextReader reads to the texts.
class TextsSink final : public IKvAttributeTextSink {
public:
    explicit TextsSink(XmlAttribTexts& texts) : m_texts(texts) {}
    void OnNode() override { m_texts.AddNode(); }
    void OnAttribute(const OLECHAR* name, UINT nameLength, const OLECHAR* value,
                     UINT valueLength) override {
        m_texts.AddAttrib(name, nameLength, value, valueLength);
    }

private:
    XmlAttribTexts& m_texts;
};

}  // namespace

int XMLIntercessor::GetAllAttribValues(const OLECHAR* xpath, std::vector<XmlAttribMap>& maps) {
    if (CComPtr<IXMLDOMNodeList> list = SelectList(xpath)) {
        ForEachNode(list.get(), [&](IXMLDOMNode* node) {
            maps.emplace_back();
            ReadNodeAttribs(node, maps.back());
        });
    }
    return static_cast<int>(maps.size());
}

namespace {

// Reads the attributes of every node of `list` through the standard methods.
void ReadTextsByNode(IXMLDOMNodeList* list, IKvAttributeTextSink& sink) {
    ForEachNode(list, [&](IXMLDOMNode* node) {
        sink.OnNode();
        ForEachAttribute(node, [&](BSTR name, CComVariant& value) {
            // Values read from a document are text; anything else is taken in
            // its text form, as CRepoData::GetAttribValue reads a map's values.
            if (value.vt != VT_BSTR && FAILED(value.ChangeType(VT_BSTR)))
                value.Clear();
            const bool text = value.vt == VT_BSTR;
            sink.OnAttribute(name, SysStringLen(name), text ? value.bstrVal : name,
                             text ? SysStringLen(value.bstrVal) : 0);
        });
    });
}

}  // namespace

int XMLIntercessor::GetAllAttribTexts(const OLECHAR* xpath, XmlAttribTexts& texts) {
    CComPtr<IXMLDOMNodeList> list = SelectList(xpath);
    if (!list)
        return static_cast<int>(texts.NodeCount());
    CComPtr<IKvAttributeTextReader> reader;
    if (SUCCEEDED(
            list->QueryInterface(IID_IKvAttributeTextReader, reinterpret_cast<void**>(&reader))) &&
        reader) {
        TextsSink sink(texts);
        Dom(reader->ReadAttributeTexts(&sink));
    } else {
        TextsSink sink(texts);
        ReadTextsByNode(list.get(), sink);
    }
    return static_cast<int>(texts.NodeCount());
}

namespace {

// Appends what IKvAttributeTextReaderUtf8 reads to the texts.
class Utf8TextsSink final : public IKvAttributeTextSinkUtf8 {
public:
    explicit Utf8TextsSink(XmlAttribTextsUtf8& texts) : m_texts(texts) {}
    void OnNode() override { m_texts.AddNode(); }
    void OnAttribute(const char* name, std::size_t nameLength, const char* value,
                     std::size_t valueLength) override {
        m_texts.AddAttrib(name, nameLength, value, valueLength);
    }

private:
    XmlAttribTextsUtf8& m_texts;
};

// Writes UTF-16 text as UTF-8 at `out` (room for three bytes a unit); false
// when it held a lone surrogate, written as U+FFFD.
bool PutUtf8(const OLECHAR* text, std::size_t length, char*& out) {
    bool lossless = true;
    for (std::size_t i = 0; i < length;) {
        char32_t c = kv::utf8::NextUtf16(text, length, i);
        if (c >= 0xD800 && c <= 0xDFFF) {
            c = kv::utf8::kReplacement;
            lossless = false;
        }
        out = kv::utf8::Put(out, c);
    }
    return lossless;
}

// Appends what IKvAttributeTextReader reads, or the nodes give, converted to
// UTF-8; `lossless` turns false at a text that does not convert.
class ConvertingSink final : public IKvAttributeTextSink {
public:
    explicit ConvertingSink(XmlAttribTextsUtf8& texts) : m_texts(texts) {}
    bool lossless = true;
    void OnNode() override { m_texts.AddNode(); }
    void OnAttribute(const OLECHAR* name, UINT nameLength, const OLECHAR* value,
                     UINT valueLength) override {
        // Three bytes at most for each unit (a pair's four bytes are two units).
        char* const start = m_texts.Reserve(3 * (std::size_t(nameLength) + valueLength));
        char* out = start;
        lossless &= PutUtf8(name, nameLength, out);
        const std::size_t nameBytes = static_cast<std::size_t>(out - start);
        lossless &= PutUtf8(value, valueLength, out);
        m_texts.AddWritten(static_cast<std::uint32_t>(nameBytes),
                           static_cast<std::uint32_t>(out - start - nameBytes));
    }

private:
    XmlAttribTextsUtf8& m_texts;
};

}  // namespace

int XMLIntercessor::GetAllAttribTextsUtf8(const OLECHAR* xpath, XmlAttribTextsUtf8& texts) {
    CComPtr<IXMLDOMNodeList> list = SelectList(xpath);
    if (!list)
        return static_cast<int>(texts.NodeCount());
    CComPtr<IKvAttributeTextReaderUtf8> reader;
    if (SUCCEEDED(list->QueryInterface(IID_IKvAttributeTextReaderUtf8,
                                       reinterpret_cast<void**>(&reader))) &&
        reader) {
        Utf8TextsSink sink(texts);
        Dom(reader->ReadAttributeTextsUtf8(&sink));
        return static_cast<int>(texts.NodeCount());
    }
    ConvertingSink sink(texts);
    ReadTextsByNode(list.get(), sink);
    return sink.lossless ? static_cast<int>(texts.NodeCount()) : -1;
}

int XMLIntercessor::GetAllAttribTextsUtf8ByNode(const OLECHAR* xpath, XmlAttribTextsUtf8& texts) {
    ConvertingSink sink(texts);
    if (CComPtr<IXMLDOMNodeList> list = SelectList(xpath))
        ReadTextsByNode(list.get(), sink);
    return sink.lossless ? static_cast<int>(texts.NodeCount()) : -1;
}

int XMLIntercessor::GetAllAttribTextsByNode(const OLECHAR* xpath, XmlAttribTexts& texts) {
    if (CComPtr<IXMLDOMNodeList> list = SelectList(xpath)) {
        TextsSink sink(texts);
        ReadTextsByNode(list.get(), sink);
    }
    return static_cast<int>(texts.NodeCount());
}

bool XMLIntercessor::SetAttribValue(const OLECHAR* xpath, const OLECHAR* name, VARIANT value) {
    if (!m_bInitialized)
        return false;
    NodeVector nodes;
    std::map<_stringx, XmlAttribMap> names;
    if (SelectNodes(xpath, nodes, names) == 0)
        return false;
    for (IXMLDOMNode* node : nodes)
        SetNodeAttribValue(node, name, value);
    return true;
}

HRESULT XMLIntercessor::SetNodeAttribValue(IXMLDOMNode* node, const OLECHAR* name,
                                           const VARIANT& value) {
    const _stringx attributeName(name);
    // Checked here, before the DOM sees them, as any DOM might take them. A
    // name that is none creates nothing, as a strict DOM refuses it; a value
    // XML cannot carry fails the save.
    if (!xmlutils::IsXmlName(attributeName.c_str(), attributeName.size()))
        return E_INVALIDARG;
    if (value.vt == VT_BSTR && !xmlutils::IsXmlText(value.bstrVal, SysStringLen(value.bstrVal))) {
        m_bValueRefused = true;
        return E_INVALIDARG;
    }
    CComPtr<IXMLDOMNamedNodeMap> map;
    if (Dom(node->get_attributes(&map)) != S_OK || !map)
        return E_UNEXPECTED;
    const _stringx noNamespace;
    CComPtr<IXMLDOMNode> attribute;
    HRESULT hr = Dom(map->getQualifiedItem(attributeName.bstr(), noNamespace.bstr(), &attribute));
    if (SUCCEEDED(hr) && attribute)
        return Dom(attribute->put_nodeValue(value));

    CComPtr<IXMLDOMNode> created;
    hr = Dom(m_pDoc->createNode(CComVariant(LONG(NODE_ATTRIBUTE)), attributeName.bstr(),
                                noNamespace.bstr(), &created));
    if (FAILED(hr))
        return hr;
    if (!created)
        return E_FAIL;
    hr = Dom(created->put_nodeValue(value));
    if (FAILED(hr))
        return hr;
    CComPtr<IXMLDOMNode> named;
    return Dom(map->setNamedItem(created, &named));
}

void XMLIntercessor::SetNodeAttribValues(IXMLDOMNode* node, const XmlAttribMap& attributes) {
    for (const auto& entry : attributes)
        SetNodeAttribValue(node, entry.first.c_str(), entry.second);
}

bool XMLIntercessor::SetAttribValues(const OLECHAR* xpath, const XmlAttribMap& attributes) {
    if (!m_bInitialized)
        return false;
    NodeVector nodes;
    std::map<_stringx, XmlAttribMap> names;
    if (SelectNodes(xpath, nodes, names) > 0) {
        for (IXMLDOMNode* node : nodes)
            SetNodeAttribValues(node, attributes);
        return true;
    }

    // Walk back to the deepest part of the path that exists, remembering the
    // steps that do not.
    _stringx path(xpath);
    std::vector<_stringx> missing;
    CComPtr<IXMLDOMNode> parent;
    while (!path.empty()) {
        _stringx step;
        xmlutils::SplitLastStep(path, step);
        missing.push_back(step);
        xmlutils::RemoveLastStep(path);
        if (path.empty())
            break;
        nodes.clear();
        if (SelectNodes(path.c_str(), nodes, names) > 0) {
            parent = nodes.front();
            break;
        }
    }
    if (!parent)
        parent = m_pRoot.get();

    CComPtr<IXMLDOMNode> created;
    const XmlAttribMap none;
    while (!missing.empty()) {
        created.Release();
        if (SUCCEEDED(AppendChildElement(parent, missing.back(), none, &created)) && created)
            parent = created;
        missing.pop_back();
    }
    if (created)
        SetNodeAttribValues(created, attributes);
    return true;
}

HRESULT XMLIntercessor::AppendChildElement(IXMLDOMNode* parent, const _stringx& step,
                                           const XmlAttribMap& attributes, IXMLDOMNode** node) {
    *node = nullptr;
    // A name that is none is refused before the DOM sees it, as a strict DOM
    // refuses it.
    const _stringx name = ElementNameOf(step);
    if (!xmlutils::IsXmlName(name.c_str(), name.size()))
        return E_FAIL;
    // Elements are only made inside an element: never a second document
    // element, whether or not the DOM would append one.
    DOMNodeType parentType = NODE_INVALID;
    if (parent->get_nodeType(&parentType) != S_OK || parentType != NODE_ELEMENT)
        return E_FAIL;
    CComPtr<IXMLDOMElement> element;
    HRESULT hr = Dom(m_pDoc->createElement(name.bstr(), &element));
    if (FAILED(hr))
        return hr;
    if (!element)
        return E_FAIL;
    CComPtr<IXMLDOMNode> placed;
    hr = Dom(parent->appendChild(element, &placed));
    if (FAILED(hr))
        return hr;
    if (!placed)
        return E_FAIL;
    SetNodeAttribValues(placed, attributes);
    *node = placed.Detach();
    return S_OK;
}

CComPtr<IXMLDOMNode> XMLIntercessor::NodeAt(const OLECHAR* xpath, std::size_t position) {
    CComPtr<IXMLDOMNodeList> list = SelectList(xpath);
    for (std::size_t index = 0; list; ++index) {
        CComPtr<IXMLDOMNode> node;
        if (Dom(list->nextNode(&node)) != S_OK || !node)
            break;
        if (index == position)
            return node;
    }
    return CComPtr<IXMLDOMNode>();
}

bool XMLIntercessor::SetAttribValueAt(const OLECHAR* xpath, std::size_t position,
                                      const OLECHAR* name, VARIANT value) {
    CComPtr<IXMLDOMNode> node = NodeAt(xpath, position);
    return node && SUCCEEDED(SetNodeAttribValue(node, name, value));
}

bool XMLIntercessor::AppendElementAt(const OLECHAR* xpath, std::size_t position,
                                     const OLECHAR* name, const XmlAttribMap& attributes) {
    CComPtr<IXMLDOMNode> parent = NodeAt(xpath, position);
    CComPtr<IXMLDOMNode> placed;
    return parent && SUCCEEDED(AppendChildElement(parent, _stringx(name), attributes, &placed));
}

bool XMLIntercessor::RemoveNodeAt(const OLECHAR* xpath, std::size_t position) {
    CComPtr<IXMLDOMNode> node = NodeAt(xpath, position);
    CComPtr<IXMLDOMNode> parent, removed;
    if (!node || Dom(node->selectSingleNode(_stringx(OLESTR("..")).bstr(), &parent)) != S_OK ||
        !parent)
        return false;
    const HRESULT hr = Dom(parent->removeChild(node, &removed));
    // A DOM may make every node it handed out stale, the root's too.
    node.Release();
    parent.Release();
    removed.Release();
    m_pRoot.Release();
    if (FAILED(m_pDoc->get_documentElement(&m_pRoot)) || !m_pRoot)
        m_bInitialized = false;
    return SUCCEEDED(hr);
}

int XMLIntercessor::GetChildNodes(const OLECHAR* xpath, std::vector<XmlNodeEntry>& entries) {
    // Callers list children only after a successful open; without a document
    // there is nothing to list.
    if (!m_pRoot)
        return static_cast<int>(entries.size());
    CComPtr<IXMLDOMNode> node;
    if (Dom(m_pRoot->selectSingleNode(_stringx(xpath).bstr(), &node)) != S_OK || !node)
        return static_cast<int>(entries.size());
    CComPtr<IXMLDOMNode> child;
    Dom(node->get_firstChild(&child));
    while (child) {
        XmlNodeEntry entry;
        ReadNodeAttribs(child, entry.attribs);
        BSTR name = nullptr;
        if (SUCCEEDED(Dom(child->get_nodeName(&name))) && name) {
            entry.name = _stringx(name);
            entries.push_back(std::move(entry));
        }
        SysFreeString(name);
        CComPtr<IXMLDOMNode> next;
        Dom(child->get_nextSibling(&next));
        child = std::move(next);
    }
    return static_cast<int>(entries.size());
}
