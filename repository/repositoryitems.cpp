#include "repository/repositoryitems.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "foundation/pathx.h"
#include "foundation/platform/text.h"
#include "foundation/platform/utf8.h"
#include "repository/itemgroups.h"
#include "repository/repository.h"
#include "xml/xpath.h"

namespace {

const OLECHAR kAllItems[] = OLESTR("/*");

kv::text_view View(const _stringx& text) {
    return kv::text_view(text.data(), text.size());
}

}  // namespace

CRepositoryItems::CRepositoryItems(IRepoStatus* status)
    : CRepoData(status), m_pRepository(nullptr) {}

CRepositoryItems::CRepositoryItems(CRepository* repository, IRepoStatus* status)
    : CRepoData(status), m_pRepository(repository) {}

CRepositoryItems::CRepositoryItems(const CRepositoryItems& other)
    : Collection(other), CRepoData(other), m_pRepository(other.m_pRepository) {}

CRepositoryItems& CRepositoryItems::operator=(const CRepositoryItems& other) {
    if (this != &other) {
        Collection::operator=(other);
        CRepoData::operator=(other);
        m_pRepository = other.m_pRepository;
    }
    return *this;
}

CRepositoryItems::~CRepositoryItems() = default;

void CRepositoryItems::TakeItems(CRepositoryItems& source) {
    TakeElements(source);
}

_stringx CRepositoryItems::GetRepoDataFilePath() {
    return m_pRepository ? m_pRepository->GetRepoDataFilePath() : _stringx();
}

long CRepositoryItems::GetItems(const char* itemPath) {
    if (GetRepoDataFilePath().empty())
        return kv::status::kNoDataFilePath;

    _stringx typePath = itemPath ? _stringx(itemPath) : _stringx();
    const auto marker = typePath.find(CRepositoryItem::kRepositoryMarker);
    if (marker != _stringx::npos)
        typePath.erase(marker,
                       std::char_traits<OLECHAR>::length(CRepositoryItem::kRepositoryMarker));

    _stringx fileName;
    const auto all = typePath.find(kAllItems);
    if (all != _stringx::npos) {
        typePath.erase(all, 2);
    } else if (!typePath.empty() && typePath.back() == OLESTR('\\')) {
        // "...\Name\": the file name is "Name\", the type path keeps "Name".
        typePath.pop_back();
        const auto split = typePath.rfind(OLESTR('\\'));
        fileName =
            _stringx(typePath.substr(split == _stringx::npos ? 0 : split + 1)) + OLESTR('\\');
    } else {
        const auto split = typePath.rfind(OLESTR('\\'));
        if (split == _stringx::npos) {
            fileName.swap(typePath);
        } else {
            fileName = typePath.substr(split + 1);
            typePath.erase(split);
        }
    }

    std::replace(typePath.begin(), typePath.end(), OLESTR('\\'), OLESTR('/'));
    if (!typePath.empty() && typePath.front() == OLESTR('/'))
        typePath.erase(0, 1);
    return LoadItems(typePath, fileName);
}

long CRepositoryItems::LoadItems(const _stringx& typePath, const _stringx& fileName) {
    const _stringx dataFile = GetRepoDataFilePath();
    XMLIntercessor document;
    const long status = OpenXmlFile(dataFile, document);
    if (status != 0)
        return status;

    const kv::RepositoryFolder folder(dataFile);
    const kv::ItemGroups groups(document, folder, typePath);

    // Every group of the call has the same group path, so one index serves
    // them all; it lives as long as the document it reads.
    const _stringx groupPath = typePath + OLESTR("/RepoItem");
    std::unique_ptr<ItemAttribIndex> index;
    if (ItemAttribIndex::CanIndex(groupPath))
        index.reset(new ItemAttribIndex(document, groupPath));
    LoadContext context;
    context.index = index.get();

    std::vector<kv::FoundFile> found;
    _stringx named;
    for (const kv::ItemGroup& group : groups.Groups()) {
        if (fileName.empty()) {
            found.clear();
            groups.FindFiles(group, found);
            for (const kv::FoundFile& file : found) {
                if (file.unusable)
                    continue;
                kv::PathJoin(group.folder, file.name, context.path);
                LoadItemInfo(document, group.key, kv::text_view(context.path), groupPath, context);
            }
        } else if (groups.FindNamed(group, fileName, named)) {
            LoadItemInfo(document, group.key, View(named), groupPath, context);
        }
    }
    return 0;
}

void CRepositoryItems::LoadItemInfo(XMLIntercessor& document, const _stringx& key,
                                    kv::text_view filePath, const _stringx& groupPath,
                                    LoadContext& context) {
    // Made once: this runs for every file of a listing.
    static const _stringx kLocalCopy(OLESTR("LocalCopy")), kKey(OLESTR("Key")),
        kFileName(OLESTR("FileName")), kDisplayName(OLESTR("DisplayName"));
    // What PutProperty of each would cache, in this order, a later value
    // replacing an earlier one of the same name. Stored values are text, and a
    // stored FileName is already lower case (the element was found by the
    // lower-cased name), so they go in as they are.
    kv::PropertyList& values = context.values;
    values.Clear();
    values.AddKept(View(kLocalCopy), filePath);
    values.AddKept(View(kKey), View(key));
    // Views into filePath and the context's buffer, both alive until the
    // item takes its copies.
    const kv::text_view fileName = kv::PathLastComponentView(filePath);
    if (!AddStoredAttribs(document, groupPath, fileName, context)) {
        std::basic_string<OLECHAR>& lowered = context.lowered;
        kv::LowerFileName(fileName.data(), fileName.size(), lowered);
        values.AddKept(View(kFileName), kv::text_view(lowered.data(), lowered.size()));
        values.AddKept(View(kDisplayName), fileName);
    }
    static const _stringx kNoDisplayPath;
    std::unique_ptr<CRepositoryItem> item(
        new CRepositoryItem(m_pRepository, true, kNoDisplayPath, GetRepoStatus()));
    item->AssignWrittenValues(values);
    AddToCol(item.release());
}

