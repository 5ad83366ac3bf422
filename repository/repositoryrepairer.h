// CRepositoryRepairer: puts right what a repository's data file and folders
// disagree on, where the right answer is clear, and reports the rest.
//
// What it changes, by type (the files are those the item catalogue finds,
// matched to entries by their lower-cased name, as CRepositoryVerifier
// matches them):
//  - a FileName that is not lower case is written lower-cased, unless another
//    entry of the type has, or would get, that name (a conflict: left alone);
//  - of entries with exactly the same FileName, those identical to an earlier
//    one in every attribute are removed; differing ones are left alone;
//  - an unlisted file gets an entry in the group that found it: FileName its
//    lower-cased name, DisplayName from its name (Options::displayName);
//  - with Options::pruneMissing, an entry whose file is missing is removed
//    (otherwise it is left alone);
//  - leftovers (temporary files of killed saves and copies that nobody holds)
//    beside the data file and in the group folders are removed.
// Not changed: folders, links and paths that lead outside the repository, the
// entries' other properties. Verify again for what is left.
//
// A repair is one change of the data file under its lock, from before it is
// read until after it is saved, in one atomic save (none when nothing
// changes): writers in other processes, publishers included, lose nothing
// and see the file before or after the repair, whole. A dry run takes no
// lock and writes nothing, and reports exactly what a real run would change
// if nobody changed the repository meanwhile.
#pragma once

#include <functional>
#include <vector>

#include "repository/repository.h"

class KV_API CRepositoryRepairer {
public:
    struct Options {
        // Remove the entries whose file no group finds.
        bool pruneMissing = false;
        // Report what would change; change nothing.
        bool dryRun = false;
        // The DisplayName of a new entry, from its file's name as found;
        // none given: that name itself, as a listing shows an unlisted file.
        std::function<_stringx(const _stringx& fileName)> displayName;
    };

    // What a change is; GetKindName gives each kind's stable name.
    enum class ChangeKind {
        // "add-entry": an entry for an unlisted file.
        kAddEntry,
        // "lower-case": a FileName written lower-cased.
        kLowerCase,
        // "remove-duplicate": an entry identical to an earlier one, removed.
        kRemoveDuplicate,
        // "remove-missing": an entry whose file is missing, removed.
        kRemoveMissing,
        // "remove-leftover": a leftover temporary file, deleted.
        kRemoveLeftover,
        // "left-alone": a disagreement repair does not decide (a conflict of
        // names, duplicates that differ, a missing file not pruned).
        kLeftAlone,
    };

    struct Change {
        ChangeKind kind;
        // The item type; empty for a leftover beside the data file.
        _stringx type;
        // The entry's FileName as the data file wrote it, or a file's path
        // relative to the repository's folder with "/" separators.
        _stringx subject;
        // One short English sentence: what was (or would be) done, or why not.
        _stringx detail;
    };

    // Repairs `repository`, which must outlive the repairer.
    explicit CRepositoryRepairer(CRepository* repository);

    // Replaces `changes` with what was changed (or with a dry run, would be),
    // by type in the order of CRepositoryItem::kItemTypes, leftovers last.
    // 0; -3 when the repository has no data-file path; -103 when the data
    // file does not open or parse (message 2); -102 when it could not be
    // locked in time or saved (message 1): the data file is then as it was
    // (leftovers may already be gone when the save itself failed) and
    // `changes` is empty.
    long Repair(const Options& options, std::vector<Change>& changes);

    // The stable name of `kind` ("add-entry"); "unknown" for any other value.
    static const char* GetKindName(ChangeKind kind);

private:
    CRepository* m_pRepository;
};
