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
// under any RepoItem of a type; files are what the groups with a Wildcard
// find in their folders, matched to entries by file name alone, whatever
// group or folder they lie in.
#pragma once

#include <vector>

#include "repository/repository.h"

class KV_API CRepositoryVerifier {
public:
    // What a finding is about; GetKindName gives each kind's stable name.
    enum class FindingKind {
        // "missing-file": an entry whose file no group finds.
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
        // file's folder or a group folder.
        kLeftover,
    };

    struct Finding {
        FindingKind kind;
        // The item type ("Dialogs"); empty for a leftover beside the data file.
        _stringx type;
        // What the finding is about: a group's Name or an entry's FileName or
        // LocalCopy as written in the data file, or a file's path relative to
        // the repository's folder with "/" separators ("Dialogs/x.kvd").
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

    // The stable name of `kind` ("missing-file"); "unknown" for a value that
    // is none of the kinds.
    static const char* GetKindName(FindingKind kind);

private:
    CRepository* m_pRepository;
};
