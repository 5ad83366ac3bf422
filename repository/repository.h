// CRepository: one entry of the repository-list file: a key, the path of the
// repository's data file, and whether it lies on the local disk. Its
// properties are the attributes of its entry in the list file.
#pragma once

#include <string_view>

#include <memory>

#include "xml/repodata.h"

class CRepositoryItems;
class CRepositoryItem;

class KV_API CRepository : public CRepoData {
public:
    // Null texts count as empty. Nothing is read.
    CRepository(const char* key, const char* dataFilePath, bool local, const char* listFilePath,
                IRepoStatus* status);
    CRepository(const _stringx& key, const _stringx& dataFilePath, bool local,
                const _stringx& listFilePath, IRepoStatus* status);
    CRepository(const CRepository&) = default;
    CRepository& operator=(const CRepository&) = default;
    ~CRepository() override;

    bool GetLocal() const { return m_bLocal; }
    const _stringx& GetKey() const { return m_strKey; }
    const _stringx& GetListFilePath() const { return m_strListFile; }

    // True exactly for the text "1".
    static bool GetBoolFromStr(const _stringx& text);
    // The same for a view (the list reads its entries' texts as views).
    static bool GetBoolFromStr(std::basic_string_view<OLECHAR> text);

    // The repository's data file.
    _stringx GetRepoDataFilePath() override;

    // "Key": the key, nothing read. "MMSearchPath": the data file's folder
    // joined with the Name of its first merge-module group (empty when there
    // is none). Any other name: that attribute of the entry in the list file.
    // 0, or -101 when the attribute (or the entry, or the file) is missing;
    // `value` is then left alone.
    long GetProperty(const _stringx& name, _stringx* value);
    // Builds a collection of this repository's items selected by `itemPath`
    // ("Dialogs/*", or "<KVREPOSITORY>\Dialogs\x.kvd"), handed out in *items
    // at once, also when reading fails; the caller deletes it. The result of
    // the collection's GetItems, or -100 when no collection could be made.
    long GetItems(const char* itemPath, CRepositoryItems** items);
    // A new item of this repository for publishing, not yet in the data file;
    // `displayPath` names its type (for example "<KVREPOSITORY>\Dialogs\*.kvd").
    // The caller deletes it. 0.
    long CreateRepositoryItem(const char* displayPath, CRepositoryItem** item);

    // Writes the attribute on the entry in the list file: 0, -102 or -103.
    // The repository's own fields do not change, also for "Key", "Path" and "Local".
    long PutProperty(const _stringx& name, const _stringx& value);

protected:
    // Selects this repository's entry in the list file; empty for an empty key.
    _stringx GetReposXPath() const;

private:
    _stringx m_strKey;
    _stringx m_strDataFile;
    _stringx m_strListFile;
    bool m_bLocal;
};

namespace kv {

// CRepository::GetItems of `repository` into `items`, which owns the
// collection also when the listing throws (the collection then goes, and the
// exception passes on): for callers that must not lose it. The status of
// GetItems.
KV_API long ListItems(CRepository& repository, const char* itemPath,
                      std::unique_ptr<CRepositoryItems>& items);

}  // namespace kv
