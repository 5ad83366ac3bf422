#include "repository/repositoryitems.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "foundation/folderpath.h"
#include "foundation/pathx.h"
#include "win32/codepage.h"
#include "foundation/platform/find.h"
#include "repository/repository.h"
#include "xml/xpath.h"
#include "win32/fileio.h"
#include "win32/files.h"
#include "win32/find.h"
#include "foundation/platform/text.h"

namespace {

const OLECHAR kAllItems[] = OLESTR("/*");

kv::text_view View(const _stringx& text) {
    return kv::text_view(text.data(), text.size());
}

// Whether `path` is `folder` itself or lies below it, as text (see
// kv::PathIsInside).
bool WithinFolder(const _stringx& folder, const _stringx& path) {
    return kv::PathIsInside(folder, path) || kv::PathNormalize(path) == kv::PathNormalize(folder);
}

// The file `path` names, found as the platform's wildcard search finds names:
// ignoring letter case by the ANSI rule, as file systems shared with Windows
// hosts do. Display paths carry the lower-cased FileName, while the file keeps
// its own case. Only the file name is matched so; its folders must be spelt
// as they are. False when there is no such file (or the name holds a wildcard).
bool FindFile(const _stringx& path, _stringx& found) {
    // Where names are found in any case, only the search gives the file's own.
    if (!kv::platform::kFileNamesIgnoreCase && kv::FileExists(path)) {
        found = path;
        return true;
    }
    const _stringx name = kv::PathLastComponent(path);
    if (name.empty() || name.find_first_of(OLESTR("*?")) != _stringx::npos)
        return false;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(path.narrow(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool matched = false;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            found = kv::PathJoin(kv::PathFolderPart(path), _stringx(data.cFileName));
            matched = true;
        }
    } while (!matched && FindNextFileA(search, &data));
    FindClose(search);
    return matched;
}

// Ordinal comparison, code unit by code unit, as _stringx::compare; equal runs
// are skipped four units at a time, since the names of one folder tend to
// share long beginnings ("Module000123.msm").
int CompareUnits(const OLECHAR* a, std::size_t aLength, const OLECHAR* b, std::size_t bLength) {
    const std::size_t length = std::min(aLength, bLength);
    std::size_t i = 0;
    for (; i + 4 <= length; i += 4) {
        std::uint64_t x, y;
        static_assert(sizeof(x) == 4 * sizeof(OLECHAR), "four units to a word");
        std::memcpy(&x, a + i, sizeof(x));
        std::memcpy(&y, b + i, sizeof(y));
        if (x != y)
            break;
    }
    for (; i < length; ++i)
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    return aLength < bLength ? -1 : aLength > bLength ? 1 : 0;
}

// The entries the directory search gives for `searchPath`, without "." and
// "..". Only names and the folder and link marks are read: the catalogue needs
// no more (see FoundFile), and on POSIX each further attribute costs a status
// call per file.
std::vector<kv::platform::FolderEntry> Search(const _stringx& searchPath) {
    std::vector<kv::platform::FolderEntry> entries;
    kv::platform::ListFolder(searchPath.narrow(), entries);
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

    std::vector<XmlNodeEntry> children;
    document.GetChildNodes(typePath.c_str(), children);
    const bool templates = typePath.find(OLESTR("Templates")) != _stringx::npos;
    const _stringx dataFolder = kv::PathFolderPart(dataFile);
    const _stringx repoItem(OLESTR("RepoItem"));

    // Every group of the call has the same group path, so one index serves
    // them all; it lives as long as the document it reads.
    const _stringx groupPath = typePath + OLESTR('/') + repoItem;
    std::unique_ptr<ItemAttribIndex> index;
    if (ItemAttribIndex::CanIndex(groupPath))
        index.reset(new ItemAttribIndex(document, groupPath));
    LoadContext context;
    context.index = index.get();

    for (const XmlNodeEntry& child : children) {
        if (child.name != repoItem)
            continue;
        const _stringx name = GetAttribValue(_stringx(OLESTR("Name")), child.attribs);
        const _stringx key = GetAttribValue(_stringx(OLESTR("Key")), child.attribs);
        const _stringx wildcard = GetAttribValue(_stringx(OLESTR("Wildcard")), child.attribs);
        if (wildcard.empty())
            continue;
        const _stringx itemFolder = kv::PathJoin(dataFolder, name);
        if (!WithinFolder(dataFolder, itemFolder))
            continue;

        if (fileName.empty()) {
            std::vector<FoundFile> found;
            if (FindItemFiles(itemFolder, wildcard, templates, found, _stringx(), dataFolder) > 0)
                for (const FoundFile& file : found)
                    LoadItemInfo(document, key, kv::PathJoin(itemFolder, file.name), groupPath,
                                 context);
            continue;
        }

        const _stringx candidate = kv::PathJoin(itemFolder, fileName);
        _stringx found;
        if (!kv::PathIsInside(dataFolder, candidate))
            continue;
        if (FindFile(candidate, found)) {
            LoadItemInfo(document, key, found, groupPath, context);
        } else if (templates) {
            // A template may lie in a folder of its own name: <folder>\X\X.ext.
            _stringx stem = kv::PathLastComponent(candidate);
            const auto dot = stem.rfind(OLESTR('.'));
            if (dot != _stringx::npos)
                stem.erase(dot);
            const _stringx second =
                kv::PathJoin(kv::PathJoin(kv::PathFolderPart(candidate), stem), fileName);
            if (kv::PathIsInside(dataFolder, second) && FindFile(second, found))
                LoadItemInfo(document, key, found, groupPath, context);
        }
    }
    return 0;
}

void CRepositoryItems::LoadItemInfo(XMLIntercessor& document, const _stringx& key,
                                    const _stringx& filePath, const _stringx& groupPath,
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
    values.AddKept(View(kLocalCopy), View(filePath));
    values.AddKept(View(kKey), View(key));
    const _stringx fileName = kv::PathLastComponent(filePath);
    _stringx lowered;
    if (!AddStoredAttribs(document, groupPath, fileName, context)) {
        lowered = kv::LowerFileName(fileName);
        values.AddKept(View(kFileName), View(lowered));
        values.AddKept(View(kDisplayName), View(fileName));
    }
    std::unique_ptr<CRepositoryItem> item(
        new CRepositoryItem(m_pRepository, true, _stringx(), GetRepoStatus()));
    item->AssignWrittenValues(values);
    AddToCol(item.release());
}

bool CRepositoryItems::AddStoredAttribs(XMLIntercessor& document, const _stringx& groupPath,
                                        const _stringx& fileName, LoadContext& context) {
    kv::PropertyList& values = context.values;
    ItemAttribIndex* index = context.index;
    if (index && index->GetGroupPath() == groupPath) {
        const std::size_t node = index->Find(fileName);
        if (node == ItemAttribIndex::npos)
            return false;
        const XmlAttribTexts& texts = index->Texts();
        // The index outlives the item's making.
        for (std::size_t i = texts.First(node); i < texts.End(node); ++i)
            values.AddKept(texts.Name(i), texts.Value(i));
        return texts.First(node) < texts.End(node);
    }
    XmlAttribMap queried;
    document.GetAttribValues(GetItemAttribXPath(groupPath, fileName).c_str(), queried);
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

std::size_t CRepositoryItems::ItemAttribIndex::Find(const _stringx& fileName) {
    if (!m_built) {
        m_built = true;
        m_document.GetAllAttribTexts((m_groupPath + OLESTR("/ItemAttrib")).c_str(), m_texts);
        m_byFileName.reserve(m_texts.NodeCount());
        const View fileNameAttrib(OLESTR("FileName"));
        for (std::size_t node = 0; node < m_texts.NodeCount(); ++node) {
            for (std::size_t i = m_texts.First(node); i < m_texts.End(node); ++i) {
                // The first element in document order wins, as with the query.
                if (m_texts.Name(i) == fileNameAttrib) {
                    m_byFileName.emplace(m_texts.Value(i), node);
                    break;
                }
            }
        }
    }
    std::basic_string<OLECHAR>& lowered = m_lowered;
    kv::LowerFileName(fileName.data(), fileName.size(), lowered);
    // The query for such a name is broken on purpose and selects nothing.
    if (lowered.find(OLESTR('"')) != lowered.npos)
        return npos;
    const auto found = m_byFileName.find(View(lowered.data(), lowered.size()));
    return found == m_byFileName.end() ? npos : found->second;
}

// ---------------------------------------------------------------------------
// Folder search

long CRepositoryItems::FindItemFiles(const _stringx& folder, const _stringx& patterns, bool recurse,
                                     std::vector<FoundFile>& list, const _stringx& prefix,
                                     const _stringx& repositoryFolder) {
    std::vector<_stringx> parts;
    for (std::size_t begin = 0; begin <= patterns.size();) {
        auto end = patterns.find(OLESTR(';'), begin);
        if (end == _stringx::npos)
            end = patterns.size();
        // A pattern that names a folder out of `folder` ("..\*.kvd") is not searched.
        const _stringx part = patterns.substr(begin, end - begin);
        if (end > begin && WithinFolder(folder, kv::PathFolderPart(kv::PathJoin(folder, part))))
            parts.push_back(part);
        begin = end + 1;
    }
    if (!parts.empty()) {
        std::vector<_stringx> walk;
        _stringx inside;
        if (recurse) {
            walk.push_back(kv::ResolveExistingPath(folder));
            inside = kv::ResolveExistingPath(repositoryFolder.empty() ? folder : repositoryFolder);
        }
        SearchFolder(folder, parts, recurse, list, prefix, inside, walk);
    }
    // What is sorted is a small key per entry, and the entries are then moved
    // once, into their places: moving strings, and reaching each through its
    // entry, is what a sort of thousands of entries would spend most on.
    struct Key {
        const OLECHAR* text;
        std::size_t length;
        std::size_t at;
    };
    std::vector<Key> keys(list.size());
    for (std::size_t i = 0; i < list.size(); ++i)
        keys[i] = {list[i].name.data(), list[i].name.size(), i};
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        return CompareUnits(a.text, a.length, b.text, b.length) < 0;
    });
    std::vector<FoundFile> sorted;
    sorted.reserve(list.size());
    for (const Key& key : keys)
        sorted.push_back(std::move(list[key.at]));
    list.swap(sorted);
    return static_cast<long>(list.size());
}