bool CRepositoryItems::AddStoredAttribs(XMLIntercessor& document, const _stringx& groupPath,
                                        kv::text_view fileName, LoadContext& context) {
    kv::PropertyList& values = context.values;
    ItemAttribIndex* index = context.index;
    if (index && index->GetGroupPath() == groupPath) {
        const std::size_t node = index->Find(fileName);
        if (index->Usable()) {
            if (node == ItemAttribIndex::npos)
                return false;
            const XmlAttribTextsUtf8& texts = index->Texts();
            for (std::size_t i = texts.First(node); i < texts.End(node); ++i)
                values.AddUtf8(texts.Name(i), texts.Value(i));
            return texts.First(node) < texts.End(node);
        }
    }
    XmlAttribMap queried;
    document.GetAttribValues(
        GetItemAttribXPath(groupPath, _stringx(fileName.data(), fileName.size())).c_str(), queried);
    _stringx text;
    for (const auto& attribute : queried) {
        GetAttribValue(attribute.first, queried, text);
        values.Add(View(attribute.first), View(text));
    }
    return !queried.empty();
}

_stringx CRepositoryItems::GetItemAttribXPath(const _stringx& groupPath, const _stringx& fileName) {
    return xmlutils::FormatXPath(xmlutils::kXPathItemAttribByFileName,
                                 {groupPath, kv::LowerFileName(fileName)});
}

// ---------------------------------------------------------------------------
// The index of ItemAttrib elements

CRepositoryItems::ItemAttribIndex::ItemAttribIndex(XMLIntercessor& document,
                                                   const _stringx& groupPath)
    : m_document(document), m_groupPath(groupPath) {}

CRepositoryItems::ItemAttribIndex::~ItemAttribIndex() = default;

bool CRepositoryItems::ItemAttribIndex::CanIndex(const _stringx& groupPath) {
    // Without these, the path is a location path (or no node set at all, for
    // the query as for the index), and the predicate filters its last step.
    static const OLECHAR kSpecial[] = OLESTR("|[]()\"'$");
    return groupPath.find_first_of(kSpecial) == _stringx::npos;
}

void CRepositoryItems::ItemAttribIndex::Build() {
    m_built = true;
    if (m_document.GetAllAttribTextsUtf8((m_groupPath + OLESTR("/ItemAttrib")).c_str(), m_texts) <
        0) {
        m_usable = false;
        m_texts = XmlAttribTextsUtf8();
        return;
    }
    const std::size_t count = m_texts.NodeCount();
    if (count >= UINT32_MAX)
        throw std::length_error("too many ItemAttrib elements to index");
    std::size_t size = 16;
    while (size < count + count / 2)
        size *= 2;
    m_slots.assign(size, Slot{nullptr, 0, 0});
    const View fileNameAttrib("FileName");
    for (std::size_t node = 0; node < count; ++node) {
        for (std::size_t i = m_texts.First(node); i < m_texts.End(node); ++i) {
            if (m_texts.Name(i) == fileNameAttrib) {
                const View name = m_texts.Value(i);
                // The first element in document order wins, as with the query.
                Slot& slot = SlotFor(name);
                if (slot.node == 0)
                    slot = Slot{name.data(), static_cast<std::uint32_t>(name.size()),
                                static_cast<std::uint32_t>(node + 1)};
                break;
            }
        }
    }
}

std::size_t CRepositoryItems::ItemAttribIndex::Find(kv::text_view fileName) {
    if (!m_built)
        Build();
    if (!m_usable)
        return npos;
    std::basic_string<OLECHAR>& lowered = m_lowered;
    kv::LowerFileName(fileName.data(), fileName.size(), lowered);
    // The query for such a name is broken on purpose and selects nothing.
    if (lowered.find(OLESTR('"')) != lowered.npos)
        return npos;
    // Compared in UTF-8, as the document compares the query's name: a lone
    // surrogate becomes U+FFFD there too.
    std::string& name = m_lowered8;
    name.resize(lowered.size());
    unsigned bits = 0;
    for (std::size_t i = 0; i < lowered.size(); ++i) {
        bits |= lowered[i];
        name[i] = static_cast<char>(lowered[i]);
    }
    if (bits >= 0x80) {
        name.clear();
        kv::utf8::AppendFromUtf16(name, lowered.data(), lowered.size());
    }
    const Slot& slot = SlotFor(View(name));
    return slot.node == 0 ? npos : slot.node - 1;
}

CRepositoryItems::ItemAttribIndex::Slot& CRepositoryItems::ItemAttribIndex::SlotFor(View name) {
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t at = std::hash<View>()(name) & mask;; at = (at + 1) & mask) {
        Slot& slot = m_slots[at];
        if (slot.node == 0 || View(slot.text, slot.length) == name)
            return slot;
    }
}
