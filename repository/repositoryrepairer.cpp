#include "repository/repositoryrepairer.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "foundation/folderpath.h"
#include "foundation/pathx.h"
#include "foundation/platform/variant.h"
#include "foundation/temporaryfiles.h"
#include "repository/upkeep.h"
#include "repository/repositoryitem.h"

namespace {

typedef CRepositoryRepairer::ChangeKind Kind;
typedef CRepositoryRepairer::Change Change;

const OLECHAR kFileName[] = OLESTR("FileName");

// An entry's attributes as text, for telling identical entries apart.
std::map<_stringx, _stringx> Texts(CRepository& repository, const XmlAttribMap& attributes) {
    std::map<_stringx, _stringx> texts;
    for (const auto& attribute : attributes)
        texts[attribute.first] = repository.GetAttribValue(attribute.first, attributes);
    return texts;
}

// One repair of an open data file: what to change, found first, then made.
class RepairRun {
public:
    RepairRun(CRepository& repository, XMLIntercessor& document,
              const CRepositoryRepairer::Options& options)
        : m_repository(repository),
          m_document(document),
          m_options(options),
          m_root(kv::PathFolderPart(repository.GetRepoDataFilePath())),
          m_resolvedRoot(kv::ResolveExistingPath(m_root)) {}

    // Works out the changes of one type, and with `apply` makes them in the
    // document. True when the document changed.
    bool RepairType(const _stringx& type, bool apply) {
        std::map<_stringx, FilesNamed> files;
        FindFiles(type, files);
        const std::vector<XmlAttribMap> entries = Entries(type);

        std::map<_stringx, std::size_t> firstOf;  // exact FileName -> first entry
        std::set<std::size_t> removed;
        std::map<std::size_t, _stringx> lowered;
        std::set<std::size_t> conflicted;                // entries that cannot be lower-cased
        std::map<_stringx, std::set<_stringx>> byLower;  // lowered -> names, of kept entries
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const _stringx name = m_repository.GetAttribValue(_stringx(kFileName), entries[i]);
            if (name.empty())
                continue;
            const auto first = firstOf.emplace(name, i);
            if (!first.second) {
                if (Texts(m_repository, entries[i]) ==
                    Texts(m_repository, entries[first.first->second])) {
                    removed.insert(i);
                    Report(Kind::kRemoveDuplicate, type, name,
                           OLESTR("an entry identical to an earlier one is removed"));
                } else {
                    LeaveAlone(type, name,
                               OLESTR("entries with this FileName differ in their other "
                                      "properties; merge them by hand"));
                }
                continue;
            }
            byLower[kv::LowerFileName(name)].insert(name);
        }
        // Lower-cased where that makes no second entry of a name.
        for (const auto& named : firstOf) {
            const _stringx lower = kv::LowerFileName(named.first);
            if (lower == named.first)
                continue;
            if (byLower[lower].size() > 1) {
                conflicted.insert(named.second);
                LeaveAlone(type, named.first,
                           OLESTR("FileName is not lower case, and another entry has the same "
                                  "name in other letter case; rename one"));
                continue;
            }
            lowered[named.second] = lower;
            Report(Kind::kLowerCase, type, named.first,
                   OLESTR("FileName is written in lower case: ") + lower);
        }
        std::set<_stringx> listed;  // the names the kept entries will have
        for (const auto& named : firstOf) {
            const auto lower = lowered.find(named.second);
            const _stringx name = lower != lowered.end() ? lower->second : named.first;
            listed.insert(name);
            if (files.count(name) || LeadsOut(name) || conflicted.count(named.second))
                continue;
            if (m_options.pruneMissing) {
                removed.insert(named.second);
                // Its duplicates go with it.
                for (std::size_t i = named.second + 1; i < entries.size(); ++i)
                    if (m_repository.GetAttribValue(_stringx(kFileName), entries[i]) == named.first)
                        removed.insert(i);
                Report(Kind::kRemoveMissing, type, named.first,
                       OLESTR("the entry's file is missing; the entry is removed"));
            } else {
                LeaveAlone(type, named.first,
                           OLESTR("the entry's file is missing; restore it, or prune the entry"));
            }
        }
        std::vector<std::pair<std::size_t, XmlAttribMap>> added;
        for (const auto& named : files) {
            if (named.second.names.size() > 1)
                LeaveAlone(type, named.second.firstPath,
                           OLESTR("files ") + *named.second.names.begin() + OLESTR(" and ") +
                               *named.second.names.rbegin() +
                               OLESTR(" differ only in letter case and share one entry"));
            if (listed.count(named.first))
                continue;
            const _stringx found = *named.second.names.begin();
            XmlAttribMap attributes;
            attributes[_stringx(kFileName)] = CComVariant(named.first.c_str());
            const _stringx display = m_options.displayName ? m_options.displayName(found) : found;
            attributes[_stringx(OLESTR("DisplayName"))] = CComVariant(display.c_str());
            added.emplace_back(named.second.group, attributes);
            Report(Kind::kAddEntry, type, named.second.firstPath,
                   OLESTR("an entry is added for the unlisted file, named ") + display);
        }
        if (!apply)
            return false;
        const bool changed = !lowered.empty() || !removed.empty() || !added.empty();
        const _stringx entryPath = type + OLESTR("/RepoItem/ItemAttrib");
        // Attributes first and removals from the last, while positions hold.
        for (const auto& lower : lowered)
            m_document.SetAttribValueAt(entryPath.c_str(), lower.first, kFileName,
                                        CComVariant(lower.second.c_str()));
        for (auto i = removed.rbegin(); i != removed.rend(); ++i)
            m_document.RemoveNodeAt(entryPath.c_str(), *i);
        const _stringx groupPath = type + OLESTR("/RepoItem");
        for (const auto& entry : added)
            m_document.AppendElementAt(groupPath.c_str(), entry.first, OLESTR("ItemAttrib"),
                                       entry.second);
        return changed;
    }

