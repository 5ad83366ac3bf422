// CRepositoryItemCopier: copies items of one repository into another, local or
// network, in either direction. A copy is a publication in the destination:
// a new item from its CreateRepositoryItem, AddFile of the source's file (a
// template brings its folder, as publishing a template does), the stored
// properties set, Commit. So the destination's data-file lock, its
// containment checks, its overwrite questions (asked through the
// destination's status sink) and the status codes of publishing all apply.
//
// What comes along: every attribute of the source item's element in its data
// file, except "LocalCopy" (the source's own file) and "Key" (the group the
// destination's catalogue files the item under). An item that the source
// lists without an element brings the DisplayName the catalogue gave it.
//
// Where it goes: where the destination already lists an item of its type
// and FileName, that file is replaced (whatever its letter case and its
// group's folder); otherwise it goes to the folder of the destination's first
// group (kv::ItemGroups::PublicationGroup) whose Key and folder name its type
// and whose Wildcard matches its name, where the destination's listing finds
// it. A copy is made only where the destination's listing will then find the
// item with the properties copied; where it would not (no group of the type,
// none whose patterns match, a folder that a publication cannot reach), and
// for a source item whose group's Key does not name the type it is listed
// under, the copy is refused before anything is written, with the reason in
// Copied::problem.
//
// Unlike publishing, a declined overwrite changes nothing at all: the
// overwrite questions that Commit would ask are asked before anything is
// written (each once; Commit takes the answers given), and a "no" returns at
// once, the destination's files and data file untouched. Other failures of
// the copy itself (after the data file is written) are publishing's.
#pragma once

#include "repository/itemgroups.h"
#include "repository/repository.h"
#include "repository/repositoryitem.h"

class KV_API CRepositoryItemCopier {
public:
    // What one successful copy did.
    struct Copied {
        // The item type ("Dialogs") and its FileName (lower case).
        _stringx type;
        _stringx fileName;
        // The source's file that was copied.
        _stringx sourceFile;
        // The item's display path in the destination ("<KVREPOSITORY>\Dialogs\x.kvd").
        _stringx displayPath;
        // Where its file now lies in the destination.
        _stringx targetFile;
        // Whether a file (or a template folder) was there and was replaced.
        bool replaced = false;
        // When the copier itself refused (E_INVALIDARG, or E_ACCESSDENIED
        // for a source file leading out of its repository; nothing written),
        // or found the item not listed as copied afterwards (E_UNEXPECTED):
        // one English sentence saying why. Empty otherwise.
        _stringx problem;
    };

    // Copies from `source` to `destination`; both must outlive the copier.
    // Nothing is read yet.
    CRepositoryItemCopier(CRepository* source, CRepository* destination);

    // Copies the one item that `itemPath`, a display path
    // ("<KVREPOSITORY>\Dialogs\x.kvd"), names in the source; the first, when
    // several groups list it. On success `copied` (when not null) says what
    // was done. Status codes:
    //  - 0;
    //  - ERROR_FILE_NOT_FOUND (2): the source lists no such item, or its file
    //    is gone (nothing written);
    //  - E_INVALIDARG: a null repository, a path that selects a whole type
    //    ("Dialogs/*") rather than one item, a copy onto itself (both
    //    repositories share a data file, or the target is the source's file
    //    or template folder), or one the copier refuses (see above; the
    //    reason in `copied->problem`);
    //  - E_UNEXPECTED: published, but the destination does not then list it
    //    with the properties copied (`copied->problem` says how);
    //  - E_ACCESSDENIED: the source's file lies outside the source
    //    repository's folder (a stored LocalCopy leading elsewhere), or the
    //    copy would write outside the destination's;
    //  - -3 / -103: a repository without a data-file path / a data file that
    //    does not open (message 2 reported to that repository's sink);
    //  - -109 / -110: an overwrite was declined (nothing changed);
    //  - whatever else Commit returns: -102, -107, -108, a system error of
    //    the file copy, an HRESULT of the folder copy.
    // Throws CComException* as Commit does, when a template needs the
    // file-system object and it cannot be created.
    long Copy(const char* itemPath, Copied* copied = nullptr);
    // Copies `item`, an item of the source as its catalogue lists it, of the
    // type its Key names. The same status codes.
    long Copy(CRepositoryItem& item, Copied* copied = nullptr);
    // Copies `item`, listed by the source under `type`, over `replaced`: the
    // file the destination's listing gives for its type and FileName (its
    // LocalCopy), or empty when the destination does not list it. For
    // callers that listed the destination already (CRepositorySync). The
    // same status codes.
    long CopyOver(CRepositoryItem& item, const _stringx& type, const _stringx& replaced,
                  Copied* copied = nullptr);

    // Why a copy of an item of `type` named `fileName` (lower case), from a
    // source group with `key`, into the destination whose groups of the type
    // are `destination` would be refused, over `replaced` (as CopyOver); empty
    // when it would not, and `displayFolder` (when not null) is then the
    // folder of the display path it is published by.
    static _stringx Refusal(const kv::ItemGroups& destination, const _stringx& type,
                            const _stringx& key, const _stringx& fileName, const _stringx& replaced,
                            _stringx* displayFolder = nullptr);

private:
    // Copy over what the destination lists for the item's type and FileName.
    long CopyListed(CRepositoryItem& item, const _stringx& type, Copied* copied);

    CRepository* m_pSource;
    CRepository* m_pDestination;
};
