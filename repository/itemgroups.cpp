#include "repository/itemgroups.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/folderpath.h"
#include "foundation/pathx.h"
#include "foundation/platform/find.h"
#include "foundation/platform/text.h"
#include "repository/repositoryitem.h"
#include "win32/files.h"
#include "win32/find.h"
#include "xml/repodata.h"

namespace kv {
namespace {

// Whether `path` is `folder` itself or lies below it, as text.
bool WithinAsText(const _stringx& folder, const _stringx& path) {
    return PathIsInside(folder, path) || PathNormalize(path) == PathNormalize(folder);
}

// The file `path` names, found as the platform's wildcard search finds names:
// ignoring letter case by the ANSI rule, as file systems shared with Windows
// hosts do. Display paths carry the lower-cased FileName, while the file keeps
// its own case. Only the file name is matched so; its folders must be spelt
// as they are. False when there is no such file (or the name holds a wildcard).
bool FindFile(const _stringx& path, _stringx& found) {
    // Where names are found in any case, only the search gives the file's own.
    if (!platform::kFileNamesIgnoreCase && FileExists(path)) {
        found = path;
        return true;
    }
    const _stringx name = PathLastComponent(path);
    if (name.empty() || name.find_first_of(OLESTR("*?")) != _stringx::npos)
        return false;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(path.narrow(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool matched = false;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            found = PathJoin(PathFolderPart(path), _stringx(data.cFileName));
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
// no more, and on POSIX each further attribute costs a status call per file.
std::vector<platform::FolderEntry> Search(const _stringx& searchPath) {
    std::vector<platform::FolderEntry> entries;
    platform::ListFolder(searchPath.narrow(), entries);
    return entries;
}

// The non-empty parts of a ";"-separated pattern list.
std::vector<_stringx> SplitPatterns(const _stringx& patterns) {
    std::vector<_stringx> parts;
    for (std::size_t begin = 0; begin <= patterns.size();) {
        auto end = patterns.find(OLESTR(';'), begin);
        if (end == _stringx::npos)
            end = patterns.size();
        if (end > begin)
            parts.push_back(patterns.substr(begin, end - begin));
        begin = end + 1;
    }
    return parts;
}

// A name that no path can reach here: every path operation takes "\" for a
// separator, so a POSIX file whose name holds one is not where the joined
// path leads. (Windows names never hold one.)
bool Unreachable(const std::string& name) {
    return name.find('\\') != std::string::npos;
}

// `name` after `prefix`, as a found file is named: joined as a path, or for an
// unreachable name joined as text, which keeps its "\" as it is.
_stringx Prefixed(const _stringx& prefix, const _stringx& name, bool unreachable) {
    if (prefix.empty())
        return name;
    return unreachable ? prefix + OLESTR('/') + name : PathJoin(prefix, name);
}

// The search below the folder whose links are followed (`inside`, links
// resolved); `walk` holds the folders being searched, links resolved, from
// the top down.
void SearchFolder(const _stringx& folder, const std::vector<_stringx>& patterns, bool recurse,
                  std::vector<FoundFile>& list, const _stringx& prefix, const _stringx& inside,
                  std::vector<_stringx>& walk) {
    for (const _stringx& pattern : patterns) {
        std::vector<platform::FolderEntry> entries = Search(PathJoin(folder, pattern));
        list.reserve(list.size() + entries.size());
        for (const platform::FolderEntry& entry : entries) {
            const bool unreachable = Unreachable(entry.name);
            list.push_back({Prefixed(prefix, _stringx(entry.name), unreachable), unreachable});
        }
    }
    if (!recurse)
        return;

    // Sub-folders once, after all patterns, each with the whole pattern list.
    // A linked folder is entered where it leads inside the repository; no
    // folder is entered twice on one way down, so a link back up ends there.
    for (const platform::FolderEntry& entry : Search(PathJoin(folder, _stringx(OLESTR("*.*"))))) {
        if (!entry.folder || Unreachable(entry.name))
            continue;
        const _stringx name(entry.name);
        const _stringx path = PathJoin(folder, name);
        const _stringx resolved = ResolveExistingPath(path);
        if ((entry.link && !PathIsInside(inside, resolved)) ||
            std::find(walk.begin(), walk.end(), resolved) != walk.end())
            continue;
        walk.push_back(resolved);
        SearchFolder(path, patterns, recurse, list, prefix.empty() ? name : PathJoin(prefix, name),
                     inside, walk);
        walk.pop_back();
    }
}

_stringx WithoutExtension(const _stringx& name) {
    const auto dot = name.rfind(OLESTR('.'));
    return dot == _stringx::npos ? name : _stringx(name.substr(0, dot));
}

}  // namespace

// ---------------------------------------------------------------------------
// The repository's folder

RepositoryFolder::RepositoryFolder(const _stringx& dataFile) : m_root(PathFolderPart(dataFile)) {}

bool RepositoryFolder::HoldsAsWritten(const _stringx& path) const {
    return WithinAsText(m_root, path);
}

bool RepositoryFolder::Holds(const _stringx& path) const {
    if (PathStaysInside(m_root, path))
        return true;
    if (m_resolved.empty())
        m_resolved = ResolveExistingPath(m_root);
    return ResolveExistingPath(path) == m_resolved;
}

_stringx RepositoryFolder::Relative(const _stringx& groupName, const _stringx& name) {
    _stringx path = groupName;
    const auto begin = path.find_first_not_of(OLESTR("\\/"));
    path.erase(0, begin == _stringx::npos ? path.size() : begin);
    path = PathNormalize(path.empty() ? name : PathJoin(path, name));
    std::replace(path.begin(), path.end(), OLESTR('\\'), OLESTR('/'));
    return path;
}

// ---------------------------------------------------------------------------
// The groups

ItemGroups::ItemGroups(XMLIntercessor& document, const RepositoryFolder& folder,
                       const _stringx& typePath, bool allSections)
    : m_document(document),
      m_folder(folder),
      m_templates(typePath.find(OLESTR("Templates")) != _stringx::npos) {
    ReadSection(typePath, 0);
    if (!allSections)
        return;
    std::vector<XmlAttribMap> sections;
    m_document.GetAllAttribValues(typePath.c_str(), sections);
    m_sections = sections.size();
    for (std::size_t section = 1; section < m_sections; ++section)
        ReadSection(typePath + OLESTR('[') + _stringx(std::to_string(section + 1)) + OLESTR(']'),
                    section);
}

void ItemGroups::ReadSection(const _stringx& path, std::size_t section) {
    static const _stringx kRepoItem(OLESTR("RepoItem")), kName(OLESTR("Name")), kKey(OLESTR("Key")),
        kWildcard(OLESTR("Wildcard"));
    std::vector<XmlNodeEntry> children;
    m_document.GetChildNodes(path.c_str(), children);
    for (const XmlNodeEntry& child : children) {
        if (child.name != kRepoItem)
            continue;
        ItemGroup group;
        group.name = AttribText(child.attribs, kName);
        group.key = AttribText(child.attribs, kKey);
        group.wildcard = AttribText(child.attribs, kWildcard);
        group.folder = PathJoin(m_folder.Root(), group.name);
        group.section = section;
        group.position = m_groups.size();
        group.searchable = !group.wildcard.empty() && m_folder.HoldsAsWritten(group.folder);
        group.writeType = CRepositoryItem::GetRepoItemType(group.key);
        m_groups.push_back(std::move(group));
    }
}

void ItemGroups::FindFiles(const ItemGroup& group, std::vector<FoundFile>& files) const {
    if (group.searchable)
        FindItemFiles(group.folder, group.wildcard, m_templates, files, _stringx(),
                      m_folder.Root());
}

bool ItemGroups::FindNamed(const ItemGroup& group, const _stringx& fileName,
                           _stringx& found) const {
    if (!group.searchable)
        return false;
    const _stringx candidate = PathJoin(group.folder, fileName);
    if (!PathIsInside(m_folder.Root(), candidate))
        return false;
    if (FindFile(candidate, found))
        return true;
    if (!m_templates)
        return false;
    // A template may lie in a folder of its own name: <folder>\X\X.ext.
    const _stringx second = PathJoin(
        PathJoin(PathFolderPart(candidate), WithoutExtension(PathLastComponent(candidate))),
        fileName);
    return PathIsInside(m_folder.Root(), second) && FindFile(second, found);
}

const ItemGroup* ItemGroups::PublicationGroup(const _stringx& type, const _stringx& fileName,
                                              _stringx& why) const {
    const ItemGroup* first = nullptr;
    for (const ItemGroup& group : m_groups) {
        if (!group.Listed())
            continue;
        if (!first)
            first = &group;
        const _stringx display = _stringx(CRepositoryItem::kRepositoryMarker) + OLESTR('\\') +
                                 group.name + OLESTR("\\*");
        if (group.writeType == type && CRepositoryItem::GetRepoItemType(display) == type &&
            Matches(group.wildcard, fileName))
            return &group;
    }
    if (!first) {
        why = OLESTR("it has no ") + type + OLESTR(" group with a Wildcard");
    } else {
        why = OLESTR("none of its ") + type + OLESTR(" groups lists ") + fileName +
              OLESTR(" and can be published to: a group's Key and its folder must both name ") +
              type + OLESTR(" and its Wildcard must match the name (the first has Key \"") +
              first->key + OLESTR("\", Name \"") + first->name + OLESTR("\", Wildcard \"") +
              first->wildcard + OLESTR("\")");
    }
    return nullptr;
}

bool ItemGroups::Matches(const _stringx& patterns, const _stringx& name) {
    for (const _stringx& pattern : SplitPatterns(patterns))
        if (platform::MatchWildcard(pattern.narrow(), name.narrow()))
            return true;
    return false;
}

long ItemGroups::FindItemFiles(const _stringx& folder, const _stringx& patterns, bool recurse,
                               std::vector<FoundFile>& list, const _stringx& prefix,
                               const _stringx& repositoryFolder) {
    std::vector<_stringx> parts;
    // A pattern that names a folder out of `folder` ("..\*.kvd") is not searched.
    for (_stringx& part : SplitPatterns(patterns))
        if (WithinAsText(folder, PathFolderPart(PathJoin(folder, part))))
            parts.push_back(std::move(part));
    if (!parts.empty()) {
        std::vector<_stringx> walk;
        _stringx inside;
        if (recurse) {
            walk.push_back(ResolveExistingPath(folder));
            inside = ResolveExistingPath(repositoryFolder.empty() ? folder : repositoryFolder);
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

}  // namespace kv
