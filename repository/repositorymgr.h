// CRepositoryMgr: where a caller starts. Constructed on the path of the
// repository-list file and the caller's status interface; loads the list on
// request and finds repositories by key.
//
// The manager owns the list it loaded last: each load replaces it, and with it
// every repository, item collection and item obtained from the previous list.
// A copy of a manager starts without a loaded list, so no list is ever deleted
// by two managers.
#pragma once

#include "repository/repositories.h"

class KV_API CRepositoryMgr : public CRepoData {
public:
    // A null path counts as empty. Nothing is read.
    CRepositoryMgr(const char* listFilePath, IRepoStatus* status);
    CRepositoryMgr(const CRepositoryMgr& other);
    CRepositoryMgr& operator=(const CRepositoryMgr& other);
    ~CRepositoryMgr() override;

    // The repository-list file.
    _stringx GetRepoDataFilePath() override;

    // Loads the list file into a new list, handed out in *repositories (owned by
    // the manager), with the key filter and the include-missing flag of
    // CRepositories::GetItems. 0; the list's failure (-103, message 2
    // reported; the list stays loaded); -200 when no list could be created
    // (*repositories is then null).
    long GetRepositories(const char* keyFilter, CRepositories** repositories, bool includeMissing);
    // Loads the list filtered by `key` and answers its first repository, or null.
    CRepository* GetRepository(const char* key, bool includeMissing);

private:
    void CleanupRepositories();

    CRepositories* m_pRepositories = nullptr;
    _stringx m_strListFile;
};
