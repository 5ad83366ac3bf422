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
// The item goes to the folder of the destination's first group of its type
// (where its catalogue will find it again), or to the folder named after the
// type when there is none.
//
// Unlike publishing, a declined overwrite changes nothing at all: the
// overwrite questions that Commit would ask are asked before anything is
// written (each once; Commit takes the answers given), and a "no" returns at
// once, the destination's files and data file untouched. Other failures of
// the copy itself (after the data file is written) are publishing's.
#pragma once

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
    //    ("Dialogs/*") rather than one item, or a copy onto itself (both
    //    repositories share a data file, or the target is the source's file
    //    or template folder);
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
    // Copies `item`, an item of the source as its catalogue lists it. The
    // same status codes.
    long Copy(CRepositoryItem& item, Copied* copied = nullptr);

private:
    CRepository* m_pSource;
    CRepository* m_pDestination;
};
