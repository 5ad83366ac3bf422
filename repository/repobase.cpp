#include "repository/repobase.h"

#include <set>

#include <new>
#include <utility>

#include "foundation/platform/framework.h"
#include "repository/repository.h"
#include "foundation/platform/variant.h"

namespace {

kv::text_view View(const _stringx& text) {
    return kv::text_view(text.data(), text.size());
}

// The value of `name` in `cache` into `value`; false (and `value` left alone)
// when the cache has none.
bool Lookup(const kv::PropertyStore& cache, const _stringx& name, _stringx& value) {
    const std::size_t at = cache.Find(View(name));
    if (at == kv::PropertyStore::npos)
        return false;
    const kv::text_view text = cache.Value(at);
    value.assign(text.data(), text.size());
    return true;
}

}  // namespace

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
        m_written.Swap(written);
        m_inMemory.Swap(inMemory);
        m_pRepository = other.m_pRepository;
    }
    return *this;
}

// Stores every entry of `source` over `target`'s. A failed copy changes
// nothing and raises the framework's exception for it.
void CRepoBase::CopyCache(const Cache& source, Cache& target) {
    try {
        if (target.Size() == 0)
            target = source;
        else
            target.SetAll(source);
    } catch (const std::bad_alloc&) {
        AfxThrowOleException(E_OUTOFMEMORY);
    }
}

CRepoBase::~CRepoBase() = default;

_stringx CRepoBase::GetRepoDataFilePath() {
    return m_pRepository ? m_pRepository->GetRepoDataFilePath() : _stringx();
}

long CRepoBase::CachePropertyValue(const _stringx& name, const _stringx& value, bool inMemoryOnly) {
    try {
        (inMemoryOnly ? m_inMemory : m_written).Set(View(name), View(value));
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
    return 0;
}

void CRepoBase::AssignWrittenValues(kv::PropertyList& values) {
    try {
        m_written.Assign(values);
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}

long CRepoBase::GetPropertyValue(const _stringx& name, _stringx& value, bool readFile) {
    if (Lookup(m_written, name, value) || Lookup(m_inMemory, name, value) || !readFile)
        return 0;
    return GetAttribValueFromXmlFile(GetItemXPath(), name, value);
}

bool CRepoBase::GetPropertyExists(const _stringx& name, bool readFile) {
    if (!readFile)
        return m_written.Find(View(name)) != Cache::npos ||
               m_inMemory.Find(View(name)) != Cache::npos;
    _stringx scratch;
    return GetPropertyValue(name, scratch, true) == 0;
}

long CRepoBase::CommitCachedProperties() {
    // In name order, as the attributes are set.
    XmlAttribMap attributes;
    for (std::size_t i = 0; i < m_written.Size(); ++i) {
        const kv::text_view name = m_written.Name(i), value = m_written.Value(i);
        CComVariant text(value.data(), static_cast<UINT>(value.size()));
        if (text.vt != VT_BSTR)
            AfxThrowMemoryException();
        attributes.emplace_hint(attributes.end(), _stringx(name.data(), name.size()),
                                std::move(text));
    }
    return SetAttribValuesToXmlFile(GetItemXPath(), attributes);
}

void CRepoBase::CopyProperties(CRepoBase* destination, bool skipFile) {
    if (!skipFile) {
        // The element's attributes replace the destination's written cache;
        // when the path selects nothing it stays as it was.
        XmlAttribMap stored;
        for (std::size_t i = 0; i < destination->m_written.Size(); ++i) {
            const kv::text_view name = destination->m_written.Name(i);
            const kv::text_view value = destination->m_written.Value(i);
            stored.emplace_hint(stored.end(), _stringx(name.data(), name.size()),
                                CComVariant(value.data(), static_cast<UINT>(value.size())));
        }
        GetAttribValuesFromXmlFile(GetItemXPath(), stored);
        kv::PropertyList texts;
        _stringx text;
        for (const auto& entry : stored) {
            GetAttribValue(entry.first, stored, text);
            texts.Add(View(entry.first), View(text));
        }
        destination->AssignWrittenValues(texts);
    }
    CopyCache(m_written, destination->m_written);
    CopyCache(m_inMemory, destination->m_inMemory);
}

long CRepoBase::GetPropertyNames(std::vector<_stringx>& names, bool readFile) {
    std::set<_stringx> found;
    for (const Cache* cache : {&m_written, &m_inMemory})
        for (std::size_t i = 0; i < cache->Size(); ++i) {
            const kv::text_view name = cache->Name(i);
            found.emplace(name.data(), name.size());
        }
    long status = 0;
    if (readFile) {
        XmlAttribMap stored;
        status = GetAttribValuesFromXmlFile(GetItemXPath(), stored);
        for (const auto& attribute : stored)
            found.insert(attribute.first);
    }
    names.assign(found.begin(), found.end());
    return status;
}
