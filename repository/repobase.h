// CRepoBase: the property store of an item. Values set through the object wait
// in the written cache until CommitCachedProperties writes them as attributes
// of the object's element in the repository data file; values that are not
// cached are read from that element on demand. A second, in-memory cache holds
// values that are never written. Names are case-sensitive.
#pragma once

#include <vector>

#include "repository/propertystore.h"
#include "xml/repodata.h"

class CRepository;

class KV_API CRepoBase : public CRepoData {
public:
    CRepoBase(CRepository* repository, IRepoStatus* status);
    CRepoBase(const CRepoBase& other);
    CRepoBase& operator=(const CRepoBase& other);
    ~CRepoBase() override;

    CRepository* GetRepository() const { return m_pRepository; }

    // The owning repository's data file (empty without a repository).
    _stringx GetRepoDataFilePath() override;
    // The element, relative to the data file's document element, whose
    // attributes hold this object's stored properties.
    virtual _stringx GetItemXPath() = 0;

    // Stores `value` under `name` in the in-memory cache (`inMemoryOnly`) or the
    // written cache, replacing what that cache held under the name. Always 0.
    long CachePropertyValue(const _stringx& name, const _stringx& value, bool inMemoryOnly);
    // The value of `name` from the written cache, else the in-memory cache,
    // else (with `readFile`) the data file. 0 when found (or when not found and
    // not reading the file, `value` then left alone); -101 when the file holds
    // no such attribute (`value` left alone).
    long GetPropertyValue(const _stringx& name, _stringx& value, bool readFile);
    // Replaces `names` with the names of this object's properties, sorted,
    // each once: those of both caches and, with `readFile`, the attributes
    // of its element in the data file (read afresh). 0; with `readFile`
    // -103 when the data file does not open (message 2; `names` then holds
    // the cached names).
    long GetPropertyNames(std::vector<_stringx>& names, bool readFile);
    // Whether GetPropertyValue finds a value. Without `readFile` the answer
    // comes from the two caches only.
    bool GetPropertyExists(const _stringx& name, bool readFile);
    // Writes every written-cache entry onto the element at GetItemXPath(),
    // creating the element when missing, in one save: 0, -102 or -103. The
    // caches keep their values.
    long CommitCachedProperties();
    // Copies this object's properties into `destination`: unless `skipFile`,
    // first the stored attributes of this object's element replace the
    // destination's written cache (when the element exists); then both caches
    // of this object are copied over the destination's entries of the same names.
    void CopyProperties(CRepoBase* destination, bool skipFile);

protected:
    // Replaces the written cache with the list's pairs (a later pair replacing
    // an earlier one of the same name): what CachePropertyValue of each would
    // leave in an empty cache, in one step. The list is the caller's to reuse.
    void AssignWrittenValues(kv::PropertyList& values);

private:
    // Values are kept as text: every value cached or read from a data file is.
    typedef kv::PropertyStore Cache;
    static void CopyCache(const Cache& source, Cache& target);

    Cache m_written;
    Cache m_inMemory;
    CRepository* m_pRepository;
};
