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

long CRepositories::GetItems(const char* keyFilter, bool includeMissing) {
    _stringx filter(keyFilter);
    if (filter.empty())
        filter = _stringx(OLESTR("*"));
    const bool all = filter == _stringx(OLESTR("*"));

    XMLIntercessor document;
    const long status = OpenXmlFile(document);
    if (status != 0)
        return status;
    // Every child node is an entry, whatever its kind (a comment is one without
    // attributes). One query reads their attributes as text: a list of
    // thousands of entries makes no node object, map or variant per attribute.
    XmlAttribTexts texts;
    document.GetAllAttribTexts(OLESTR("(//Repositories)[1]/node()"), texts);

    const _stringx listFolder = kv::PathFolderPart(m_strListFile);
    const XmlAttribTexts::View keyName(OLESTR("Key")), pathName(OLESTR("Path")),
        localName(OLESTR("Local")), placeholder(kPlaceholder);
    for (std::size_t node = 0; node < texts.NodeCount(); ++node) {
        XmlAttribTexts::View key, pathText, localText;
        for (std::size_t at = texts.First(node); at < texts.End(node); ++at) {
            const XmlAttribTexts::View name = texts.Name(at);
            if (name == keyName)
                key = texts.Value(at);
            else if (name == pathName)
                pathText = texts.Value(at);
            else if (name == localName)
                localText = texts.Value(at);
        }
        if (!all && key != XmlAttribTexts::View(filter.data(), filter.size()))
            continue;
        _stringx path(pathText.data(), pathText.size());
        const auto at = path.find(placeholder.data(), 0, placeholder.size());
        if (at != _stringx::npos)
            path.replace(at, placeholder.size(), listFolder);
        if (!includeMissing && (path.empty() || !kv::FileExists(path)))
            continue;
        AddToCol(new CRepository(_stringx(key.data(), key.size()), path,
                                 CRepository::GetBoolFromStr(localText), m_strListFile,
                                 GetRepoStatus()));
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
