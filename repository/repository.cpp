#include "repository/repository.h"

#include <new>

#include "foundation/pathx.h"
#include "repository/repositoryitems.h"
#include "xml/xpath.h"

namespace {
_stringx Text(const char* text) {
    return text ? _stringx(text) : _stringx();
}
}  // namespace

CRepository::CRepository(const char* key, const char* dataFilePath, bool local,
                         const char* listFilePath, IRepoStatus* status)
    : CRepository(Text(key), Text(dataFilePath), local, Text(listFilePath), status) {}

CRepository::CRepository(const _stringx& key, const _stringx& dataFilePath, bool local,
                         const _stringx& listFilePath, IRepoStatus* status)
    : CRepoData(status),
      m_strKey(key),
      m_strDataFile(dataFilePath),
      m_strListFile(listFilePath),
      m_bLocal(local) {}

CRepository::~CRepository() = default;

bool CRepository::GetBoolFromStr(const _stringx& text) {
    return GetBoolFromStr(std::basic_string_view<OLECHAR>(text.data(), text.size()));
}

bool CRepository::GetBoolFromStr(std::basic_string_view<OLECHAR> text) {
    return text == std::basic_string_view<OLECHAR>(OLESTR("1"));
}

_stringx CRepository::GetRepoDataFilePath() {
    return m_strDataFile;
}

_stringx CRepository::GetReposXPath() const {
    if (m_strKey.empty())
        return _stringx();
    return xmlutils::FormatXPath(xmlutils::kXPathRepositoryByAttrib,
                                 {_stringx(OLESTR("Key")), m_strKey});
}

long CRepository::GetProperty(const _stringx& name, _stringx* value) {
    if (name == _stringx(OLESTR("Key"))) {
        *value = m_strKey;
        return 0;
    }
    if (name == _stringx(OLESTR("MMSearchPath"))) {
        _stringx folderName;
        if (GetAttribValueFromXmlFile(_stringx(xmlutils::kXPathMergeModuleItems),
                                      _stringx(OLESTR("Name")), folderName) == 0)
            *value = kv::PathJoin(kv::PathFolderPart(m_strDataFile), folderName);
        else
            value->clear();
        return 0;
    }
    return GetAttribValueFromXmlFile(GetReposXPath(), name, *value, m_strListFile);
}

long CRepository::PutProperty(const _stringx& name, const _stringx& value) {
    return SetAttribValueToXmlFile(GetReposXPath(), name, value, m_strListFile);
}

long CRepository::GetItems(const char* itemPath, CRepositoryItems** items) {
    auto* collection = new (std::nothrow) CRepositoryItems(this, GetRepoStatus());
    if (items)
        *items = collection;
    if (!collection)
        return kv::status::kCollectionNotCreated;
    return collection->GetItems(itemPath);
}

long CRepository::CreateRepositoryItem(const char* displayPath, CRepositoryItem** item) {
    if (!item)
        return kv::status::kCollectionNotCreated;
    *item = new CRepositoryItem(this, false, Text(displayPath), GetRepoStatus());
    return 0;
}

long kv::ListItems(CRepository& repository, const char* itemPath,
                   std::unique_ptr<CRepositoryItems>& items) {
    CRepositoryItems* raw = nullptr;
    items.reset();
    try {
        const long status = repository.GetItems(itemPath, &raw);
        items.reset(raw);
        return status;
    } catch (...) {
        delete raw;
        throw;
    }
}
