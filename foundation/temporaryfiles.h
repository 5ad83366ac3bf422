// The temporary files that saves and copies make beside their targets, and
// the leftovers that killed ones leave behind.
//
// Every maker of such a file holds it, from the moment it is made until it
// is renamed into place or removed: an exclusive lock on one byte (at 2^62)
// of the file itself, through a handle that shares reading, writing and
// deletion. A leftover is a file of the temporary files' naming pattern that
// nobody holds; since the lock dies with the process that held it, a killed
// save's file is a leftover at once, and a running save's never is.
#pragma once

#include <string>
#include <vector>

#include "foundation/stringx.h"
#include "win32/fileio.h"

namespace kv {

// The lock of one temporary file.
class KV_API TemporaryFileHold {
public:
    TemporaryFileHold() = default;
    ~TemporaryFileHold();
    TemporaryFileHold(const TemporaryFileHold&) = delete;
    TemporaryFileHold& operator=(const TemporaryFileHold&) = delete;

    // Holds the file at `path`, without waiting. ERROR_SUCCESS;
    // ERROR_LOCK_VIOLATION when another holds it; ERROR_FILE_NOT_FOUND when
    // the name no longer leads to the file that was opened (removed or
    // replaced meanwhile); otherwise the error of opening it
    // (ERROR_SHARING_VIOLATION where a writer has it open without sharing,
    // which counts as held).
    DWORD Take(const std::string& path);
    // Lets go, if held. Also done by the destructor.
    void Release();
    bool Held() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

// Whether `name` has the form of the library's temporary files: ".kv" for a
// save's or "kvc" for a file copy's, one to eight hexadecimal digits and
// ".tmp", in any letter case (the systems differ).
KV_API bool IsTemporaryFileName(const _stringx& name);

// What a file of the temporary files' pattern is.
enum class TemporaryFileState {
    // Nobody holds it: a killed save's or copy's, never read again.
    kLeftover,
    // A running save or copy holds it.
    kHeld,
    // A symbolic link: no save or copy makes one, so it is nobody's leftover
    // and is never removed.
    kLink,
    // It could not be opened to tell (or, being removed, not deleted):
    // read-only, or not ours to open.
    kStuck,
};

struct TemporaryFile {
    _stringx name;
    TemporaryFileState state;
};

// Appends the files of the temporary files' pattern directly in `folder` to
// `files`, sorted by name, each with its state. With `remove`, each leftover
// is deleted while this call holds it, so that no maker can take it
// meanwhile (one whose deletion fails is kStuck). Files that vanish while
// they are looked at are left out; a folder that cannot be listed has none.
KV_API void SurveyTemporaryFiles(const _stringx& folder, bool remove,
                                 std::vector<TemporaryFile>& files);

// Appends the names of the leftovers directly in `folder` to `names`, sorted;
// with `remove`, only those deleted (SurveyTemporaryFiles).
KV_API void FindLeftovers(const _stringx& folder, bool remove, std::vector<_stringx>& names);

}  // namespace kv
