// CRepositoryItems: the items of one type read from a repository's data file
// and folders, in the order found, walked with the cursor. The collection owns
// its items; a copy is a non-owning view.
//
// Item paths: "<type path>/*" lists every item of the type (for example
// "Dialogs/*"); "<KVREPOSITORY>\<type path>\<file name>" finds one file. In the
// data file, each child `RepoItem` of the type element is a group: its files
// lie in the folder `Name` (beside the data file), match the `;`-separated
// patterns of `Wildcard` (Windows wildcard rules), and take `Key` as their
// key; an `ItemAttrib` whose `FileName` is the lower-cased file name holds a
// file's stored properties.
//
// Nothing outside the data file's folder is listed, whatever the data file or
// item path says: a group whose `Name`, a pattern, or a file name that leads
// out of that folder (through "..") gives no items. A stored `LocalCopy` is
// kept as stored; the item refuses to copy or delete through it (see
// CRepositoryItem).
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/collections.h"
#include "repository/repositoryitem.h"

class KV_API CRepositoryItems
    : public CRepoCollection<CRepositoryItem*, CVectorCol<CRepositoryItem*>>,
      public CRepoData {
public:
    typedef CRepoCollection<CRepositoryItem*, CVectorCol<CRepositoryItem*>> Collection;

    // A container without a repository (GetItems then answers -3).
    explicit CRepositoryItems(IRepoStatus* status);
    // A collection of `repository`'s items.
    CRepositoryItems(CRepository* repository, IRepoStatus* status);
    CRepositoryItems(const CRepositoryItems& other);
    CRepositoryItems& operator=(const CRepositoryItems& other);
    ~CRepositoryItems() override;

    // The repository's data file; empty without a repository.
    _stringx GetRepoDataFilePath() override;

    // Appends the items that `itemPath` selects (null reads as empty). 0 (also
    // when nothing is found); -3 without a data-file path; -103 when the data
    // file cannot be read (message 2 reported).
    long GetItems(const char* itemPath);

protected:
    // One entry of a folder search: its name (after the sub-folder path it was
    // found in, if any) and its size in KB. The size only breaks ties between
    // equal names in the sort, and equal names are always the same file (found
    // by two patterns), so it is not read: it stays 0, which saves a status
    // call per file.
    struct FoundFile {
        _stringx name;
        std::int32_t sizeKB;
    };

    // The ItemAttrib elements under one group path, read with one query and
    // keyed by their FileName text, so that listing a folder does not cost one
    // query per file. Find gives what GetItemAttribXPath(groupPath, fileName)
    // selects: the first such element in document order under any group. An
    // element's attributes are handed out, to be taken rather than copied, the
    // first time it is found, and read again from the document when it is
    // found once more.
    class KV_API ItemAttribIndex {
    public:
        ItemAttribIndex(XMLIntercessor& document, const _stringx& groupPath);
        ItemAttribIndex(const ItemAttribIndex&) = delete;
        ItemAttribIndex& operator=(const ItemAttribIndex&) = delete;
        ~ItemAttribIndex();

        // Whether Find answers exactly as the query for `groupPath` would: true
        // for plain location paths (no union, predicate, call or quote), where
        // appending the FileName predicate only filters the last step.
        static bool CanIndex(const _stringx& groupPath);

        const _stringx& GetGroupPath() const { return m_groupPath; }
        // The attributes of the element for the (not yet lower-cased) file
        // name, in a map that is the caller's to empty and stays valid until
        // the next Find; null when there is no element. The elements are read
        // on the first call.
        XmlAttribMap* Find(const _stringx& fileName);

    private:
        struct Hash {
            std::size_t operator()(const _stringx& text) const {
                return std::hash<std::basic_string_view<OLECHAR>>()(
                    std::basic_string_view<OLECHAR>(text.data(), text.size()));
            }
        };

        XMLIntercessor& m_document;
        _stringx m_groupPath;
        bool m_built = false;
        std::vector<XMLIntercessor::NodeAttribs> m_elements;
        std::vector<bool> m_handedOut;
        std::unordered_map<_stringx, std::size_t, Hash> m_byFileName;
        XmlAttribMap m_found;
    };

    // Fills the collection from the data file: every file of every group of
    // the type (empty `fileName`), or only that file. 0 or -103.
    long LoadItems(const _stringx& typePath, const _stringx& fileName);
    // Creates the item for one found file and appends it: its stored
    // properties, or FileName and DisplayName derived from the file name.
    void LoadItemInfo(XMLIntercessor& document, const _stringx& key, const _stringx& filePath,
                      const _stringx& groupPath);
    // The ItemAttrib element of `fileName` under any group of `groupPath`.
    _stringx GetItemAttribXPath(const _stringx& groupPath, const _stringx& fileName);
    // `fileName` lower-cased as the FileName property stores it.
    static _stringx LowerFileName(const _stringx& fileName);

    // Appends to `list` the entries of `folder` that match the ";"-separated
    // `patterns` (empty patterns, "." and ".." are skipped), prefixed with
    // `prefix`; with `recurse`, also those of every sub-folder, searched once
    // after all patterns. Sorts the list by name (ordinal, UTF-16 code units),
    // then size, and returns its size.
    static long FindItemFiles(const _stringx& folder, const _stringx& patterns, bool recurse,
                              std::vector<FoundFile>& list, const _stringx& prefix);

private:
    // The list gathers the items of its repositories into one collection.
    friend class CRepositories;
    // Appends the items of `source`, which this collection takes over from it
    // (they are not copied); `source` is left empty. Both must own their items.
    void TakeItems(CRepositoryItems& source);

    static void SearchFolder(const _stringx& folder, const std::vector<_stringx>& patterns,
                             bool recurse, std::vector<FoundFile>& list, const _stringx& prefix);
    // The stored attributes of `fileName` (null or empty when there are none),
    // for the caller to take: from the index LoadItems keeps for `groupPath`,
    // or read into `queried` with the per-file query when there is none.
    XmlAttribMap* GetStoredAttribs(XMLIntercessor& document, const _stringx& groupPath,
                                   const _stringx& fileName, XmlAttribMap& queried);

    CRepository* m_pRepository;
    // The index of the running LoadItems, null between calls.
    ItemAttribIndex* m_pIndex = nullptr;
};
