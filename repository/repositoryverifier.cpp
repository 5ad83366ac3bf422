#include "repository/repositoryverifier.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "foundation/folderpath.h"
#include "foundation/pathx.h"
#include "foundation/platform/find.h"
#include "foundation/platform/text.h"
#include "foundation/temporaryfiles.h"
#include "repository/upkeep.h"
#include "repository/repositoryitem.h"
#include "repository/repositoryitems.h"

namespace {

typedef CRepositoryVerifier::FindingKind Kind;
typedef CRepositoryVerifier::Finding Finding;

// One verification: the open data file, the repository's folder, and what has
// been found so far.
class VerifyRun {
public:
    VerifyRun(CRepository& repository, XMLIntercessor& document, const _stringx& root)
        : m_repository(repository),
          m_document(document),
          m_root(root),
          m_resolvedRoot(kv::ResolveExistingPath(root)) {}

    // The data file's own folder, for leftovers only.
    void CheckDataFolder() { FindLeftovers(m_root, _stringx(), _stringx()); }

    // The groups, files and entries of one item type.
    void CheckType(const _stringx& type) {
        std::vector<XmlNodeEntry> children;
        m_document.GetChildNodes(type.c_str(), children);
        const bool templates = type.find(OLESTR("Templates")) != _stringx::npos;
        std::vector<_stringx> folders;
        std::map<_stringx, FilesNamed> files;
        for (const XmlNodeEntry& child : children)
            if (child.name == _stringx(OLESTR("RepoItem")))
                CheckGroup(type, child.attribs, templates, folders, files);
        for (const auto& named : files)
            if (named.second.names.size() > 1)
                Report(Kind::kCaseConflict, type, named.second.firstPath,
                       OLESTR("files ") + *named.second.names.begin() + OLESTR(" and ") +
                           *named.second.names.rbegin() +
                           OLESTR(" differ only in letter case and share one entry"));
        CheckEntries(type, folders, files);
    }

    // Everything found, leftovers last.
    std::vector<Finding> TakeFindings() {
        m_findings.insert(m_findings.end(), m_leftovers.begin(), m_leftovers.end());
        return std::move(m_findings);
    }

private:
    // The files of one type that share a lower-cased name: their names as
    // found, and the relative path of the first.
    struct FilesNamed {
        std::set<_stringx> names;
        _stringx firstPath;
    };

    void Report(Kind kind, const _stringx& type, const _stringx& subject, const _stringx& detail) {
        m_findings.push_back({kind, type, subject, detail});
    }

    _stringx Attribute(const OLECHAR* name, const XmlAttribMap& attributes) const {
        return m_repository.GetAttribValue(_stringx(name), attributes);
    }

    // Whether `path` is the repository's folder or lies below it, as written
    // and with links followed.
    bool Within(const _stringx& path) const { return UpkeepWithin(m_root, m_resolvedRoot, path); }

    void CheckGroup(const _stringx& type, const XmlAttribMap& attributes, bool templates,
                    std::vector<_stringx>& folders, std::map<_stringx, FilesNamed>& files) {
        const _stringx name = Attribute(OLESTR("Name"), attributes);
        const _stringx key = Attribute(OLESTR("Key"), attributes);
        const _stringx wildcard = Attribute(OLESTR("Wildcard"), attributes);
        if (wildcard.empty())
            return;  // the catalogue ignores the group
        const _stringx folder = kv::PathJoin(m_root, name);
        folders.push_back(folder);
        // The catalogue searches a folder inside as written; a link there that
        // leads out is reported once, for the folder, not for each file.
        const bool leadsOut = !Within(folder);
        if (leadsOut) {
            Report(
                Kind::kOutsideRepository, type, name,
                OLESTR("the folder of group '") + key + OLESTR("' leads outside the repository"));
        } else if (!kv::FolderExists(folder)) {
            Report(Kind::kMissingFolder, type, name,
                   OLESTR("the folder of group '") + key + OLESTR("' is missing"));
            return;
        }
        // Nor does a listing look there.
        if (!kv::PathIsInside(m_root, folder) &&
            kv::PathNormalize(folder) != kv::PathNormalize(m_root))
            return;
        if (!leadsOut)
            FindLeftovers(folder, type, name);

        std::vector<CatalogueSearch::FoundFile> found;
        CatalogueSearch::FindItemFiles(folder, wildcard, templates, found, _stringx(), m_root);
        for (const CatalogueSearch::FoundFile& file : found) {
            const _stringx fileName = kv::PathLastComponent(file.name);
            const _stringx relative = UpkeepRelativeText(name, file.name);
            if (kv::IsTemporaryFileName(fileName)) {
                AddLeftover(type, relative);
                continue;
            }
            if (!leadsOut && !Within(kv::PathJoin(folder, file.name)))
                Report(Kind::kOutsideRepository, type, relative,
                       OLESTR("the item's file lies outside the repository"));
            FilesNamed& named = files[kv::LowerFileName(fileName)];
            named.names.insert(fileName);
            if (named.firstPath.empty())
                named.firstPath = relative;
        }
    }

