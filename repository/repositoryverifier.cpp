#include "repository/repositoryverifier.h"

#include <map>
#include <set>
#include <string>

#include "foundation/folderpath.h"
#include "foundation/pathx.h"
#include "foundation/platform/text.h"
#include "repository/repositoryitem.h"
#include "repository/upkeep.h"

namespace {

typedef CRepositoryVerifier::FindingKind Kind;
typedef CRepositoryVerifier::Finding Finding;

_stringx Quoted(const _stringx& text) {
    return OLESTR("\"") + text + OLESTR("\"");
}

_stringx Number(std::size_t n) {
    return _stringx(std::to_string(n));
}

// Where writes through an item of a group with `key` go, when its Key does
// not name the group's type `type`.
_stringx KeyDetail(const _stringx& key, const _stringx& writeType, const _stringx& type) {
    if (writeType.empty())
        return OLESTR("Key ") + Quoted(key) +
               OLESTR(
                   " names no item type: writes to its items' properties go to a new RepoItem "
                   "under the document element, not to this group; set it to ") +
               type;
    return OLESTR("Key ") + Quoted(key) + OLESTR(" names the type ") + writeType +
           OLESTR(": writes to its items' properties go to the ") + writeType +
           OLESTR(" element, not to this group; set it to ") + type;
}

// One verification: the repository's folder, the surveys of its types, and
// what has been found so far.
class VerifyRun {
public:
    VerifyRun(const kv::RepositoryFolder& folder, const std::vector<kv::TypeSurvey>& surveys)
        : m_folder(folder), m_surveys(surveys) {}

    // The groups, files and entries of one item type.
    void CheckType(const kv::TypeSurvey& survey) {
        const _stringx& type = survey.Type();
        const kv::ItemGroups& groups = survey.Groups();
        if (groups.Sections() > 1)
            Report(Kind::kRepeatedSection, type, type,
                   OLESTR("the data file has ") + Number(groups.Sections()) + OLESTR(" ") + type +
                       OLESTR(" elements; a listing reads the groups of the first only, so the "
                              "files of the others' groups are not listed: move those groups "
                              "into the first"));
        for (const kv::ItemGroup& group : groups.Groups())
            CheckGroup(type, group);
        for (const auto& named : survey.Files())
            if (named.second.names.size() > 1)
                Report(Kind::kCaseConflict, type, named.second.firstPath,
                       OLESTR("files ") + *named.second.names.begin() + OLESTR(" and ") +
                           *named.second.names.rbegin() +
                           OLESTR(" differ only in letter case and share one entry"));
        for (const _stringx& path : survey.OutsideFiles())
            Report(Kind::kOutsideRepository, type, path,
                   OLESTR("the item's file lies outside the repository"));
        for (const _stringx& path : survey.Unusable())
            Report(Kind::kUnusableName, type, path,
                   OLESTR("the name holds \"\\\", which paths on this system take for a "
                          "separator: the file is not listed and cannot be copied here; rename "
                          "it"));
        CheckEntries(survey);
    }

    // The temporary files of saves, last: beside the data file first, then by type.
    void CheckTemporaries() {
        for (const kv::SurveyTemporary& file : kv::SurveyTemporaries(m_folder, m_surveys, false)) {
            switch (file.state) {
                case kv::TemporaryFileState::kHeld:
                    Report(Kind::kSaveInProgress, file.type, file.relative,
                           OLESTR("a temporary file that a running save or copy holds; it goes "
                                  "when the save ends"));
                    break;
                case kv::TemporaryFileState::kLink:
                    Report(Kind::kLeftover, file.type, file.relative,
                           OLESTR("a link named like a temporary file; no save makes links, and "
                                  "repair leaves it: remove it by hand"));
                    break;
                default:
                    Report(Kind::kLeftover, file.type, file.relative,
                           OLESTR("a temporary file of a killed save or copy; repair removes it"));
                    break;
            }
        }
    }

    std::vector<Finding> TakeFindings() { return std::move(m_findings); }

private:
    void Report(Kind kind, const _stringx& type, const _stringx& subject, const _stringx& detail) {
        m_findings.push_back({kind, type, subject, detail});
    }