    // The leftovers beside the data file and in every group folder, removed
    // with `remove`.
    void RepairLeftovers(bool remove) {
        Leftovers(m_root, _stringx(), _stringx(), remove);
        for (const auto& folder : m_groupFolders)
            Leftovers(folder.first, folder.second.first, folder.second.second, remove);
    }

    std::vector<Change> TakeChanges() {
        m_changes.insert(m_changes.end(), m_leftovers.begin(), m_leftovers.end());
        return std::move(m_changes);
    }

private:
    // The files of one type that share a lower-cased name: their names as
    // found, the relative path of the first and the position of its group.
    struct FilesNamed {
        std::set<_stringx> names;
        _stringx firstPath;
        std::size_t group = 0;
    };

    void Report(Kind kind, const _stringx& type, const _stringx& subject, const _stringx& detail) {
        m_changes.push_back({kind, type, subject, detail});
    }
    void LeaveAlone(const _stringx& type, const _stringx& subject, const _stringx& detail) {
        Report(Kind::kLeftAlone, type, subject, detail);
    }

    bool Within(const _stringx& path) const { return UpkeepWithin(m_root, m_resolvedRoot, path); }
    // A FileName that is a path leaves the repository, or is one no listing
    // matches: either way not a missing file of this repository's own.
    bool LeadsOut(const _stringx& fileName) const {
        return kv::PathIsRooted(fileName) ||
               fileName.find_first_of(OLESTR("\\/")) != _stringx::npos;
    }

    std::vector<XmlAttribMap> Entries(const _stringx& type) {
        std::vector<XmlAttribMap> entries;
        m_document.GetAllAttribValues((type + OLESTR("/RepoItem/ItemAttrib")).c_str(), entries);
        return entries;
    }