void CRepositoryItems::SearchFolder(const _stringx& folder, const std::vector<_stringx>& patterns,
                                    bool recurse, std::vector<FoundFile>& list,
                                    const _stringx& prefix, const _stringx& inside,
                                    std::vector<_stringx>& walk) {
    for (const _stringx& pattern : patterns) {
        std::vector<kv::platform::FolderEntry> entries = Search(kv::PathJoin(folder, pattern));
        list.reserve(list.size() + entries.size());
        for (const kv::platform::FolderEntry& entry : entries) {
            _stringx name(entry.name);
            list.push_back({prefix.empty() ? std::move(name) : kv::PathJoin(prefix, name)});
        }
    }
    if (!recurse)
        return;

    // Sub-folders once, after all patterns, each with the whole pattern list.
    // A linked folder is entered where it leads inside the repository; no
    // folder is entered twice on one way down, so a link back up ends there.
    for (const kv::platform::FolderEntry& entry :
         Search(kv::PathJoin(folder, _stringx(OLESTR("*.*"))))) {
        if (!entry.folder)
            continue;
        const _stringx name(entry.name);
        const _stringx path = kv::PathJoin(folder, name);
        const _stringx resolved = kv::ResolveExistingPath(path);
        if ((entry.link && !kv::PathIsInside(inside, resolved)) ||
            std::find(walk.begin(), walk.end(), resolved) != walk.end())
            continue;
        walk.push_back(resolved);
        SearchFolder(path, patterns, recurse, list,
                     prefix.empty() ? name : kv::PathJoin(prefix, name), inside, walk);
        walk.pop_back();
    }
}
