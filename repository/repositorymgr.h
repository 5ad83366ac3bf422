// CRepositoryMgr: where a caller starts. Constructed on the path of the
// repository-list file and the caller's status interface; loads the list on
// request and finds repositories by key.
//
// The manager owns the list it loaded last: each load replaces it, and with it
// every repository, item collection and item obtained from the previous list.
// A copy of a manager starts without a loaded list, so no list is ever deleted
// by two managers. Operations that reload copy their arguments first, so a key
// or path read from the list being replaced may be passed to them.
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

    // Makes a new repository: copies the template data file to `dataFilePath`
    // (creating its folder), points the list file's existing entry with `key`
    // ("Local" or "Network") at it, and hands out that entry's repository (of
    // the reloaded list; built before its Path was written, so it still
    // answers the old data file path until the next load), with the folders
    // of the template's groups made beside it. 0; -114 for another key
    // (nothing written); -111 when the template was not copied (message 3
    // or 4 reported); -112 when a group folder could not be made (message
    // 4; the list is not written); -113 when the list has no entry with the
    // key; the list file's -102/-103. Throws CComException* when the services component
    // cannot say where the template is.
    long CreateRepository(const _stringx& key, const _stringx& dataFilePath,
                          CRepository** repository);

protected:
    // Copies the template to `dataFilePath`, then makes the folders of its
    // groups (those with a Wildcard, inside the repository), so that a new
    // repository verifies clean: 0; -111; -112 when a group folder cannot be
    // made (message 4 reported; the data file stays, the list is not
    // written).
    long SetupNewRepository(const _stringx& dataFilePath);
    // The template data file "RepositoryTpl.xml" in the services component's
    // support folder.
    _stringx GetRepoTemplatePath();
    // Copies `source` over `target`, creating the target's folder first and
    // giving the copy normal (writable) attributes; reports message 4 or 3.
    bool DoCopyFile(const _stringx& source, const _stringx& target);
    // True when `folder` exists or could be created with its parents; an
    // empty or relative folder that does not exist cannot be (E_INVALIDARG).
    bool EnsureDirectoryExists(const _stringx& folder);

private:
    void CleanupRepositories();
    // The group folders of the new data file at `dataFilePath`: 0 or -112.
    long CreateGroupFolders(const _stringx& dataFilePath);

    CRepositories* m_pRepositories = nullptr;
    _stringx m_strListFile;
};
