#include "repository/repobase.h"

#include <utility>

#include "foundation/platform/framework.h"
#include "repository/repository.h"

CRepoBase::CRepoBase(CRepository* repository, IRepoStatus* status)
    : CRepoData(status), m_pRepository(repository) {}

CRepoBase::CRepoBase(const CRepoBase& other)
    : CRepoData(other), m_pRepository(other.m_pRepository) {
    CopyCache(other.m_written, m_written);
    CopyCache(other.m_inMemory, m_inMemory);
}

CRepoBase& CRepoBase::operator=(const CRepoBase& other) {
    if (this != &other) {
        // Copied aside first, so a failed copy leaves this object as it was.
        Cache written, inMemory;
        CopyCache(other.m_written, written);
        CopyCache(other.m_inMemory, inMemory);
        CRepoData::operator=(other);
        m_written.swap(written);
        m_inMemory.swap(inMemory);
        m_pRepository = other.m_pRepository;
    }
    return *this;
}

void CRepoBase::CopyCache(const Cache& source, Cache& target) {
    for (const auto& entry : source)
        Store(target, entry.first, entry.second);
}

CRepoBase::~CRepoBase() = default;

_stringx CRepoBase::GetRepoDataFilePath() {
    return m_pRepository ? m_pRepository->GetRepoDataFilePath() : _stringx();
}

// Copies `value` into the cache. A failed copy leaves the entry holding the
// error and raises the framework's exception for it.
void CRepoBase::Store(Cache& cache, const _stringx& name, const VARIANT& value) {
    CComVariant& entry = cache[name];
    const HRESULT hr = VariantCopy(&entry, &value);
    if (FAILED(hr)) {
        entry.vt = VT_ERROR;
        entry.scode = hr;
        AfxThrowOleException(hr);
    }
}

long CRepoBase::CachePropertyValue(const _stringx& name, const _stringx& value, bool inMemoryOnly) {
    CComVariant text(value.c_str(), static_cast<UINT>(value.size()));
    if (text.vt != VT_BSTR)
        AfxThrowMemoryException();
    // The new text is the cache's to keep: moved in, not copied again.
    (inMemoryOnly ? m_inMemory : m_written)[name] = std::move(text);
    return 0;
}

void CRepoBase::TakeWrittenValues(XmlAttribMap& values) {
    while (!values.empty()) {
        auto placed = m_written.insert(values.extract(values.begin()));
        if (!placed.inserted)
            placed.position->second = std::move(placed.node.mapped());
    }
}

long CRepoBase::GetPropertyValue(const _stringx& name, _stringx& value, bool readFile) {
    if (GetAttribValue(name, m_written, value) || GetAttribValue(name, m_inMemory, value) ||
        !readFile)
        return 0;
    return GetAttribValueFromXmlFile(GetItemXPath(), name, value);
}

bool CRepoBase::GetPropertyExists(const _stringx& name, bool readFile) {
    if (!readFile)
        return m_written.count(name) > 0 || m_inMemory.count(name) > 0;
    _stringx scratch;
    return GetPropertyValue(name, scratch, true) == 0;
}

long CRepoBase::CommitCachedProperties() {
    return SetAttribValuesToXmlFile(GetItemXPath(), m_written);
}

void CRepoBase::CopyProperties(CRepoBase* destination, bool skipFile) {
    if (!skipFile)
        GetAttribValuesFromXmlFile(GetItemXPath(), destination->m_written);
    CopyCache(m_written, destination->m_written);
    CopyCache(m_inMemory, destination->m_inMemory);
}
