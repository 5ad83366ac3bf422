#include "repository/repositoryrepairer.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>

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
// What it does not change is what verifying the same file finds, less what
// it changes, each left alone with the finding's own words.
class RepairRun {
public:
    RepairRun(CRepository& repository, XMLIntercessor& document,
              const CRepositoryRepairer::Options& options, const kv::RepositoryFolder& folder)
        : m_repository(repository),
          m_document(document),
          m_options(options),
          m_folder(folder),
          m_surveys(kv::SurveyTypes(document, folder)),
          m_findings(kv::VerifySurveys(folder, m_surveys)) {}

    // Works out the changes of every type, and with `apply` makes them in the
    // document, then the leftovers (removed with `apply`). True when the
    // document changed.
    bool Repair(bool apply) {
        bool changed = false;
        for (const kv::TypeSurvey& survey : m_surveys) {
            changed = RepairType(survey, apply) || changed;
            LeaveTheRest(survey.Type(), false);
        }
        RepairLeftovers(apply);
        LeaveTheRest(_stringx(), true);
        return changed;
    }

    std::vector<Change> TakeChanges() { return std::move(m_changes); }

private:
    typedef CRepositoryVerifier::FindingKind Finding;

    bool RepairType(const kv::TypeSurvey& survey, bool apply) {
        const _stringx& type = survey.Type();
        const std::map<_stringx, kv::SurveyFiles>& files = survey.Files();
        const std::vector<XmlAttribMap>& entries = survey.Entries();

        std::map<_stringx, std::size_t> firstOf;  // exact FileName -> first entry
        std::set<std::size_t> removed;
        std::map<std::size_t, _stringx> lowered;
        std::set<std::size_t> conflicted;                // entries that cannot be lower-cased
        std::map<_stringx, std::set<_stringx>> byLower;  // lowered -> names, of kept entries
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const _stringx name = kv::AttribText(entries[i], _stringx(kFileName));
            if (name.empty())
                continue;
            const auto first = firstOf.emplace(name, i);
            if (!first.second) {
                if (Texts(m_repository, entries[i]) ==
                    Texts(m_repository, entries[first.first->second])) {
                    removed.insert(i);
                    Report(Finding::kDuplicateEntry, Kind::kRemoveDuplicate, type, name,
                           OLESTR("an entry identical to an earlier one is removed"));
                } else {
                    Report(Finding::kDuplicateEntry, Kind::kLeftAlone, type, name,
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
                Report(Finding::kNotLowerCase, Kind::kLeftAlone, type, named.first,
                       OLESTR("FileName is not lower case, and another entry has the same "
                              "name in other letter case; rename one"));
                continue;
            }
            lowered[named.second] = lower;
            Report(Finding::kNotLowerCase, Kind::kLowerCase, type, named.first,
                   OLESTR("FileName is written in lower case: ") + lower);
        }
        std::set<_stringx> listed;  // the names the kept entries will have
        for (const auto& named : firstOf) {
            const auto lower = lowered.find(named.second);
            listed.insert(lower != lowered.end() ? lower->second : named.first);
            // Only an entry whose file is missing by verify's own test.
            if (conflicted.count(named.second) ||
                survey.Classify(named.first) != kv::EntryFile::kMissing)
                continue;
            if (m_options.pruneMissing) {
                removed.insert(named.second);
                // Its duplicates go with it.
                for (std::size_t i = named.second + 1; i < entries.size(); ++i)
                    if (kv::AttribText(entries[i], _stringx(kFileName)) == named.first)
                        removed.insert(i);
                Report(Finding::kMissingFile, Kind::kRemoveMissing, type, named.first,
                       OLESTR("the entry's file is missing; the entry is removed"));
            } else {
                Report(Finding::kMissingFile, Kind::kLeftAlone, type, named.first,
                       OLESTR("the entry's file is missing; restore it, or prune the entry"));
            }
        }
        std::vector<std::pair<std::size_t, XmlAttribMap>> added;
        for (const auto& named : files) {
            if (!named.second.listed || named.second.outside || listed.count(named.first))
                continue;
            // A file with an entry in other letter case only was reported with that entry.
            if (byLower.count(named.first))
                continue;
            const _stringx found = *named.second.names.begin();
            XmlAttribMap attributes;
            attributes[_stringx(kFileName)] = CComVariant(named.first.c_str());
            const _stringx display = m_options.displayName ? m_options.displayName(found) : found;
            attributes[_stringx(OLESTR("DisplayName"))] = CComVariant(display.c_str());
            added.emplace_back(named.second.group, attributes);
            Report(Finding::kUnlistedFile, Kind::kAddEntry, type, named.second.firstPath,
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

    // The leftovers beside the data file and in the folders searched,
    // removed with `remove`; the others stay, and say why.
    void RepairLeftovers(bool remove) {
        for (const kv::SurveyTemporary& file : kv::SurveyTemporaries(m_folder, m_surveys, remove)) {
            if (file.state == kv::TemporaryFileState::kLeftover)
                Report(Finding::kLeftover, Kind::kRemoveLeftover, file.type, file.relative,
                       OLESTR("a temporary file that no save holds any more is deleted"));
            else if (file.state == kv::TemporaryFileState::kStuck)
                Report(Finding::kLeftover, Kind::kLeftAlone, file.type, file.relative,
                       OLESTR("a temporary file that no save holds, but it could not be "
                              "opened or deleted: remove it by hand"));
        }
    }

    // Leaves alone, in their order, the findings of `type` (with `temporary`,
    // those of temporary files, of any type) that no change answered.
    void LeaveTheRest(const _stringx& type, bool temporary) {
        for (const CRepositoryVerifier::Finding& finding : m_findings) {
            const bool isTemporary =
                finding.kind == Finding::kLeftover || finding.kind == Finding::kSaveInProgress;
            if (isTemporary != temporary || (!temporary && finding.type != type))
                continue;
            if (!m_answered.count(std::make_tuple(finding.kind, finding.type, finding.subject)))
                m_changes.push_back(
                    {Kind::kLeftAlone, finding.type, finding.subject, finding.detail});
        }
    }

    // A change (or a decision to leave alone) that answers the finding of
    // kind `finding` with the same type and subject.
    void Report(Finding finding, Kind kind, const _stringx& type, const _stringx& subject,
                const _stringx& detail) {
        m_answered.emplace(finding, type, subject);
        m_changes.push_back({kind, type, subject, detail});
    }

    CRepository& m_repository;
    XMLIntercessor& m_document;
    const CRepositoryRepairer::Options& m_options;
    const kv::RepositoryFolder& m_folder;
    const std::vector<kv::TypeSurvey> m_surveys;
    const std::vector<CRepositoryVerifier::Finding> m_findings;
    std::set<std::tuple<Finding, _stringx, _stringx>> m_answered;
    std::vector<Change> m_changes;
};

}  // namespace

CRepositoryRepairer::CRepositoryRepairer(CRepository* repository) : m_pRepository(repository) {}

long CRepositoryRepairer::Repair(const Options& options, std::vector<Change>& changes) {
    changes.clear();
    const _stringx dataFile = m_pRepository ? m_pRepository->GetRepoDataFilePath() : _stringx();
    if (dataFile.empty())
        return kv::status::kNoDataFilePath;
    std::vector<Change> made;
    const kv::RepositoryFolder folder(dataFile);
    const auto repair = [&](XMLIntercessor& document, bool apply) {
        RepairRun run(*m_pRepository, document, options, folder);
        const bool changed = run.Repair(apply);
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
