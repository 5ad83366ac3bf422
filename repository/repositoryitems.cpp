#include "repository/repositoryitems.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "foundation/pathx.h"
#include "foundation/platform/codepage.h"
#include "foundation/platform/find.h"
#include "repository/repository.h"
#include "xml/xpath.h"

namespace {

constexpr long kNoDataFile = -3;

const OLECHAR kRepositoryMarker[] = u"<KVREPOSITORY>";
const OLECHAR kAllItems[] = u"/*";

bool IsFolder(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsDotEntry(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// Whether `path` names an existing file (not a folder).
bool IsFile(const _stringx& path) {
    const DWORD attributes = GetFileAttributesA(path.narrow());
    return attributes != INVALID_FILE_ATTRIBUTES && !IsFolder(attributes);
}

struct FoundEntry {
    _stringx name;
    DWORD attributes;
    DWORD sizeLow;
};

// The entries that the directory search returns for `searchPath`, without
// "." and "..".
std::vector<FoundEntry> Search(const _stringx& searchPath) {
    std::vector<FoundEntry> entries;
    WIN32_FIND_DATAA data;
    const HANDLE search = FindFirstFileA(searchPath.narrow(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return entries;
    struct Close {
        HANDLE handle;
        ~Close() { FindClose(handle); }
    } close{search};
    do {
        if (!IsDotEntry(data.cFileName))
            entries.push_back({_stringx(data.cFileName), data.dwFileAttributes, data.nFileSizeLow});
    } while (FindNextFileA(search, &data));
    return entries;
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

_stringx CRepositoryItems::GetRepoDataFilePath() {
    return m_pRepository ? m_pRepository->GetRepoDataFilePath() : _stringx();
}

long CRepositoryItems::GetItems(const char* itemPath) {
    if (GetRepoDataFilePath().empty())
        return kNoDataFile;

    _stringx typePath = itemPath ? _stringx(itemPath) : _stringx();
    const auto marker = typePath.find(kRepositoryMarker);
    if (marker != _stringx::npos)
        typePath.erase(marker, std::char_traits<OLECHAR>::length(kRepositoryMarker));

    _stringx fileName;
    const auto all = typePath.find(kAllItems);
    if (all != _stringx::npos) {
        typePath.erase(all, 2);
    } else if (!typePath.empty() && typePath.back() == u'\\') {
        // "...\Name\": the file name is "Name\", the type path keeps "Name".
        typePath.pop_back();
        const auto split = typePath.rfind(u'\\');
        fileName = _stringx(typePath.substr(split == _stringx::npos ? 0 : split + 1)) + u'\\';
    } else {
        const auto split = typePath.rfind(u'\\');
        if (split == _stringx::npos) {
            fileName.swap(typePath);
        } else {
            fileName = typePath.substr(split + 1);
            typePath.erase(split);
        }
    }

    std::replace(typePath.begin(), typePath.end(), u'\\', u'/');
    if (!typePath.empty() && typePath.front() == u'/')
        typePath.erase(0, 1);
    return LoadItems(typePath, fileName);
}

long CRepositoryItems::LoadItems(const _stringx& typePath, const _stringx& fileName) {
    const _stringx dataFile = GetRepoDataFilePath();
    XMLIntercessor document;
    const long status = OpenXmlFile(dataFile, document);
    if (status != 0)
        return status;

    std::vector<XmlNodeEntry> children;
    document.GetChildNodes(typePath.c_str(), children);
    const bool templates = typePath.find(u"Templates") != _stringx::npos;
    const _stringx dataFolder = kv::PathFolderPart(dataFile);
    const _stringx repoItem(u"RepoItem");

    // Every group of the call has the same group path, so one index serves
    // them all; it lives as long as the document it reads.
    const _stringx groupPath = typePath + u'/' + repoItem;
    std::unique_ptr<ItemAttribIndex> index;
    if (ItemAttribIndex::CanIndex(groupPath))
        index.reset(new ItemAttribIndex(document, groupPath));
    struct Reset {
        ItemAttribIndex*& slot;
        ~Reset() { slot = nullptr; }
    } reset{m_pIndex};
    m_pIndex = index.get();

    for (const XmlNodeEntry& child : children) {
        if (child.name != repoItem)
            continue;
        const _stringx name = GetAttribValue(_stringx(u"Name"), child.attribs);
        const _stringx key = GetAttribValue(_stringx(u"Key"), child.attribs);
        const _stringx wildcard = GetAttribValue(_stringx(u"Wildcard"), child.attribs);
        if (wildcard.empty())
            continue;
        const _stringx itemFolder = kv::PathJoin(dataFolder, name);

        if (fileName.empty()) {
            std::vector<FoundFile> found;
            if (FindItemFiles(itemFolder, wildcard, templates, found, _stringx()) > 0)
                for (const FoundFile& file : found)
                    LoadItemInfo(document, key, kv::PathJoin(itemFolder, file.name), groupPath);
            continue;
        }

        const _stringx candidate = kv::PathJoin(itemFolder, fileName);
        if (IsFile(candidate)) {
            LoadItemInfo(document, key, candidate, groupPath);
        } else if (templates) {
            // A template may lie in a folder of its own name: <folder>\X\X.ext.
            _stringx stem = kv::PathLastComponent(candidate);
            const auto dot = stem.rfind(u'.');
            if (dot != _stringx::npos)
                stem.erase(dot);
            const _stringx second =
                kv::PathJoin(kv::PathJoin(kv::PathFolderPart(candidate), stem), fileName);
            if (IsFile(second))
                LoadItemInfo(document, key, second, groupPath);
        }
    }
    return 0;
}

void CRepositoryItems::LoadItemInfo(XMLIntercessor& document, const _stringx& key,
                                    const _stringx& filePath, const _stringx& groupPath) {
    std::unique_ptr<CRepositoryItem> item(
        new CRepositoryItem(m_pRepository, true, _stringx(), GetRepoStatus()));
    item->PutProperty(_stringx(u"LocalCopy"), filePath);
    item->PutProperty(_stringx(u"Key"), key);

    const _stringx fileName = kv::PathLastComponent(filePath);
    XmlAttribMap stored;
    GetStoredAttribs(document, groupPath, fileName, stored);
    if (!stored.empty()) {
        for (const auto& attribute : stored)
            item->PutProperty(attribute.first, GetAttribValue(attribute.first, stored));
    } else {
        item->PutProperty(_stringx(u"FileName"), fileName);
        item->PutProperty(_stringx(u"DisplayName"), fileName);
    }
    AddToCol(item.release());
}

void CRepositoryItems::GetStoredAttribs(XMLIntercessor& document, const _stringx& groupPath,
                                        const _stringx& fileName, XmlAttribMap& attributes) {
    if (m_pIndex && m_pIndex->GetGroupPath() == groupPath) {
        if (const XmlAttribMap* found = m_pIndex->Find(fileName))
            attributes = *found;
        return;
    }
    document.GetAttribValues(GetItemAttribXPath(groupPath, fileName).c_str(), attributes);
}

_stringx CRepositoryItems::LowerFileName(const _stringx& fileName) {
    // Through the narrow form, exactly as CRepositoryItem::PutProperty stores "FileName".
    std::string narrow = fileName.str();
    if (!narrow.empty())
        CharLowerBuffA(&narrow[0], static_cast<DWORD>(narrow.size()));
    return _stringx(narrow);
}

_stringx CRepositoryItems::GetItemAttribXPath(const _stringx& groupPath, const _stringx& fileName) {
    return xmlutils::FormatXPath(xmlutils::kXPathItemAttribByFileName,
                                 {groupPath, LowerFileName(fileName)});
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
    static const OLECHAR kSpecial[] = u"|[]()\"'$";
    return groupPath.find_first_of(kSpecial) == _stringx::npos;
}

const XmlAttribMap* CRepositoryItems::ItemAttribIndex::Find(const _stringx& fileName) {
    if (!m_built) {
        m_built = true;
        const _stringx fileNameAttrib(u"FileName");
        m_document.GetAllAttribValues((m_groupPath + u"/ItemAttrib").c_str(), m_elements);
        for (std::size_t i = 0; i < m_elements.size(); ++i) {
            const auto found = m_elements[i].find(fileNameAttrib);
            if (found == m_elements[i].end())
                continue;
            CComVariant text(found->second);
            if (FAILED(text.ChangeType(VT_BSTR)))
                continue;
            // The first element in document order wins, as with the query.
            m_byFileName.emplace(_stringx(text.bstrVal, SysStringLen(text.bstrVal)), i);
        }
    }
    const _stringx lowered = LowerFileName(fileName);
    // The query for such a name is broken on purpose and selects nothing.
    if (lowered.find(u'"') != _stringx::npos)
        return nullptr;
    const auto found = m_byFileName.find(lowered);
    return found == m_byFileName.end() ? nullptr : &m_elements[found->second];
}

// ---------------------------------------------------------------------------
// Folder search

long CRepositoryItems::FindItemFiles(const _stringx& folder, const _stringx& patterns, bool recurse,
                                     std::vector<FoundFile>& list, const _stringx& prefix) {
    std::vector<_stringx> parts;
    for (std::size_t begin = 0; begin <= patterns.size();) {
        auto end = patterns.find(u';', begin);
        if (end == _stringx::npos)
            end = patterns.size();
        if (end > begin)
            parts.emplace_back(patterns.substr(begin, end - begin));
        begin = end + 1;
    }
    if (!parts.empty())
        SearchFolder(folder, parts, recurse, list, prefix);
    std::sort(list.begin(), list.end(), [](const FoundFile& a, const FoundFile& b) {
        const int order = a.name.compare(b.name);
        return order != 0 ? order < 0 : a.sizeKB < b.sizeKB;
    });
    return static_cast<long>(list.size());
}

void CRepositoryItems::SearchFolder(const _stringx& folder, const std::vector<_stringx>& patterns,
                                    bool recurse, std::vector<FoundFile>& list,
                                    const _stringx& prefix) {
    for (const _stringx& pattern : patterns)
        for (const FoundEntry& entry : Search(kv::PathJoin(folder, pattern)))
            list.push_back({prefix.empty() ? entry.name : kv::PathJoin(prefix, entry.name),
                            static_cast<std::int32_t>(entry.sizeLow >> 10)});
    if (!recurse)
        return;

    // Sub-folders once, after all patterns, each with the whole pattern list.
    // Linked folders are not entered: a link back up the tree would never end.
    for (const FoundEntry& entry : Search(kv::PathJoin(folder, _stringx(u"*.*")))) {
        if (!IsFolder(entry.attributes) || (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        SearchFolder(kv::PathJoin(folder, entry.name), patterns, recurse, list,
                     prefix.empty() ? entry.name : kv::PathJoin(prefix, entry.name));
    }
}
