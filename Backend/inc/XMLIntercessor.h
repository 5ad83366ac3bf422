// XMLIntercessor: one XML document held for the length of one operation. It
// opens a file, answers XPath queries (evaluated with the document element as
// the context node), changes attributes, creating missing elements where
// asked, lists a node's children and saves the document.
//
// Failures of Initialize and Save leave their words in the error text and
// their HRESULT in the last result; queries and changes report nothing: a path
// that selects nothing, or a malformed one, just gives empty results.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/componentloader.h"
#include "foundation/stringx.h"
#include "foundation/platform/comptr.h"
#include "foundation/platform/variant.h"

struct IXMLDOMDocument2;
struct IXMLDOMElement;
struct IXMLDOMNode;
struct IXMLDOMNodeList;

// The attributes of one element: name (ordinal, case-sensitive) to value.
// Values read from a document are always text.
typedef std::map<_stringx, CComVariant> XmlAttribMap;

// One child node: its DOM name ("#comment", "#text", or an element's
// qualified name) and its attributes (empty for nodes without any).
struct XmlNodeEntry {
    _stringx name;
    XmlAttribMap attribs;
};

// The attributes of many nodes as text, in UTF-16 (XmlAttribTexts) or UTF-8
// (XmlAttribTextsUtf8): node i has the attributes First(i) to End(i) - 1,
// each a name and a value.
template <class Char>
struct BasicXmlAttribTexts {
    typedef std::basic_string_view<Char> View;
    // An attribute's name and value, one after the other in a text block.
    struct Attrib {
        const Char* text;
        std::uint32_t nameLength, valueLength;
    };

    std::size_t NodeCount() const { return nodes.size(); }
    std::size_t First(std::size_t node) const { return nodes[node]; }
    std::size_t End(std::size_t node) const {
        return node + 1 < nodes.size() ? nodes[node + 1] : attribs.size();
    }
    View Name(std::size_t attrib) const {
        return View(attribs[attrib].text, attribs[attrib].nameLength);
    }
    View Value(std::size_t attrib) const {
        return View(attribs[attrib].text + attribs[attrib].nameLength, attribs[attrib].valueLength);
    }

    // A node, whose attributes follow.
    void AddNode() { nodes.push_back(attribs.size()); }
    // An attribute of the last node; its texts are copied. Throws
    // std::length_error for a text of 4 G units or more.
    void AddAttrib(const Char* name, std::size_t nameLength, const Char* value,
                   std::size_t valueLength) {
        if (nameLength >= UINT32_MAX || valueLength >= UINT32_MAX)
            throw std::length_error("attribute text too long");
        Char* text = Reserve(nameLength + valueLength);
        std::copy(name, name + nameLength, text);
        std::copy(value, value + valueLength, text + nameLength);
        AddWritten(static_cast<std::uint32_t>(nameLength), static_cast<std::uint32_t>(valueLength));
    }
    // Room for `units` units of the texts of the next attribute, for a caller
    // that writes them itself before AddWritten.
    Char* Reserve(std::size_t units) {
        constexpr std::size_t kBlock = 32 * 1024;
        if (units > m_left) {
            const std::size_t size = std::max(kBlock, units);
            std::unique_ptr<Char[]> block(new Char[size]);
            m_free = block.get();
            m_blocks.push_back(std::move(block));
            m_left = size;
        }
        return m_free;
    }
    // Adds the attribute whose name and value were written, one after the
    // other, at what Reserve gave last.
    void AddWritten(std::uint32_t nameLength, std::uint32_t valueLength) {
        const std::size_t units = std::size_t(nameLength) + valueLength;
        attribs.push_back({m_free, nameLength, valueLength});
        m_free += units;
        m_left -= units;
    }

    // Both grow by blocks, never moving what they hold: a listing's index of
    // thousands of elements costs what it holds, not twice that while it grows.
    std::deque<Attrib> attribs;
    // The position in `attribs` of each node's first attribute.
    std::vector<std::size_t> nodes;

private:
    std::vector<std::unique_ptr<Char[]>> m_blocks;
    Char* m_free = nullptr;  // the unused end of the last block
    std::size_t m_left = 0;
};

