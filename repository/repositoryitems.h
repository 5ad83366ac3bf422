// CRepositoryItems: the items of one type read from a repository's data file
// and folders, in the order found, walked with the cursor. The collection owns
// the items it finds; a copy is a view that borrows the source's items and
// owns only those it finds itself (see CVectorCol).
//
// Item paths: "<type path>/*" lists every item of the type (for example
// "Dialogs/*"); "<KVREPOSITORY>\<type path>\<file name>" finds one file. In the
// data file, each child `RepoItem` of the type element is a group (read as
// kv::ItemGroups reads them: its files lie in the folder `Name` beside the
// data file, match the `;`-separated patterns of `Wildcard` and take `Key` as
// their key); an `ItemAttrib` whose `FileName` is the lower-cased file name
// holds a file's stored properties. Only the type's first element is read. A
// file whose name no path can reach (on POSIX, one holding "\") is not
// listed.
//
// Nothing outside the data file's folder is listed, whatever the data file or
// item path says: a group whose `Name`, a pattern, or a file name that leads
// out of that folder (through "..") gives no items. A stored `LocalCopy` is
// kept as stored; the item refuses to copy or delete through it (see
// CRepositoryItem).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/collections.h"
#include "repository/repositoryitem.h"

#if KV_COLLECTION_EXTERN_INSTANCES
extern template class KV_COLLECTION_INSTANCE_API CVectorCol<CRepositoryItem*>;
extern template class KV_COLLECTION_INSTANCE_API
    CRepoCollection<CRepositoryItem*, CVectorCol<CRepositoryItem*>>;
#endif

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
    // The ItemAttrib elements under one group path, read with one query and
    // keyed by their FileName text, so that listing a folder does not cost one
    // query per file. Find gives what GetItemAttribXPath(groupPath, fileName)
    // selects: the first such element in document order under any group.
    class KV_API ItemAttribIndex {
    public:
        static constexpr std::size_t npos = static_cast<std::size_t>(-1);

        ItemAttribIndex(XMLIntercessor& document, const _stringx& groupPath);
        ItemAttribIndex(const ItemAttribIndex&) = delete;
        ItemAttribIndex& operator=(const ItemAttribIndex&) = delete;
        ~ItemAttribIndex();

        // Whether Find answers exactly as the query for `groupPath` would: true
        // for plain location paths (no union, predicate, call or quote), where
        // appending the FileName predicate only filters the last step.
        static bool CanIndex(const _stringx& groupPath);

        const _stringx& GetGroupPath() const { return m_groupPath; }
        // The element for the (not yet lower-cased) file name, as a node of
        // Texts(); npos when there is none. The elements are read on the first
        // call.
        std::size_t Find(kv::text_view fileName);
        // False when the elements could not be read as UTF-8 (a text of them
        // held a lone surrogate): then Find finds nothing, and each file needs
        // its own query. Known after the first Find.
        bool Usable() const { return m_usable; }
        // The attributes of every element, as UTF-8: the index keeps thousands
        // of them while a listing runs, in half the memory of UTF-16.
        const XmlAttribTextsUtf8& Texts() const { return m_texts; }

    private:
        typedef XmlAttribTextsUtf8::View View;

        XMLIntercessor& m_document;
        _stringx m_groupPath;
        bool m_built = false;
        bool m_usable = true;
        XmlAttribTextsUtf8 m_texts;
        // A hash table of the file names, open and at most two thirds full: one
        // flat array of 16-byte slots pointing into m_texts (not changed once
        // read), no allocation per element. `node` is the node plus one, 0
        // for an empty slot.
        struct Slot {
            const char* text;
            std::uint32_t length, node;
        };
        std::vector<Slot> m_slots;
        void Build();
        // The slot holding `name`, or the empty slot where it would go.
        Slot& SlotFor(View name);
        // Find's work space: the lowered name, in UTF-16 and UTF-8.
        std::basic_string<OLECHAR> m_lowered;
        std::string m_lowered8;
    };

    // Fills the collection from the data file: every file of every group of
    // the type (empty `fileName`), or only that file. 0 or -103.
    long LoadItems(const _stringx& typePath, const _stringx& fileName);
    // What one LoadItems hands to each LoadItemInfo: the index of its
    // groups' ItemAttrib elements (null where the group path cannot be
    // indexed) and work space reused from item to item.
    struct LoadContext {
        ItemAttribIndex* index = nullptr;
        kv::PropertyList values;
        std::basic_string<OLECHAR> lowered;
        std::basic_string<OLECHAR> path;
    };
    // Creates the item for one found file and appends it: its stored
    // properties, or FileName and DisplayName derived from the file name.
    void LoadItemInfo(XMLIntercessor& document, const _stringx& key, kv::text_view filePath,
                      const _stringx& groupPath, LoadContext& context);
    // The ItemAttrib element of `fileName` under any group of `groupPath`.
    _stringx GetItemAttribXPath(const _stringx& groupPath, const _stringx& fileName);

private:
    // The list gathers the items of its repositories into one collection.
    friend class CRepositories;
    // Appends the items of `source` with their ownership (they are not
    // copied); `source` is left empty.
    void TakeItems(CRepositoryItems& source);

    // Adds the stored attributes of `fileName` to the context's values: from
    // its index, or with the per-file query when there is none. False when
    // there are none.
    bool AddStoredAttribs(XMLIntercessor& document, const _stringx& groupPath,
                          kv::text_view fileName, LoadContext& context);

    CRepository* m_pRepository;
};
