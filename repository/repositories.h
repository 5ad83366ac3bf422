// CRepositories: the repositories named in a repository-list file, held in
// list order and walked with the cursor (MoveFirst, MoveNext).
//
// The list file's document holds a `Repositories` element (the first one
// anywhere is read); each child node is one entry, whose attributes are
// `Key`, `Path` (the data file; "##TestingRepositoriesDir##" stands for the
// list file's folder), `Local` ("1" for a local repository) and any number of
// properties such as `DisplayName`.
//
// Ownership: the list owns its repositories and the items its last
// GetRepositoryItems gathered. A copy is a view that borrows the source's
// repositories and gathered items (valid while the source lives) and never
// deletes them; what a view gathers itself is its own.
#pragma once

#include "foundation/collections.h"
#include "repository/repository.h"

#if KV_COLLECTION_EXTERN_INSTANCES
extern template class KV_COLLECTION_INSTANCE_API CVectorCol<CRepository*>;
extern template class KV_COLLECTION_INSTANCE_API
    CRepoCollection<CRepository*, CVectorCol<CRepository*>>;
#endif

class KV_API CRepositories : public CRepoCollection<CRepository*, CVectorCol<CRepository*>>,
                             public CRepoData {
public:
    typedef CRepoCollection<CRepository*, CVectorCol<CRepository*>> Collection;

    CRepositories(const char* listFilePath, IRepoStatus* status);
    CRepositories(const CRepositories& other);
    CRepositories& operator=(const CRepositories& other);
    ~CRepositories() override;

    // The repository-list file.
    _stringx GetRepoDataFilePath() override;

    // Reads the list file and appends one repository per entry whose key
    // matches `keyFilter` (null, empty or "*": every entry; otherwise the exact
    // key) and whose data file exists (an existing file, not a folder), or
    // every matching entry when `includeMissing`. 0, or -103 when the list file
    // cannot be read (message 2 reported).
    long GetItems(const char* keyFilter, bool includeMissing);

    // Gathers copies of the items `itemPath` selects from every repository
    // (`allRepositories` not 0) or every local one, in list order, into one
    // collection handed out in *items and kept by the list until the next call
    // (the caller does not delete it). Walks the list's own cursor, which is
    // left at the end. 0; the first failing repository's status (the copies
    // gathered so far stay); -100 when no collection could be made.
    long GetRepositoryItems(const char* itemPath, int allRepositories, CRepositoryItems** items);

private:
    void CleanupItems();

    CRepositoryItems* m_pItems = nullptr;
    bool m_bOwnsItems = false;  // false for the gathered items a copy shares
    _stringx m_strListFile;
};
