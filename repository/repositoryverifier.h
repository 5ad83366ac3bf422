// CRepositoryVerifier: compares one repository's data file with its folders
// and lists where they disagree. It reads the data file once and searches the
// group folders as the item catalogue does (CRepositoryItems), so what it
// calls a file is what a listing would show.
//
// Read-only: it takes no lock, writes, creates and deletes nothing, and is
// safe to run beside writers in other processes (it may then report a change
// that was half way through: run it again).
//
// File names are compared as the catalogue compares them: lower-cased by the
// library's rule (kv::LowerFileName). Entries are the ItemAttrib elements
// under any RepoItem of a type; files are what the groups find in their
// folders (kv::ItemGroups), matched to entries by file name alone, whatever
// group or folder they lie in. Groups of a repeated type element are searched
// too, so that their entries do not read as missing, and the repetition is a
// finding of its own. To tell a running save's temporary file from a killed
// one's, it tries for a moment the hold every save keeps on its file; that
// is all it takes.
#pragma once

#include <vector>

#include "repository/repository.h"
#include "repository/repositorymgr.h"

class KV_API CRepositoryVerifier {
public:
    // What a finding is about; GetKindName gives each kind's stable name.
    enum class FindingKind {
        // "missing-file": an entry whose file no group's folder holds (or
        // whose FileName is a path, which no listing matches).
        kMissingFile,
        // "unlisted-file": a file found with no entry of exactly its
        // lower-cased name.
        kUnlistedFile,
        // "not-lower-case": a FileName the library's lower-casing changes;
        // the catalogue never matches such an entry to its file.
        kNotLowerCase,
        // "case-conflict": two entries, or two files of one type, whose
        // names differ only in letter case.
        kCaseConflict,
        // "missing-folder": a group whose folder does not exist.
        kMissingFolder,
        // "outside-repository": a group folder, an entry (its FileName or
        // stored LocalCopy) or a found file that leads outside the
        // repository's folder, as written or with links followed.
        kOutsideRepository,
        // "duplicate-entry": two or more entries with exactly the same
        // FileName in one type; the catalogue reads only the first.
        kDuplicateEntry,
        // "leftover": a temporary file of an interrupted save or copy
        // (".kv<hex>.tmp", or "kvc<hex>.tmp" of a copy on POSIX) in the data
        // file's folder or a group folder that no running save holds, or a
        // link of such a name, which no save makes.
        kLeftover,
        // "unmatched-file": an entry whose file lies in a group's folder
        // under its name, but no pattern of the groups matches it: listings
        // of the type leave it out, its display path still finds it.
        kUnmatchedFile,
        // "repeated-section": the type's element appears more than once; a
        // listing reads the groups of the first only.
        kRepeatedSection,
        // "group-key": a group whose Key names no item type, or another one:
        // writes to its items' properties go elsewhere than its entries.
        kGroupKey,
        // "unusable-name": a found file whose name no path reaches on this
        // system (on POSIX, a name holding "\"): it is not listed.
        kUnusableName,
        // "save-in-progress": a temporary file that a running save or copy
        // holds. Not a problem (IsProblem is false): it goes when the save
        // ends.
        kSaveInProgress,
        // Of the repository list (VerifyList), type empty:
        // "list-local": a Local value other than "0", "1" or empty.
        kListLocal,
        // "list-path": an entry without a Path attribute (an empty one is
        // the place kept for a repository not yet created).
        kListPath,
        // "list-duplicate-key": two or more entries with one Key.
        kListDuplicateKey,
    };

    struct Finding {
        FindingKind kind;
        // The item type ("Dialogs"); empty for a leftover beside the data file.
        _stringx type;
        // What the finding is about: a group's Name, an entry's FileName or
        // LocalCopy as written in the data file, a file's path relative to
        // the repository's folder with "/" separators ("Dialogs/x.kvd"), the
        // type's name (kRepeatedSection), or a list entry's Key.
        _stringx subject;
        // One short English sentence that says what is wrong.
        _stringx detail;
    };

    // Verifies `repository`, which must outlive the verifier. Nothing is read yet.
    explicit CRepositoryVerifier(CRepository* repository);

    // Replaces `findings` with what disagrees, by type (in the order of
    // CRepositoryItem::kItemTypes) and leftovers last. 0, also when something
    // was found; -3 when the repository has no data-file path; -103 when the
    // data file does not open or parse (message 2 reported to the
    // repository's status sink). On failure `findings` is left empty.
    // Errors of the XML component pass through as from every other operation.
    long Verify(std::vector<Finding>& findings);

    // Replaces `findings` with what is odd in the repository list of
    // `manager` (kListLocal, kListPath, kListDuplicateKey), in entry order,
    // each saying what the library makes of it; with `key`, only for entries
    // of that key. 0; -103 when the list does not open or parse (message 2
    // reported to the manager's status sink).
    static long VerifyList(CRepositoryMgr* manager, const char* key,
                           std::vector<Finding>& findings);

    // The stable name of `kind` ("missing-file"); "unknown" for a value that
    // is none of the kinds.
    static const char* GetKindName(FindingKind kind);
    // Whether a finding of `kind` is something to put right (all but
    // kSaveInProgress).
    static bool IsProblem(FindingKind kind);

private:
    CRepository* m_pRepository;
};
