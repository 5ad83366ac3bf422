// What the upkeep operations (verifying, repairing) share: the catalogue's
// own folder search, so that they find exactly the files that a listing
// finds, and how they place paths against the repository's folder. Inside
// the library only.
#pragma once

#include "foundation/stringx.h"
#include "repository/repositoryitems.h"

class CatalogueSearch : public CRepositoryItems {
public:
    using CRepositoryItems::FindItemFiles;
    using CRepositoryItems::FoundFile;
};

// `name` in the group folder `folder` (both below the repository's folder), as
// findings and changes name files: normalized, with "/" separators whatever
// the system's, no leading separator.
_stringx UpkeepRelativeText(const _stringx& folder, const _stringx& name);

// Whether `path` is the repository's folder `root` or lies below it, as
// written or with links followed (`resolvedRoot`: the root with its links
// followed).
bool UpkeepWithin(const _stringx& root, const _stringx& resolvedRoot, const _stringx& path);