typedef BasicXmlAttribTexts<OLECHAR> XmlAttribTexts;
typedef BasicXmlAttribTexts<char> XmlAttribTextsUtf8;

class KV_API XMLIntercessor {
public:
    // Documents and the services component are created through `loader`.
    explicit XMLIntercessor(kv::ComponentLoader& loader = kv::ComponentLoader::Process());
    virtual ~XMLIntercessor();
    XMLIntercessor(const XMLIntercessor&) = delete;
    XMLIntercessor& operator=(const XMLIntercessor&) = delete;

    // Called by Initialize after a successful load; S_OK here.
    virtual long ValidateDocument(const OLECHAR* validation);
    // Called first by Initialize; does nothing here.
    virtual void Reset();

    // Creates the document (version 4.0, or 3.0 when asked) and loads the file.
    // A loaded document that holds anything the library refuses (see
    // xmlutils::IsAcceptableDocument) fails as one that did not parse. A rooted name (two leading
    // backslashes, a drive, or on POSIX a leading
    // "/") is loaded as it stands; any other name from under the support
    // folder of the application-services component. S_OK or the failure.
    long Initialize(const OLECHAR* fileName, const OLECHAR* validation, BSTR selectionNamespaces,
                    bool skipValidation, bool useVersion30);
    // Saves the whole document to `fileName`, as it stands (no support
    // folder), crash-safe whatever the DOM's own save does: the DOM writes a
    // temporary file beside the target, which then replaces the target in one
    // step (see kv::FileReplacement). A document that was given a value XML
    // cannot carry is not saved (E_INVALIDARG) and the file keeps its bytes.
    // A DOM other than the project's component (one that does not write into
    // the held file itself, IKvDocumentWriter) is not trusted with the result:
    // its save is read back before it is put in place, by the project's strict
    // reading, in the encoding of the file the document was loaded from
    // (xmlutils::CheckSavedDocument). One that does not read back as the
    // document is not put in place (E_FAIL) and the file keeps its bytes.
    // S_OK or the failure.
    long Save(const OLECHAR* fileName);
    // As Save, but only where no file of that name exists by the time the
    // save is put in place: HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), and
    // nothing written, where one does.
    long SaveNew(const OLECHAR* fileName);

    // Replaces `attributes` with those of the first selected node (when
    // several names are selected, the smallest name's first node); leaves it
    // alone when nothing is selected.
    void GetAttribValues(const OLECHAR* xpath, XmlAttribMap& attributes);
    // Sets one attribute on every selected node; false (nothing created) when
    // nothing is selected. Here and below, an attribute name that is no XML
    // Name is not set, and a value XML cannot carry (xmlutils::IsXmlText) is
    // not handed to the DOM and makes Save fail.
    bool SetAttribValue(const OLECHAR* xpath, const OLECHAR* name, VARIANT value);
    // Sets every attribute of the map on every selected node; when nothing is
    // selected, creates the missing trailing steps as bare elements under the
    // deepest existing node and sets the attributes on the last one. False only
    // when no document is loaded.
    bool SetAttribValues(const OLECHAR* xpath, const XmlAttribMap& attributes);
    // Appends the attributes of every selected node, in document order (one map
    // per node); returns the maps' size. Lets a caller index many elements with
    // one query instead of one query per element.
    int GetAllAttribValues(const OLECHAR* xpath, std::vector<XmlAttribMap>& maps);
    // Appends the children of the first selected node; returns the entries' size.
    int GetChildNodes(const OLECHAR* xpath, std::vector<XmlNodeEntry>& entries);