    void CheckEntries(const _stringx& type, const std::vector<_stringx>& folders,
                      const std::map<_stringx, FilesNamed>& files) {
        std::vector<XmlAttribMap> entries;
        m_document.GetAllAttribValues((type + OLESTR("/RepoItem/ItemAttrib")).c_str(), entries);
        std::map<_stringx, std::size_t> exact;  // how many entries have each FileName
        std::map<_stringx, std::set<_stringx>> byLower;
        for (const XmlAttribMap& entry : entries) {
            const _stringx fileName = Attribute(OLESTR("FileName"), entry);
            // A repeated entry is reported once, as a duplicate.
            if (fileName.empty() || ++exact[fileName] > 1)
                continue;
            const _stringx lower = kv::LowerFileName(fileName);
            byLower[lower].insert(fileName);
            if (fileName != lower)
                Report(Kind::kNotLowerCase, type, fileName,
                       OLESTR("FileName is not lower case; the catalogue never matches it"));
            // A stored LocalCopy is what copies and deletions of the item use.
            const _stringx localCopy = Attribute(OLESTR("LocalCopy"), entry);
            if (!localCopy.empty() && !kv::PathStaysInside(m_root, localCopy))
                Report(Kind::kOutsideRepository, type, localCopy,
                       OLESTR("the entry's LocalCopy leads outside the repository"));
            if (LeadsOut(fileName, folders))
                Report(Kind::kOutsideRepository, type, fileName,
                       OLESTR("FileName leads outside the repository"));
            else if (files.count(lower) == 0)
                Report(Kind::kMissingFile, type, fileName, OLESTR("the entry's file is missing"));
        }
        for (const auto& named : byLower)
            if (named.second.size() > 1)
                Report(Kind::kCaseConflict, type, *named.second.begin(),
                       OLESTR("FileName values ") + *named.second.begin() + OLESTR(" and ") +
                           *named.second.rbegin() + OLESTR(" differ only in letter case"));
        for (const auto& counted : exact)
            if (counted.second > 1)
                Report(Kind::kDuplicateEntry, type, counted.first,
                       _stringx(std::to_string(counted.second)) +
                           OLESTR(" ItemAttrib entries have this FileName; the catalogue reads "
                                  "only the first"));
        for (const auto& named : files)
            if (exact.count(named.first) == 0)
                Report(Kind::kUnlistedFile, type, named.second.firstPath,
                       OLESTR("the file has no ItemAttrib entry"));
    }

    // Whether a FileName is a path that leaves the repository from some group
    // folder of its type (a plain name never does).
    bool LeadsOut(const _stringx& fileName, const std::vector<_stringx>& folders) const {
        if (kv::PathIsRooted(fileName))
            return true;
        if (fileName.find_first_of(OLESTR("\\/")) == _stringx::npos)
            return false;
        return std::any_of(folders.begin(), folders.end(), [&](const _stringx& folder) {
            return !Within(kv::PathJoin(folder, fileName));
        });
    }

    // The leftovers directly in `folder`, which is `name` below the
    // repository's folder; each folder is listed once.
    void FindLeftovers(const _stringx& folder, const _stringx& type, const _stringx& name) {
        if (!m_listed.insert(kv::PathNormalize(folder)).second)
            return;
        std::vector<kv::platform::FolderEntry> entries;
        kv::platform::ListFolder(kv::PathJoin(folder, _stringx(OLESTR("*"))).narrow(), entries);
        std::vector<_stringx> names;
        for (const kv::platform::FolderEntry& entry : entries)
            if (!entry.folder && kv::IsTemporaryFileName(_stringx(entry.name)))
                names.push_back(_stringx(entry.name));
        std::sort(names.begin(), names.end());
        for (const _stringx& leftover : names)
            AddLeftover(type, UpkeepRelativeText(name, leftover));
    }

    void AddLeftover(const _stringx& type, const _stringx& relative) {
        if (m_leftoverPaths.insert(relative).second)
            m_leftovers.push_back({Kind::kLeftover, type, relative,
                                   _stringx(OLESTR("a temporary file of a save or copy; repair "
                                                   "removes it once no running save holds it"))});
    }

    CRepository& m_repository;
    XMLIntercessor& m_document;
    const _stringx m_root;
    const _stringx m_resolvedRoot;
    std::vector<Finding> m_findings;
    std::vector<Finding> m_leftovers;
    std::set<_stringx> m_leftoverPaths;
    std::set<_stringx> m_listed;  // folders searched for leftovers, normalized
};

}  // namespace

CRepositoryVerifier::CRepositoryVerifier(CRepository* repository) : m_pRepository(repository) {}

long CRepositoryVerifier::Verify(std::vector<Finding>& findings) {
    findings.clear();
    const _stringx dataFile = m_pRepository ? m_pRepository->GetRepoDataFilePath() : _stringx();
    if (dataFile.empty())
        return kv::status::kNoDataFilePath;
    XMLIntercessor document;
    if (const long status = m_pRepository->OpenXmlFile(document))
        return status;
    VerifyRun run(*m_pRepository, document, kv::PathFolderPart(dataFile));
    run.CheckDataFolder();
    for (const OLECHAR* type : CRepositoryItem::kItemTypes)
        run.CheckType(_stringx(type));
    findings = run.TakeFindings();
    return 0;
}

const char* CRepositoryVerifier::GetKindName(FindingKind kind) {
    switch (kind) {
        case FindingKind::kMissingFile:
            return "missing-file";
        case FindingKind::kUnlistedFile:
            return "unlisted-file";
        case FindingKind::kNotLowerCase:
            return "not-lower-case";
        case FindingKind::kCaseConflict:
            return "case-conflict";
        case FindingKind::kMissingFolder:
            return "missing-folder";
        case FindingKind::kOutsideRepository:
            return "outside-repository";
        case FindingKind::kDuplicateEntry:
            return "duplicate-entry";
        case FindingKind::kLeftover:
            return "leftover";
    }
    return "unknown";
}