    void CheckGroup(const _stringx& type, const kv::ItemGroup& group) {
        if (group.wildcard.empty())
            return;  // the catalogue ignores the group
        if (!m_folder.Holds(group.folder))
            Report(Kind::kOutsideRepository, type, group.name,
                   OLESTR("the folder of group '") + group.key +
                       OLESTR("' leads outside the repository"));
        else if (!kv::FolderExists(group.folder))
            Report(Kind::kMissingFolder, type, group.name,
                   OLESTR("the folder of group '") + group.key + OLESTR("' is missing"));
        if (group.section == 0 && group.writeType != type)
            Report(Kind::kGroupKey, type, group.name, KeyDetail(group.key, group.writeType, type));
    }

    void CheckEntries(const kv::TypeSurvey& survey) {
        const _stringx& type = survey.Type();
        std::map<_stringx, std::size_t> exact;  // how many entries have each FileName
        std::map<_stringx, std::set<_stringx>> byLower;
        for (const XmlAttribMap& entry : survey.Entries()) {
            const _stringx fileName = kv::AttribText(entry, _stringx(OLESTR("FileName")));
            // A repeated entry is reported once, as a duplicate.
            if (fileName.empty() || ++exact[fileName] > 1)
                continue;
            const _stringx lower = kv::LowerFileName(fileName);
            byLower[lower].insert(fileName);
            const kv::EntryFile file = survey.Classify(fileName);
            if (fileName != lower)
                Report(Kind::kNotLowerCase, type, fileName,
                       file == kv::EntryFile::kFound
                           ? OLESTR("FileName is not lower case, so the catalogue never matches "
                                    "it: ") +
                                 survey.Files().at(lower).firstPath +
                                 OLESTR(" is listed without these properties; write it lower-cased")
                           : _stringx(OLESTR("FileName is not lower case; the catalogue never "
                                             "matches it")));
            // A stored LocalCopy is what copies and deletions of the item use.
            const _stringx localCopy = kv::AttribText(entry, _stringx(OLESTR("LocalCopy")));
            if (!localCopy.empty() && !kv::PathStaysInside(m_folder.Root(), localCopy))
                Report(Kind::kOutsideRepository, type, localCopy,
                       OLESTR("the entry's LocalCopy leads outside the repository"));
            switch (file) {
                case kv::EntryFile::kOutside:
                    Report(Kind::kOutsideRepository, type, fileName,
                           OLESTR("FileName leads outside the repository"));
                    break;
                case kv::EntryFile::kPath:
                    Report(Kind::kMissingFile, type, fileName,
                           OLESTR("FileName is a path, and entries are matched by file name "
                                  "alone: no listing ever matches this entry"));
                    break;
                case kv::EntryFile::kMissing:
                    Report(Kind::kMissingFile, type, fileName,
                           OLESTR("the entry's file is missing"));
                    break;
                case kv::EntryFile::kUnmatched:
                    Report(Kind::kUnmatchedFile, type, fileName,
                           OLESTR("the file is in a group's folder, but no pattern of the "
                                  "type's groups matches its name: listings leave it out"));
                    break;
                case kv::EntryFile::kFound:
                    break;
            }
        }
        for (const auto& named : byLower)
            if (named.second.size() > 1)
                Report(Kind::kCaseConflict, type, *named.second.begin(),
                       OLESTR("FileName values ") + *named.second.begin() + OLESTR(" and ") +
                           *named.second.rbegin() + OLESTR(" differ only in letter case"));
        for (const auto& counted : exact)
            if (counted.second > 1)
                Report(Kind::kDuplicateEntry, type, counted.first,
                       Number(counted.second) +
                           OLESTR(" ItemAttrib entries have this FileName; the catalogue reads "
                                  "only the first"));
        // A file whose only entries differ from its name in letter case was
        // reported with them, and one that leads outside as outside.
        for (const auto& named : survey.Files())
            if (named.second.listed && !named.second.outside && exact.count(named.first) == 0 &&
                byLower.count(named.first) == 0)
                Report(Kind::kUnlistedFile, type, named.second.firstPath,
                       OLESTR("the file has no ItemAttrib entry"));
    }

    const kv::RepositoryFolder& m_folder;
    const std::vector<kv::TypeSurvey>& m_surveys;
    std::vector<Finding> m_findings;
};

}  // namespace

