#include "repository/repositorymgr.h"
#include "foundation/platform/filecopy.h"

#include <new>
#include <string>

#include "foundation/appservices.h"
#include "foundation/comerror.h"
#include "foundation/folderpath.h"
#include "win32/fileio.h"
#include "win32/files.h"
#include "repository/itemgroups.h"
#include "repository/repositoryitem.h"
#include "resources/messages.h"
#include "xml/xpath.h"

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
        return kv::status::kListNotCreated;
    // The filter may live in the list about to go (a repository's key).
    const std::string filter(keyFilter ? keyFilter : "");
    CleanupRepositories();
    m_pRepositories = list;
    return list->GetItems(filter.c_str(), includeMissing);
}

CRepository* CRepositoryMgr::GetRepository(const char* key, bool includeMissing) {
    CRepositories* list = nullptr;
    if (GetRepositories(key, &list, includeMissing) != 0 || !list)
        return nullptr;
    return list->MoveFirst();
}

long CRepositoryMgr::CreateRepository(const _stringx& keyArgument, const _stringx& pathArgument,
                                      CRepository** repository) {
    // Copies: either may live in the list that the reload below replaces.
    const _stringx key(keyArgument), dataFilePath(pathArgument);
    if (repository)
        *repository = nullptr;
    if (key != _stringx(OLESTR("Network")) && key != _stringx(OLESTR("Local")))
        return kv::status::kBadRepositoryKey;
    if (const long status = SetupNewRepository(dataFilePath))
        return status;
    const _stringx keyName(OLESTR("Key"));
    const _stringx entry =
        xmlutils::FormatXPath(xmlutils::kXPathRepositoryByAttrib, {keyName, key});
    if (const long status = SetAttribValueToXmlFile(entry, keyName, key))
        return status;
    CRepository* created = GetRepository(key.narrow(), true);
    if (repository)
        *repository = created;
    if (!created)
        return kv::status::kRepositoryNotFound;
    return created->PutProperty(_stringx(OLESTR("Path")), dataFilePath);
}

long CRepositoryMgr::SetupNewRepository(const _stringx& dataFilePath) {
    if (!DoCopyFile(GetRepoTemplatePath(), dataFilePath))
        return kv::status::kTemplateNotCopied;
    return CreateGroupFolders(dataFilePath);
}

long CRepositoryMgr::CreateGroupFolders(const _stringx& dataFilePath) {
    // A template that does not load gets no folders; the listing will say so.
    XMLIntercessor document;
    if (FAILED(
            document.Initialize(dataFilePath.c_str(), dataFilePath.c_str(), nullptr, false, false)))
        return 0;
    const kv::RepositoryFolder folder(dataFilePath);
    for (const OLECHAR* type : CRepositoryItem::kItemTypes) {
        const kv::ItemGroups groups(document, folder, _stringx(type));
        for (const kv::ItemGroup& group : groups.Groups()) {
            // Only folders a listing searches, and none outside the repository.
            if (!group.searchable || !folder.Holds(group.folder) ||
                EnsureDirectoryExists(group.folder))
                continue;
            LogError1(kv::status::kFolderNotCreated, IDS_DIRECTORY_CREATE_FAILED, group.folder);
            return kv::status::kFolderNotCreated;
        }
    }
    return 0;
}

_stringx CRepositoryMgr::GetRepoTemplatePath() {
    _stringx folder;
    com_check hr;
    hr = kv::QuerySupportFolder(folder);
    return kv::PathJoin(folder, _stringx(OLESTR("RepositoryTpl.xml")));
}

bool CRepositoryMgr::DoCopyFile(const _stringx& source, const _stringx& target) {
    const _stringx folder = kv::PathFolderPart(target);
    if (!EnsureDirectoryExists(folder)) {
        LogError1(kv::status::kFolderNotCreated, IDS_DIRECTORY_CREATE_FAILED, folder);
        return false;
    }
    if (!kv::platform::CopyOneFile(source.narrow(), target.narrow(), FALSE)) {
        LogError1(kv::status::kTemplateNotCopied, IDS_REPO_FILE_CREATE_FAILED, target);
        return false;
    }
    SetFileAttributesA(target.narrow(), FILE_ATTRIBUTE_NORMAL);
    return true;
}

bool CRepositoryMgr::EnsureDirectoryExists(const _stringx& folder) {
    return kv::EnsureFolder(folder);
}
