// The item catalogue's own folder search, for the upkeep operations, so that
// they find exactly the files that a listing finds. Inside the library only.
#pragma once

#include "repository/repositoryitems.h"

class CatalogueSearch : public CRepositoryItems {
public:
    using CRepositoryItems::FindItemFiles;
    using CRepositoryItems::FoundFile;
};
