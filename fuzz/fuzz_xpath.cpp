// Fuzzes the XPath text rules and their evaluation by the XML document
// component. The input describes a small data file (type elements, groups,
// ItemAttrib elements, repository entries, with file names and keys from a
// pool or from the input), a value to look up and a raw expression.
//
// Checked: the path FormatXPath builds for a value selects exactly the
// elements whose attribute equals the value, in document order, and nothing
// at all when the value holds the quote of the literal (never a different
// node); writing attributes through such a path (the wrapper's SetAttribValues,
// which creates the element when nothing is selected) changes exactly those
// elements, or only a new one; selectSingleNode answers the first node selectNodes gives; the step
// rules (SplitLastStep, RemoveLastStep, GetElementName) agree with the text.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/componentloader.h"
#include "win32/msxml.h"
#include "fuzz_util.h"
#include "xml/xpath.h"
#include "foundation/platform/comptr.h"
#include "foundation/platform/variant.h"
#include "win32/bstr.h"
#include "win32/fileio.h"

namespace {

const char* const kTypes[] = {"Dialogs", "Templates", "Other"};
const char* const kPool[] = {"a.kvd",
                             "A.kvd",
                             "x\" or \"1\"=\"1",
                             "a\"]|//*[@Id=\"3",
                             "it's",
                             "a]b",
                             "p/q",
                             "caf\xC3\xA9.kvd",
                             "",
                             " a.kvd"};

template <class T, std::size_t N>
const T& Pick(FuzzedDataProvider& in, const T (&items)[N]) {
    return items[in.ConsumeIntegralInRange<std::size_t>(0, N - 1)];
}

// An attribute value: from the pool, or printable ASCII and "é" from the
// input; a value to look up may also hold a tab and the break marker.
std::string Value(FuzzedDataProvider& in, bool lookup) {
    if (in.ConsumeBool())
        return Pick(in, kPool);
    std::string value;
    for (unsigned char c : in.ConsumeRandomLengthString(12)) {
        if (c >= 0x20 && c < 0x7F)
            value += static_cast<char>(c);
        else if (c >= 0x80)
            value += "\xC3\xA9";
        else if (lookup)
            value += c % 2 ? '\x01' : '\t';
    }
    return value;
}

std::string Escape(const std::string& text) {
    std::string escaped;
    for (char c : text)
        escaped += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '"' ? "&quot;" : std::string(1, c);
    return escaped;
}

// One element the lookups may find, in document order.
struct Record {
    enum Kind { kInGroup, kBesideGroup, kOtherName, kEntry } kind;
    std::string type, value;
    bool present = true;  // whether the element carries the attribute
};

std::string BuildDocument(FuzzedDataProvider& in, std::vector<Record>& records) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Repositories>";
    auto element = [&](const char* name, Record record) {
        xml += "<" + std::string(name) + " Id=\"" + std::to_string(records.size()) + "\"";
        if (in.ConsumeIntegralInRange(0, 7) != 0)
            xml += std::string(record.kind == Record::kEntry ? " Key" : " FileName") + "=\"" +
                   Escape(record.value) + "\"";
        else
            record.present = false;
        xml += "/>";
        records.push_back(record);
    };
    for (int types = in.ConsumeIntegralInRange(0, 3); types > 0; --types) {
        const std::string type = Pick(in, kTypes);
        xml += "<" + type + ">";
        for (int children = in.ConsumeIntegralInRange(0, 4); children > 0; --children) {
            switch (in.ConsumeIntegralInRange(0, 3)) {
                case 0:
                    element("ItemAttrib", {Record::kBesideGroup, type, Value(in, false)});
                    break;
                case 1:
                    xml += "<!-- a comment -->";
                    break;
                default:
                    xml += "<RepoItem Name=\"x\">";
                    for (int items = in.ConsumeIntegralInRange(0, 4); items > 0; --items) {
                        const bool named = in.ConsumeIntegralInRange(0, 5) != 0;
                        element(named ? "ItemAttrib" : "ItemAttribs",
                                {named ? Record::kInGroup : Record::kOtherName, type,
                                 Value(in, false)});
                    }
                    xml += "</RepoItem>";
            }
        }
        xml += "</" + type + ">";
    }
    for (int entries = in.ConsumeIntegralInRange(0, 4); entries > 0; --entries)
        element("Repository", {Record::kEntry, "", Value(in, false)});
    return xml + "</Repositories>\n";
}

