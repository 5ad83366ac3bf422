// The rules of what the library takes from a loaded document, judged node
// by node on the texts a tree reader gives, UTF-16 or UTF-8.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "foundation/platform/comptr.h"
#include "xml/xmlrules.h"

namespace xmlutils {

namespace {

// Whether a processing instruction's target is "xml" in some letter case:
// reserved, only the XML declaration has it.
template <class Char>
bool IsXmlTarget(std::basic_string_view<Char> name) {
    return name.size() == 3 && (name[0] | 0x20) == 'x' && (name[1] | 0x20) == 'm' &&
           (name[2] | 0x20) == 'l';
}

// Whether `text` holds `part` (ASCII).
template <class Char>
bool Contains(std::basic_string_view<Char> text, const char* part) {
    for (std::size_t at = 0; at + std::char_traits<char>::length(part) <= text.size(); ++at) {
        std::size_t i = 0;
        while (part[i] && text[at + i] == Char(part[i]))
            ++i;
        if (!part[i])
            return true;
    }
    return false;
}

// What the library takes from a loaded document (see IsAcceptableDocument),
// judged node by node as it is read: the same rules for UTF-16 text (what the
// standard methods give) and UTF-8 text (IKvTreeReaderUtf8).
template <class Char>
class DocumentRules {
public:
    typedef std::basic_string_view<Char> Text;

    bool OnNode(DOMNodeType type, UINT depth, const Char* name, std::size_t nameLength,
                const Char* value, std::size_t valueLength) {
        const bool first = m_first;
        m_first = false;
        m_names.clear();
        m_starts.clear();
        if (!m_many.empty())
            m_many.clear();
        m_seen = 0;
        const Text text(value, valueLength);
        switch (type) {
            case NODE_ELEMENT:
                // One element holds the document, nested no deeper than the limit.
                return depth <= kMaxElementDepth && (depth > 1 || m_roots++ == 0) &&
                       IsXmlName(name, nameLength);
            case NODE_TEXT:
                return depth > 1 && IsXmlText(value, valueLength);
            case NODE_CDATA_SECTION:
                return depth > 1 && IsXmlText(value, valueLength) && !Contains(text, "]]>");
            case NODE_COMMENT:
                return IsXmlText(value, valueLength) && !Contains(text, "--") &&
                       (text.empty() || text.back() != Char('-'));
            case NODE_PROCESSING_INSTRUCTION:
                // The declaration is the first node, exactly "xml".
                if (IsXmlTarget(Text(name, nameLength)) &&
                    !(first && depth == 1 && nameLength == 3 && Contains(Text(name, 3), "xml")))
                    return false;
                return IsXmlName(name, nameLength) && IsXmlText(value, valueLength) &&
                       !Contains(text, "?>");
            default:
                // A document type declaration, or what only comes with one.
                return false;
        }
    }
    bool OnAttribute(const Char* name, std::size_t nameLength, const Char* value,
                     std::size_t valueLength) {
        return IsXmlName(name, nameLength) && IsXmlText(value, valueLength) &&
               IsNewName(Text(name, nameLength));
    }

private:
    // Whether no attribute of this name came before on the same element.
    // Elements have a few attributes, compared one by one; a hostile one with
    // many is looked up in a set.
    bool IsNewName(Text name) {
        constexpr std::size_t kCompared = 32;
        if (m_starts.size() < kCompared) {
            // Names that differ in length or first unit need no comparing.
            const std::uint64_t bit = std::uint64_t(1) << ((name.size() * 7 + name[0]) & 63);
            if (m_seen & bit)
                for (std::size_t i = 0; i < m_starts.size(); ++i)
                    if (NameAt(i) == name)
                        return false;
            m_seen |= bit;
            m_starts.push_back(m_names.size());
            m_names.append(name);
            return true;
        }
        if (m_many.empty())
            for (std::size_t i = 0; i < m_starts.size(); ++i)
                m_many.emplace(NameAt(i));
        return m_many.emplace(name).second;
    }
    Text NameAt(std::size_t i) const {
        const std::size_t end = i + 1 < m_starts.size() ? m_starts[i + 1] : m_names.size();
        return Text(m_names.data() + m_starts[i], end - m_starts[i]);
    }

    bool m_first = true;
    unsigned m_roots = 0;
    // The attribute names of the current element: their text and where each
    // starts in it, and the set of them once there are many.
    std::basic_string<Char> m_names;
    std::vector<std::size_t> m_starts;
    std::uint64_t m_seen = 0;  // a bit per length and first unit seen
    std::unordered_set<std::basic_string<Char>> m_many;
};

class Utf16Rules final : public IKvTreeSink {
public:
    bool OnNode(DOMNodeType type, UINT depth, const OLECHAR* name, UINT nameLength,
                const OLECHAR* value, UINT valueLength) override {
        return m_rules.OnNode(type, depth, name, nameLength, value, valueLength);
    }
    bool OnAttribute(const OLECHAR* name, UINT nameLength, const OLECHAR* value,
                     UINT valueLength) override {
        return m_rules.OnAttribute(name, nameLength, value, valueLength);
    }

private:
    DocumentRules<OLECHAR> m_rules;
};

class Utf8Rules final : public IKvTreeSinkUtf8 {
public:
    bool OnNode(DOMNodeType type, UINT depth, const char* name, std::size_t nameLength,
                const char* value, std::size_t valueLength) override {
        return m_rules.OnNode(type, depth, name, nameLength, value, valueLength);
    }
    bool OnAttribute(const char* name, std::size_t nameLength, const char* value,
                     std::size_t valueLength) override {
        return m_rules.OnAttribute(name, nameLength, value, valueLength);
    }

private:
    DocumentRules<char> m_rules;
};

}  // namespace

bool IsAcceptableDocument(IXMLDOMDocument* document, TreeText read) {
    CComPtr<IKvTreeReaderUtf8> reader;
    if (read == TreeText::kAsHeld &&
        SUCCEEDED(
            document->QueryInterface(IID_IKvTreeReaderUtf8, reinterpret_cast<void**>(&reader))) &&
        reader) {
        Utf8Rules rules;
        return reader->ReadTreeUtf8(&rules) == S_OK;
    }
    Utf16Rules rules;
    return ReadDocumentTree(document, &rules, read == TreeText::kByNode) == S_OK;
}

bool IsLoadedUnderRules(IXMLDOMDocument* document) {
    CComPtr<IKvLoadedUnderRules> verdict;
    UINT version = 0;
    return SUCCEEDED(document->QueryInterface(IID_IKvLoadedUnderRules,
                                              reinterpret_cast<void**>(&verdict))) &&
           verdict && verdict->GetLoadRulesVersion(&version) == S_OK &&
           version == kKvLoadRulesVersion;
}

}  // namespace xmlutils
