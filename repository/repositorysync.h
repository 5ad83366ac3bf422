// CRepositorySync: brings a destination repository up to date with a source,
// item by item. Plan lists what the destination lacks (and, on request, what
// it holds with other content); Apply copies each planned item through
// CRepositoryItemCopier, so each copy is a publication in the destination
// with its lock, checks and overwrite questions.
//
// Items are matched by type and FileName (the catalogue's lower-cased file
// name), as the catalogues of the two repositories list them. Content is
// compared byte by byte, never by date or size alone: an item's file and, for
// a template, its folder (the template's own folder, or its companion folder
// beside the file), file by file and name by name.
#pragma once

#include <memory>
#include <vector>

#include "repository/repositoryitemcopier.h"
#include "repository/repositoryitems.h"

class KV_API CRepositorySync {
public:
    // Why an item is in the plan.
    enum class Reason {
        kMissing,  // "missing": the destination does not list it
        kDiffers,  // "differs": listed in both, with other content
    };

    struct Entry {
        Reason reason;
        // The item type and FileName.
        _stringx type;
        _stringx fileName;
        // The item in the source (its display path and file) and, for
        // kDiffers, the destination's file that it replaces.
        _stringx displayPath;
        _stringx sourceFile;
        _stringx destinationFile;
        // The source's item, owned by the sync object until the next Plan.
        CRepositoryItem* item = nullptr;
        // Why the copier will refuse it (CRepositoryItemCopier::Refusal), as
        // known when planned: Apply then copies nothing for it. Empty when
        // it is to be copied.
        _stringx problem;
        // After Apply: the copier's status (0 when copied) and what it did.
        long status = 0;
        CRepositoryItemCopier::Copied copied;
    };

    // Syncs `destination` with `source`; both must outlive the sync object.
    // Nothing is read yet.
    CRepositorySync(CRepository* source, CRepository* destination);
    CRepositorySync(const CRepositorySync&) = delete;
    CRepositorySync& operator=(const CRepositorySync&) = delete;
    ~CRepositorySync();

    // Replaces `plan` with the source's items that the destination lacks,
    // and with `update` also those whose content differs, for one item type
    // (`type`, "Dialogs") or every type (empty), by type in the order of
    // CRepositoryItem::kItemTypes and by file name within one. Reads only.
    // 0; E_INVALIDARG for a null repository, a type that is not one of the
    // six, or two repositories that share a data file; -3 / -103 of either
    // repository's data file. On failure `plan` is left empty.
    long Plan(const _stringx& type, bool update, std::vector<Entry>& plan);

    // Copies every entry of `plan` (made by this object's last Plan) through
    // the copier, over the destination's file that the entry records (so an
    // item that differs replaces the file the destination lists, wherever
    // it lies), going on past failures, and records each result in its
    // entry. An entry planned with a problem is not copied: E_INVALIDARG,
    // the problem in its `copied.problem`. 0 when all were copied, otherwise
    // the first failure's status (a declined overwrite, -109 or -110, among
    // them).
    long Apply(std::vector<Entry>& plan);

    // "missing" or "differs"; "unknown" for another value.
    static const char* GetReasonName(Reason reason);

private:
    CRepository* m_pSource;
    CRepository* m_pDestination;
    // The source's listings that the entries' items belong to.
    std::vector<std::unique_ptr<CRepositoryItems>> m_listings;
};