std::string IdOf(IXMLDOMNode* node) {
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    CComPtr<IXMLDOMNode> id;
    CComVariant value;
    if (node->get_attributes(&attributes) != S_OK ||
        attributes->getQualifiedItem(_stringx(OLESTR("Id")).bstr(), nullptr, &id) != S_OK ||
        id->get_nodeValue(&value) != S_OK || value.vt != VT_BSTR)
        return "<no id>";
    return _stringx(value.bstrVal, SysStringLen(value.bstrVal)).str();
}

// The Ids of what `path` selects (none when it does not evaluate), after
// checking that selectSingleNode gives the first of them.
std::vector<std::string> Select(IXMLDOMNode* context, const _stringx& path) {
    CComPtr<IXMLDOMNodeList> list;
    std::vector<std::string> ids;
    const HRESULT listed = context->selectNodes(path.bstr(), &list);
    for (CComPtr<IXMLDOMNode> node; list && list->nextNode(&node) == S_OK; node.Release())
        ids.push_back(IdOf(node));
    CComPtr<IXMLDOMNode> single;
    const HRESULT selected = context->selectSingleNode(path.bstr(), &single);
    FUZZ_CHECK(SUCCEEDED(listed) == SUCCEEDED(selected));
    FUZZ_CHECK(ids.empty() ? !single : single && IdOf(single) == ids.front());
    return ids;
}

// The Ids of the records of `kind` (and `type`, when given) whose value is `value`.
std::vector<std::string> Expected(const std::vector<Record>& records, Record::Kind kind,
                                  const std::string& type, const std::string& value) {
    std::vector<std::string> ids;
    for (std::size_t i = 0; i < records.size(); ++i)
        if (records[i].kind == kind && records[i].type == type && records[i].present &&
            records[i].value == value)
            ids.push_back(std::to_string(i));
    return ids;
}

// Stops with the document, the value and both selections when they differ.
void Expect(const std::vector<std::string>& selected, const std::vector<std::string>& expected,
            const std::string& xml, const std::string& value) {
    if (selected == expected)
        return;
    auto print = [](const char* what, const std::vector<std::string>& ids) {
        std::fprintf(stderr, "%s:", what);
        for (const std::string& id : ids)
            std::fprintf(stderr, " %s", id.c_str());
        std::fprintf(stderr, "\n");
    };
    std::fprintf(stderr, "document: %s\nvalue: [%s]\n", xml.c_str(), value.c_str());
    print("selected", selected);
    print("expected", expected);
    FUZZ_CHECK(selected == expected);
}

CComPtr<IXMLDOMDocument2> NewDocument() {
    CComPtr<IXMLDOMDocument2> document;
    FUZZ_CHECK(kv::ComponentLoader::Process().CreateInstance(
                   OLESTR("msxml4.dll"), CLSID_DOMDocument40, IID_IXMLDOMDocument2, &document) ==
               S_OK);
    return document;
}

bool Load(IXMLDOMDocument2* document, const kvfuzz::fs::path& file) {
    VARIANT_BOOL loaded = VARIANT_FALSE;
    document->load(CComVariant(_stringx(file.string()).c_str()), &loaded);
    return loaded == VARIANT_TRUE;
}

