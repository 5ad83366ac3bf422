// CRepositoryItem: one item of one repository: a merge module, template,
// dialog, script, SQL script or system search. An item is either found in the
// data file by the catalogue (it exists), or made by
// CRepository::CreateRepositoryItem for publishing (it is new until its first
// successful Commit).
//
// Properties with a meaning of their own: "DisplayPath" (computed for existing
// items, "<KVREPOSITORY>\<Key>\<FileName>"; given at construction for new
// ones), "ParentRepo" (the repository's DisplayName), "FileName" (always stored
// in lower case), "Key" and "LocalCopy" (set by the catalogue).
//
// Publishing: AddFile names the content, PutProperty sets properties, Commit
// writes the properties into the data file and then copies the content into
// the repository's folder (after a successful Commit the item is an existing
// one, keyed by the folder of its display path, and further changes go to the
// same element), asking the caller's IRepoStatus before anything
// existing is overwritten. Nothing is copied, deleted or overwritten outside
// the repository's folder (the folder of its data file), whatever a display
// path, a data file or a property says: such an operation returns
// E_ACCESSDENIED and changes nothing. Only the write that would reach outside
// is refused: what an operation meets before it (the data file's failures, an
// overwrite question, a copy or deletion that fails without writing) comes out
// as usual.
#pragma once

#include "foundation/pathx.h"
#include "repository/repobase.h"
#include "foundation/platform/comptr.h"

#include <memory>

namespace Scripting {
struct IFileSystem;
}

class KV_API CRepositoryItem : public CRepoBase {
public:
    // For a new item (`exists` false) the display path is kept as the
    // in-memory property "DisplayPath"; for an existing one it is not used.
    CRepositoryItem(CRepository* repository, bool exists, const _stringx& displayPath,
                    IRepoStatus* status);
    CRepositoryItem(const CRepositoryItem& other);
    CRepositoryItem& operator=(const CRepositoryItem& other);
    ~CRepositoryItem() override;

    // A new item of the same repository with both caches copied (the data file
    // is not read); the added file is not carried over. The caller owns it.
    CRepositoryItem* Copy();

    // "DisplayPath" and "ParentRepo" are computed (always 0); any other name is
    // looked up in the caches, then in the data file: 0, or -101 (`value` left alone).
    long GetProperty(const _stringx& name, _stringx* value);
    // Caches the value for the next Commit; "FileName" is lower-cased first
    // (A-Z and the Latin-1 capitals). Always 0.
    long PutProperty(const _stringx& name, const _stringx& value);

    // The item's element: "<type>/RepoItem/ItemAttrib[@FileName="<file name>"]".
    _stringx GetItemXPath() override;

    bool GetExists() const { return m_bExists; }

    // Names the file (or, for a template, the file with its folder) that
    // Commit copies into the repository, and caches its "FileName". 0.
    long AddFile(const _stringx& path);
    // Writes the cached properties into the data file, then copies the added
    // file. 0; the data file's -102/-103; -109/-110 when the caller declined an
    // overwrite; -107/-108 for a template folder that could not be replaced; a
    // positive system error of the copy; E_ACCESSDENIED when the copy would
    // write outside the repository (then nothing is written; the failures
    // met before that write still come first). Throws CComException* when the
    // file-system object is needed and cannot be created.
    long Commit();
    // With `deleteFile`, deletes the item's file in the repository: the copy
    // target of the added file, or for an item without one the file its
    // "LocalCopy" names. 0, the system's error code (2 for a missing file), or
    // E_ACCESSDENIED for a file outside the repository that would be deleted.
    // Nothing else changes.
    long Delete(bool deleteFile);
    // Where the item's file can be used in place: its "LocalCopy". 0 or -101.
    long CreateLocalCopy(_stringx* path);

    // The six item types, in the order a path is searched for them.
    static const OLECHAR* const kItemTypes[6];
    // What stands for the repository's folder at the start of a display path.
    static const OLECHAR kRepositoryMarker[15];
    // The first item type named anywhere in `path` (case-sensitive), or empty.
    static _stringx GetRepoItemType(const _stringx& path);
    // The type from "Key" (existing item) or "DisplayPath" (new item).
    _stringx GetRepoItemType();
    // The content's file name in the repository: the name set with
    // SetTargetFileName, else the added file's (".tmp" becomes the type's
    // extension for system searches, dialogs and SQL scripts).
    _stringx GetTargetFileName();

protected:
    // What GetProperty gives for `name`, or empty.
    _stringx GetRequiredProp(const _stringx& name);
    _stringx GetDisplayPath();
    // "<type of path>/RepoItem".
    _stringx GetNewRepoItemPath(const _stringx& path);

    // Makes `name` the name the added file takes in the repository (a
    // template's folder too takes it, without its extension), until the
    // next successful Commit: for replacing a file whose name differs from
    // the added one's in letter case only. Empty: the added file's own.
    void SetTargetFileName(const _stringx& name);
    // The folder of the display path, relative to the repository's folder
    // ("Dialogs", "Dialogs\Sub"): where the item's file lies.
    _stringx GetDisplayFolder();
    // The added file, and where Commit copies it.
    void GetCopyFileNames(_stringx& source, _stringx& target);
    long CommitFiles();
    int CopyFileA(const _stringx& source, const _stringx& target);
    int CopyTemplate(const _stringx& source, const _stringx& target);
    long CopyFolder(const kv::pathx& source, const kv::pathx& target);
    long DeleteFolder(const kv::pathx& folder);
    CComPtr<Scripting::IFileSystem> GetFSO();

    // What only an item being published holds: the added file, the name it
    // takes and the file-system object. Made on first need, so that each of
    // the thousands of items a listing makes carries one pointer for it.
    struct Publishing {
        _stringx addedFile;
        _stringx targetName;
        CComPtr<Scripting::IFileSystem> fso;
    };
    Publishing& GetPublishing();
    // The added file, or empty.
    const _stringx& GetAddedFile() const;

    std::unique_ptr<Publishing> m_pPublishing;
    bool m_bExists;

private:
    // The catalogue hands a found item its stored properties in one move.
    friend class CRepositoryItems;

    // Whether `path` lies strictly inside the repository's folder, also once
    // links are followed.
    bool InsideRepository(const _stringx& path);
    // Whether a copy of `source` to `target` writes only inside the
    // repository: the target and, for a template, the folder it fills.
    bool CopyStaysInside(const _stringx& source, const _stringx& target);
    // CopyFileA, for an operation whose writes all stay inside the repository
    // (`contained`) or not: then its first write is refused, E_ACCESSDENIED,
    // after what comes before it (the overwrite question, a copy that would
    // fail without writing).
    int CopyFileWithin(const _stringx& source, const _stringx& target, bool contained);
};
