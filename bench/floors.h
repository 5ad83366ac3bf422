// The floors: for each benchmarked operation, the least work that operation
// cannot avoid, done directly with pugixml and the file system, without the
// library. Each returns what it found, so the work cannot be optimised away
// and the caller can check it.
#pragma once

#include <cstddef>
#include <string>

#include "layout.h"

namespace kvbench {

// Listing one type: parse the data file; for each group, read its folder's
// names with one directory read, keep those its patterns match, sort them and
// join each to its stored properties (its display name: the stored one, or
// the file's name). Returns the number of items.
std::size_t ListFloor(const std::filesystem::path& dataFile, const char* type);

// Committing one new item: parse the data file, add the item's element, save
// the file and copy the item file into the repository. With `durable`, both
// files are written as a crash-safe save must write them: the data file to a
// temporary file that is flushed, renamed over the original and whose folder
// is flushed; the item file to a temporary file that is flushed and renamed.
// Without, the same writes and renames without any flush. True on success.
bool CommitFloor(const std::filesystem::path& dataFile, const std::filesystem::path& sourceItem,
                 const std::string& fileName, bool durable);

// Reading a stored property: parse the data file. Returns the number of
// top-level elements, or 0 when it does not parse.
std::size_t ParseFloor(const std::filesystem::path& dataFile);

// Loading a repository list: parse the list file and test whether each
// entry's data file exists. Returns the number of existing ones.
std::size_t RepositoriesFloor(const std::filesystem::path& listFile);

}  // namespace kvbench