void CheckSteps(const std::string& text) {
    const _stringx path(text);
    _stringx step(OLESTR("untouched"));
    const int slash = xmlutils::SplitLastStep(path, step);
    if (path.empty()) {
        FUZZ_CHECK(slash == -1 && step == _stringx(OLESTR("untouched")));
    } else if (slash < 0) {
        FUZZ_CHECK(path.find(OLESTR('/')) == _stringx::npos && step == path);
    } else {
        FUZZ_CHECK(path[slash] == OLESTR('/') && step == path.substr(slash + 1));
        FUZZ_CHECK(step.find(OLESTR('/')) == _stringx::npos);
    }
    _stringx cut(path);
    xmlutils::RemoveLastStep(cut);
    FUZZ_CHECK(cut == path.substr(0, slash < 0 ? 0 : slash));

    const xmlutils::CKVXPathFragment fragment(step);
    const _stringx full = fragment.GetElementName(true), bare = fragment.GetElementName(false);
    FUZZ_CHECK(step.compare(0, full.size(), full) == 0);
    FUZZ_CHECK(full.size() >= bare.size() &&
               full.compare(full.size() - bare.size(), bare.size(), bare) == 0);
    FUZZ_CHECK(full.find(OLESTR('[')) == _stringx::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const kvfuzz::fs::path file = kvfuzz::Scratch() / "lookup.xml";
    FuzzedDataProvider in(data, size);
    std::vector<Record> records;
    const std::string xml = BuildDocument(in, records);
    kvfuzz::WriteFile(file, xml);

    CComPtr<IXMLDOMDocument2> document = NewDocument();
    FUZZ_CHECK(Load(document, file));
    CComPtr<IXMLDOMElement> root;
    FUZZ_CHECK(document->get_documentElement(&root) == S_OK);

    const std::string type = Pick(in, kTypes);
    std::string value = Value(in, true);
    if (!records.empty() && in.ConsumeBool())
        value = records[in.ConsumeIntegralInRange<std::size_t>(0, records.size() - 1)].value;
    const bool doubleQuote = value.find('"') != std::string::npos;
    const bool singleQuote = value.find('\'') != std::string::npos;
    const _stringx wide(value);

    const std::vector<std::string> none;
    Expect(
        Select(root, xmlutils::FormatXPath(xmlutils::kXPathItemByFileName, {_stringx(type), wide})),
        doubleQuote ? none : Expected(records, Record::kInGroup, type, value), xml, value);
    Expect(Select(root, xmlutils::FormatXPath(xmlutils::kXPathRepositoryByAttrib,
                                              {_stringx(OLESTR("Key")), wide})),
           doubleQuote ? none : Expected(records, Record::kEntry, "", value), xml, value);
    Expect(Select(root, xmlutils::FormatXPath("Repository[@Key='%s']", {wide})),
           singleQuote ? none : Expected(records, Record::kEntry, "", value), xml, value);

    // The same lookup as a write: it reaches the selected elements or, when
    // there are none, only the element it creates.
    XMLIntercessor writer;
    FUZZ_CHECK(writer.Initialize(_stringx(file.string()).c_str(), nullptr, nullptr, true, false) ==
               S_OK);
    XmlAttribMap written;
    written[_stringx(OLESTR("FileName"))] = CComVariant(wide.c_str());
    written[_stringx(OLESTR("Written"))] = CComVariant(OLESTR("yes"));
    FUZZ_CHECK(writer.SetAttribValues(
        xmlutils::FormatXPath(xmlutils::kXPathItemByFileName, {_stringx(type), wide}).c_str(),
        written));
    XmlAttribTexts changed;
    writer.GetAllAttribTexts(OLESTR("//*[@Written]"), changed);
    std::vector<std::string> changedIds;
    for (std::size_t node = 0; node < changed.NodeCount(); ++node) {
        std::string id = "<no id>";
        for (std::size_t at = changed.First(node); at < changed.End(node); ++at)
            if (changed.Name(at) == XmlAttribTexts::View(OLESTR("Id")))
                id = _stringx(changed.Value(at).data(), changed.Value(at).size()).str();
        changedIds.push_back(id);
    }
    const std::vector<std::string> selected =
        doubleQuote ? none : Expected(records, Record::kInGroup, type, value);
    // A "/" in the value splits the path inside the predicate: its last
    // "step" is no element name, and nothing is created.
    if (!(selected.empty() && changedIds.empty() && value.find('/') != std::string::npos))
        Expect(changedIds, selected.empty() ? std::vector<std::string>{"<no id>"} : selected, xml,
               value);
    // The document is saved unless it now holds a character XML cannot carry
    // (the lookup value may hold one), and what is saved loads again.
    const bool xmlText = std::all_of(value.begin(), value.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 || c == '\t';
    });
    static const kvfuzz::fs::path saved = kvfuzz::Scratch() / "saved.xml";
    const bool wasSaved = writer.Save(_stringx(saved.string()).c_str()) == S_OK;
    FUZZ_CHECK(wasSaved == (changedIds.empty() || xmlText));
    if (wasSaved) {
        CComPtr<IXMLDOMDocument2> reloaded = NewDocument();
        FUZZ_CHECK(Load(reloaded, saved));
    }

    // A raw expression: evaluated without a crash, split by the step rules.
    const std::string expression = in.ConsumeRandomLengthString(64);
    Select(root, _stringx(expression));
    CheckSteps(expression);
    return 0;
}
