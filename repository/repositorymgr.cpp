#include "repository/repositorymgr.h"

#include <new>

CRepositoryMgr::CRepositoryMgr(const char* listFilePath, IRepoStatus* status)
    : CRepoData(status), m_strListFile(listFilePath ? _stringx(listFilePath) : _stringx()) {}

CRepositoryMgr::CRepositoryMgr(const CRepositoryMgr& other)
    : CRepoData(other), m_strListFile(other.m_strListFile) {}

CRepositoryMgr& CRepositoryMgr::operator=(const CRepositoryMgr& other) {
    if (this != &other) {
        CleanupRepositories();
        CRepoData::operator=(other);
        m_strListFile = other.m_strListFile;
    }
    return *this;
}

CRepositoryMgr::~CRepositoryMgr() {
    CleanupRepositories();
}

_stringx CRepositoryMgr::GetRepoDataFilePath() {
    return m_strListFile;
}

void CRepositoryMgr::CleanupRepositories() {
    delete m_pRepositories;
    m_pRepositories = nullptr;
}

long CRepositoryMgr::GetRepositories(const char* keyFilter, CRepositories** repositories,
                                     bool includeMissing) {
    CRepositories* list = new (std::nothrow) CRepositories(m_strListFile.narrow(), GetRepoStatus());
    if (repositories)
        *repositories = list;
    if (!list)
        return -200;
    CleanupRepositories();
    m_pRepositories = list;
    return list->GetItems(keyFilter, includeMissing);
}

CRepository* CRepositoryMgr::GetRepository(const char* key, bool includeMissing) {
    CRepositories* list = nullptr;
    if (GetRepositories(key, &list, includeMissing) != 0 || !list)
        return nullptr;
    return list->MoveFirst();
}