    // Appends the attributes of every selected node, in document order, as
    // text (a value without a text form reads as empty); returns the number of
    // nodes in `texts`. Lets a caller index many elements with one query and
    // without a map per element. A document that offers it is read in one
    // call (foundation/xmldomreader.h), any other node by node.
    int GetAllAttribTexts(const OLECHAR* xpath, XmlAttribTexts& texts);
    // The same texts as UTF-8, for a caller that keeps many of them: read so
    // from a document that holds UTF-8 (foundation/xmldomreader.h), converted
    // from any other. -1 when a text held a lone surrogate, which UTF-8
    // cannot carry (written as U+FFFD; no document loaded from a file holds
    // one).
    int GetAllAttribTextsUtf8(const OLECHAR* xpath, XmlAttribTextsUtf8& texts);

    // Changes to one node of those `xpath` selects, by its position among
    // them in document order (as GetAllAttribValues lists them), for callers
    // that cannot name a node by its values in a path (a value may hold both
    // quotes). Each is false, changing nothing, when there is no node at
    // that position or the DOM refuses the change; names and values are
    // checked as by SetAttribValue.
    // Sets one attribute.
    bool SetAttribValueAt(const OLECHAR* xpath, std::size_t position, const OLECHAR* name,
                          VARIANT value);
    // Appends a new element `name` with `attributes` as the node's last child.
    bool AppendElementAt(const OLECHAR* xpath, std::size_t position, const OLECHAR* name,
                         const XmlAttribMap& attributes);
    // Removes the node with everything below it. The positions after it move
    // up by one: remove the last first.
    bool RemoveNodeAt(const OLECHAR* xpath, std::size_t position);

    bool IsInitialized() const { return m_bInitialized; }
    // The text and HRESULT of the most recent failure, for diagnosis.
    const _stringx& GetErrorText() const { return m_strError; }
    long GetLastResult() const { return m_hrLast; }
    const _stringx& GetFileName() const { return m_strFileName; }

protected:
    typedef std::vector<CComPtr<IXMLDOMNode>> NodeVector;

    // Appends the selected nodes to `nodes` and fills `names` (cleared first)
    // with each distinct node name's first attribute map; returns nodes' size.
    int SelectNodes(const OLECHAR* xpath, NodeVector& nodes,
                    std::map<_stringx, XmlAttribMap>& names);
    void ReadNodeAttribs(IXMLDOMNode* node, XmlAttribMap& attributes);
    // GetAllAttribTexts node by node through the standard methods, as a
    // document without the one-call reader is read.
    int GetAllAttribTextsByNode(const OLECHAR* xpath, XmlAttribTexts& texts);
    // GetAllAttribTextsUtf8 for a document without the UTF-8 reader: node by
    // node, converted.
    int GetAllAttribTextsUtf8ByNode(const OLECHAR* xpath, XmlAttribTextsUtf8& texts);
    HRESULT SetNodeAttribValue(IXMLDOMNode* node, const OLECHAR* name, const VARIANT& value);
    void SetNodeAttribValues(IXMLDOMNode* node, const XmlAttribMap& attributes);
    HRESULT AppendChildElement(IXMLDOMNode* parent, const _stringx& step,
                               const XmlAttribMap& attributes, IXMLDOMNode** node);

private:
    long Fail(const char* text, long hr);
    long SaveAs(const OLECHAR* fileName, bool createOnly);
    // The nodes `xpath` selects; null without a document or for a malformed path.
    CComPtr<IXMLDOMNodeList> SelectList(const OLECHAR* xpath);
    // The node at `position` among them; null when there is none.
    CComPtr<IXMLDOMNode> NodeAt(const OLECHAR* xpath, std::size_t position);

    bool m_bInitialized = false;
    // A value XML cannot carry was refused: the document is not to be saved.
    bool m_bValueRefused = false;
    CComPtr<IXMLDOMDocument2> m_pDoc;
    CComPtr<IXMLDOMElement> m_pRoot;
    _stringx m_strError;
    long m_hrLast = S_OK;
    _stringx m_strFileName;
    // The file the document was loaded from (under the support folder for a
    // name that is not rooted), whose encoding a save must keep.
    _stringx m_strLoadedPath;
    kv::ComponentLoader& m_loader;
};