std::vector<kv::TypeSurvey> kv::SurveyTypes(XMLIntercessor& document,
                                            const RepositoryFolder& folder) {
    std::vector<TypeSurvey> surveys;
    for (const OLECHAR* type : CRepositoryItem::kItemTypes)
        surveys.emplace_back(document, folder, _stringx(type));
    return surveys;
}

std::vector<Finding> kv::VerifySurveys(const RepositoryFolder& folder,
                                       const std::vector<TypeSurvey>& surveys) {
    VerifyRun run(folder, surveys);
    for (const TypeSurvey& survey : surveys)
        run.CheckType(survey);
    run.CheckTemporaries();
    return run.TakeFindings();
}

CRepositoryVerifier::CRepositoryVerifier(CRepository* repository) : m_pRepository(repository) {}

long CRepositoryVerifier::Verify(std::vector<Finding>& findings) {
    findings.clear();
    const _stringx dataFile = m_pRepository ? m_pRepository->GetRepoDataFilePath() : _stringx();
    if (dataFile.empty())
        return kv::status::kNoDataFilePath;
    XMLIntercessor document;
    if (const long status = m_pRepository->OpenXmlFile(document))
        return status;
    const kv::RepositoryFolder folder(dataFile);
    findings = kv::VerifySurveys(folder, kv::SurveyTypes(document, folder));
    return 0;
}

long CRepositoryVerifier::VerifyList(CRepositoryMgr* manager, const char* key,
                                     std::vector<Finding>& findings) {
    findings.clear();
    if (!manager)
        return E_INVALIDARG;
    XMLIntercessor document;
    if (const long status = manager->OpenXmlFile(document))
        return status;
    std::vector<XmlNodeEntry> entries;
    document.GetChildNodes(OLESTR("//Repositories"), entries);
    const _stringx only = key ? _stringx(key) : _stringx();
    std::map<_stringx, std::size_t> keys;
    for (const XmlNodeEntry& entry : entries)
        ++keys[kv::AttribText(entry.attribs, _stringx(OLESTR("Key")))];
    std::set<_stringx> reported;
    for (const XmlNodeEntry& entry : entries) {
        if (entry.name.empty() || entry.name[0] == OLESTR('#'))
            continue;  // a comment or text reads as an empty entry; nobody wrote it as one
        const _stringx entryKey = kv::AttribText(entry.attribs, _stringx(OLESTR("Key")));
        if (!only.empty() && entryKey != only)
            continue;
        _stringx local;
        const bool hasLocal = kv::AttribText(entry.attribs, _stringx(OLESTR("Local")), local);
        if (hasLocal && local != OLESTR("0") && local != OLESTR("1") && !local.empty())
            findings.push_back({Kind::kListLocal, _stringx(), entryKey,
                                OLESTR("Local=") + Quoted(local) +
                                    OLESTR(" is read as a network repository: only \"1\" marks "
                                           "a local one")});
        // An empty Path is the place kept for a repository not yet created;
        // none at all is most likely a misspelt attribute.
        if (!entry.attribs.count(_stringx(OLESTR("Path"))))
            findings.push_back({Kind::kListPath, _stringx(), entryKey,
                                _stringx(OLESTR("the entry has no Path attribute: it is listed "
                                                "only when missing repositories are asked for, "
                                                "and has no items until one is created"))});
        if (keys[entryKey] > 1 && reported.insert(entryKey).second)
            findings.push_back({Kind::kListDuplicateKey, _stringx(), entryKey,
                                Number(keys[entryKey]) +
                                    OLESTR(" entries have this Key: the repository of this key "
                                           "is the first, and writing a property of it writes "
                                           "that property to all of them")});
    }
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
        case FindingKind::kUnmatchedFile:
            return "unmatched-file";
        case FindingKind::kRepeatedSection:
            return "repeated-section";
        case FindingKind::kGroupKey:
            return "group-key";
        case FindingKind::kUnusableName:
            return "unusable-name";
        case FindingKind::kSaveInProgress:
            return "save-in-progress";
        case FindingKind::kListLocal:
            return "list-local";
        case FindingKind::kListPath:
            return "list-path";
        case FindingKind::kListDuplicateKey:
            return "list-duplicate-key";
    }
    return "unknown";
}

bool CRepositoryVerifier::IsProblem(FindingKind kind) {
    return kind != FindingKind::kSaveInProgress;
}
