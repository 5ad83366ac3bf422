#include "repository/repositoryitem.h"

#include "win32/scripting.h"

#include <iterator>
#include <string>

#include "win32/codepage.h"
#include "repository/repository.h"
#include "xml/xpath.h"

namespace {
const _stringx kDisplayPath(OLESTR("DisplayPath"));
const _stringx kFileName(OLESTR("FileName"));
const _stringx kKey(OLESTR("Key"));
}  // namespace

const OLECHAR* const CRepositoryItem::kItemTypes[6] = {
    OLESTR("SystemSearches"), OLESTR("SqlScripts"), OLESTR("KVScripts"),
    OLESTR("Dialogs"),        OLESTR("Templates"),  OLESTR("MergeModules"),
};
const OLECHAR CRepositoryItem::kRepositoryMarker[15] = OLESTR("<KVREPOSITORY>");

CRepositoryItem::CRepositoryItem(CRepository* repository, bool exists, const _stringx& displayPath,
                                 IRepoStatus* status)
    : CRepoBase(repository, status), m_bExists(exists) {
    if (!exists)
        CachePropertyValue(kDisplayPath, displayPath, true);
}

CRepositoryItem::CRepositoryItem(const CRepositoryItem& other)
    : CRepoBase(other),
      m_pPublishing(other.m_pPublishing ? new Publishing(*other.m_pPublishing) : nullptr),
      m_bExists(other.m_bExists) {}

CRepositoryItem& CRepositoryItem::operator=(const CRepositoryItem& other) {
    if (this != &other) {
        CRepoBase::operator=(other);
        m_pPublishing.reset(other.m_pPublishing ? new Publishing(*other.m_pPublishing) : nullptr);
        m_bExists = other.m_bExists;
    }
    return *this;
}

CRepositoryItem::Publishing& CRepositoryItem::GetPublishing() {
    if (!m_pPublishing)
        m_pPublishing.reset(new Publishing);
    return *m_pPublishing;
}

const _stringx& CRepositoryItem::GetAddedFile() const {
    static const _stringx kNone;
    return m_pPublishing ? m_pPublishing->addedFile : kNone;
}

void CRepositoryItem::SetTargetFileName(const _stringx& name) {
    GetPublishing().targetName = name;
}

CRepositoryItem::~CRepositoryItem() = default;

CRepositoryItem* CRepositoryItem::Copy() {
    auto* copy = new CRepositoryItem(GetRepository(), m_bExists, _stringx(), GetRepoStatus());
    CopyProperties(copy, true);
    return copy;
}

long CRepositoryItem::GetProperty(const _stringx& name, _stringx* value) {
    if (name == kDisplayPath) {
        *value = GetDisplayPath();
        return 0;
    }
    if (name.compare(OLESTR("ParentRepo")) == 0) {
        if (CRepository* repository = GetRepository())
            repository->GetProperty(_stringx(OLESTR("DisplayName")), value);
        return 0;
    }
    return GetPropertyValue(name, *value, true);
}

long CRepositoryItem::PutProperty(const _stringx& name, const _stringx& value) {
    if (name != kFileName)
        return CachePropertyValue(name, value, false);
    return CachePropertyValue(name, kv::LowerFileName(value), false);
}

_stringx CRepositoryItem::GetRequiredProp(const _stringx& name) {
    _stringx value;
    GetProperty(name, &value);
    return value;
}

_stringx CRepositoryItem::GetRepoItemType(const _stringx& path) {
    for (const OLECHAR* type : kItemTypes)
        if (path.find(type) != _stringx::npos)
            return _stringx(type);
    return _stringx();
}

_stringx CRepositoryItem::GetRepoItemType() {
    return GetRepoItemType(GetRequiredProp(m_bExists ? kKey : kDisplayPath));
}

_stringx CRepositoryItem::GetDisplayPath() {
    if (!m_bExists) {
        _stringx path;
        GetPropertyValue(kDisplayPath, path, false);
        return path;
    }
    // Built in place: a listing asks every item for it.
    _stringx key, fileName;
    GetPropertyValue(kKey, key, true);
    GetPropertyValue(kFileName, fileName, true);
    _stringx path;
    path.reserve(std::size(kRepositoryMarker) + key.size() + fileName.size() + 1);
    path.append(kRepositoryMarker).append(1, OLESTR('\\')).append(key).append(1, OLESTR('\\'));
    path.append(fileName);
    return path;
}

_stringx CRepositoryItem::GetItemXPath() {
    // The element is found by the file name and the type; both come from the
    // caches only, since reading them from the file would need this very path.
    _stringx fileName, source;
    GetPropertyValue(kFileName, fileName, false);
    GetPropertyValue(m_bExists ? kKey : kDisplayPath, source, false);
    return xmlutils::FormatXPath(xmlutils::kXPathItemByFileName,
                                 {GetRepoItemType(source), fileName});
}

_stringx CRepositoryItem::GetNewRepoItemPath(const _stringx& path) {
    return xmlutils::FormatXPath(xmlutils::kXPathChildStep,
                                 {GetRepoItemType(path), _stringx(OLESTR("RepoItem"))});
}