    // The files the type's groups find inside the repository, by lower-cased
    // name; temporary files are leftovers, not items.
    void FindFiles(const _stringx& type, std::map<_stringx, FilesNamed>& files) {
        std::vector<XmlNodeEntry> children;
        m_document.GetChildNodes(type.c_str(), children);
        const bool templates = type.find(OLESTR("Templates")) != _stringx::npos;
        std::size_t group = 0;
        for (const XmlNodeEntry& child : children) {
            if (child.name != _stringx(OLESTR("RepoItem")))
                continue;
            const std::size_t position = group++;
            const _stringx name = m_repository.GetAttribValue(OLESTR("Name"), child.attribs);
            const _stringx wildcard =
                m_repository.GetAttribValue(OLESTR("Wildcard"), child.attribs);
            const _stringx folder = kv::PathJoin(m_root, name);
            if (wildcard.empty() || !Within(folder) || !kv::FolderExists(folder) ||
                (!kv::PathIsInside(m_root, folder) &&
                 kv::PathNormalize(folder) != kv::PathNormalize(m_root)))
                continue;
            m_groupFolders.emplace(kv::PathNormalize(folder), std::make_pair(type, name));
            std::vector<CatalogueSearch::FoundFile> found;
            CatalogueSearch::FindItemFiles(folder, wildcard, templates, found, _stringx(), m_root);
            for (const CatalogueSearch::FoundFile& file : found) {
                const _stringx fileName = kv::PathLastComponent(file.name);
                if (kv::IsTemporaryFileName(fileName) || !Within(kv::PathJoin(folder, file.name)))
                    continue;
                FilesNamed& named = files[kv::LowerFileName(fileName)];
                named.names.insert(fileName);
                if (named.firstPath.empty()) {
                    named.firstPath = UpkeepRelativeText(name, file.name);
                    named.group = position;
                }
            }
        }
    }

    void Leftovers(const _stringx& folder, const _stringx& type, const _stringx& name,
                   bool remove) {
        if (!m_leftoverFolders.insert(kv::PathNormalize(folder)).second)
            return;
        std::vector<_stringx> found;
        kv::FindLeftovers(folder, remove, found);
        for (const _stringx& leftover : found)
            m_leftovers.push_back({Kind::kRemoveLeftover, type, UpkeepRelativeText(name, leftover),
                                   _stringx(OLESTR("a temporary file that no save holds any "
                                                   "more is deleted"))});
    }

    CRepository& m_repository;
    XMLIntercessor& m_document;
    const CRepositoryRepairer::Options& m_options;
    const _stringx m_root;
    const _stringx m_resolvedRoot;
    std::vector<Change> m_changes;
    std::vector<Change> m_leftovers;
    // Group folders, normalized, with the type and group Name of the first.
    std::map<_stringx, std::pair<_stringx, _stringx>> m_groupFolders;
    std::set<_stringx> m_leftoverFolders;
};

}  // namespace

CRepositoryRepairer::CRepositoryRepairer(CRepository* repository) : m_pRepository(repository) {}

long CRepositoryRepairer::Repair(const Options& options, std::vector<Change>& changes) {
    changes.clear();
    const _stringx dataFile = m_pRepository ? m_pRepository->GetRepoDataFilePath() : _stringx();
    if (dataFile.empty())
        return kv::status::kNoDataFilePath;
    std::vector<Change> made;
    const auto repair = [&](XMLIntercessor& document, bool apply) {
        RepairRun run(*m_pRepository, document, options);
        bool changed = false;
        for (const OLECHAR* type : CRepositoryItem::kItemTypes)
            changed = run.RepairType(_stringx(type), apply) || changed;
        run.RepairLeftovers(apply);
        made = run.TakeChanges();
        return changed;
    };
    long status = 0;
    if (options.dryRun) {
        XMLIntercessor document;
        status = m_pRepository->OpenXmlFile(document);
        if (status == 0)
            repair(document, false);
    } else {
        status = m_pRepository->EditXmlFile(
            [&](XMLIntercessor& document) { return repair(document, true); });
    }
    if (status == 0)
        changes = std::move(made);
    return status;
}

const char* CRepositoryRepairer::GetKindName(ChangeKind kind) {
    switch (kind) {
        case ChangeKind::kAddEntry:
            return "add-entry";
        case ChangeKind::kLowerCase:
            return "lower-case";
        case ChangeKind::kRemoveDuplicate:
            return "remove-duplicate";
        case ChangeKind::kRemoveMissing:
            return "remove-missing";
        case ChangeKind::kRemoveLeftover:
            return "remove-leftover";
        case ChangeKind::kLeftAlone:
            return "left-alone";
    }
    return "unknown";
}
