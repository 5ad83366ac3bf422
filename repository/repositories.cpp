#include "repository/repositories.h"

#include <memory>
#include <new>

#include "foundation/pathx.h"
#include "repository/repositoryitems.h"
#include "foundation/folderpath.h"
#include "xml/xpath.h"

namespace {

constexpr OLECHAR kPlaceholder[] = OLESTR("##TestingRepositoriesDir##");

}  // namespace

CRepositories::CRepositories(const char* listFilePath, IRepoStatus* status)
    : CRepoData(status), m_strListFile(listFilePath ? _stringx(listFilePath) : _stringx()) {}

CRepositories::CRepositories(const CRepositories& other)
    : Collection(other),
      CRepoData(other),
      m_pItems(other.m_pItems),
      m_strListFile(other.m_strListFile) {}

CRepositories& CRepositories::operator=(const CRepositories& other) {
    if (this != &other) {
        // Gathered items the source shares stay with whichever list owns them.
        if (m_pItems != other.m_pItems) {
            CleanupItems();
            m_pItems = other.m_pItems;
        }
        Collection::operator=(other);
        CRepoData::operator=(other);
        m_strListFile = other.m_strListFile;
    }
    return *this;
}

CRepositories::~CRepositories() {
    CleanupItems();
}

void CRepositories::CleanupItems() {
    if (m_bOwnsItems)
        delete m_pItems;
    m_pItems = nullptr;
    m_bOwnsItems = false;
}

_stringx CRepositories::GetRepoDataFilePath() {
    return m_strListFile;
}

void CRepositories::UpdateRelativePath(const _stringx& listFilePath, _stringx& path) {
    const auto at = path.find(kPlaceholder);
    if (at != _stringx::npos)
        path.replace(at, std::char_traits<OLECHAR>::length(kPlaceholder),
                     kv::PathFolderPart(listFilePath));
}

long CRepositories::GetItems(const char* keyFilter, bool includeMissing) {
    _stringx filter(keyFilter);
    if (filter.empty())
        filter = _stringx(OLESTR("*"));
    const bool all = filter == _stringx(OLESTR("*"));

    XMLIntercessor document;
    const long status = OpenXmlFile(document);
    if (status != 0)
        return status;
    std::vector<XmlNodeEntry> entries;
    document.GetChildNodes(_stringx(xmlutils::kXPathRepositories).c_str(), entries);

    const _stringx keyName(OLESTR("Key")), pathName(OLESTR("Path")), localName(OLESTR("Local"));
    for (const XmlNodeEntry& entry : entries) {
        const _stringx key = GetAttribValue(keyName, entry.attribs);
        if (!all && key != filter)
            continue;
        _stringx path = GetAttribValue(pathName, entry.attribs);
        UpdateRelativePath(m_strListFile, path);
        if (!includeMissing && (path.empty() || !kv::FileExists(path)))
            continue;
        const bool local = CRepository::GetBoolFromStr(GetAttribValue(localName, entry.attribs));
        AddToCol(new CRepository(key, path, local, m_strListFile, GetRepoStatus()));
    }
    return 0;
}

long CRepositories::GetRepositoryItems(const char* itemPath, int allRepositories,
                                       CRepositoryItems** items) {
    auto* gathered = new (std::nothrow) CRepositoryItems(GetRepoStatus());
    if (items)
        *items = gathered;
    if (!gathered)
        return kv::status::kCollectionNotCreated;
    CleanupItems();
    m_pItems = gathered;
    m_bOwnsItems = true;

    for (CRepository* repository = MoveFirst(); repository; repository = MoveNext()) {
        if (allRepositories == 0 && !repository->GetLocal())
            continue;
        std::unique_ptr<CRepositoryItems> temporary;
        const long status = kv::ListItems(*repository, itemPath, temporary);
        if (status != 0)
            return status;
        // The repository's collection is dropped right here, so its items
        // move over as they are: the same as copies of them, without the copying.
        gathered->TakeItems(*temporary);
    }
    return 0;
}
