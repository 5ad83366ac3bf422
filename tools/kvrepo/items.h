// Finding items: item paths as the command line takes them, and the items of
// one repository that a path selects.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kvrepo.h"

namespace kvtool {

// An item path for the library. "Type/*" selects every item of a type and is
// kept; "Type/file" is taken as the display path "<KVREPOSITORY>\Type\file",
// so that display paths need no backslashes on the command line.
std::string LibraryItemPath(const std::string& itemPath);

// The items of one repository that an item path selects. (A display path's
// lower-cased file name finds its file whatever the file's case: the library
// matches named files as shared Windows folders do.)
struct ItemSelection {
    long status = 0;
    std::unique_ptr<CRepositoryItems> owner;
    std::vector<CRepositoryItem*> items;
};
ItemSelection SelectItems(CRepository& repository, const std::string& itemPath);

// The one item `itemPath` names in `repository`; throws Failure when there is
// none (or when the data file cannot be read).
ItemSelection SelectOneItem(CRepository& repository, const std::string& itemPath);

// A path in the ANSI code page as a file-system path, and back. Both go
// through the library's UTF-16 text, never through the standard library's own
// narrow conversion, which on Windows is not the ANSI code page.
std::filesystem::path FilePath(const std::string& path);
std::string PathText(const std::filesystem::path& path);

// A path from a data file as a file-system path: data files written on
// Windows separate with backslashes.
std::filesystem::path LocalPath(std::string path);

// The six item types, as the command line names them.
std::vector<std::string> ItemTypes();

// A property of an item as text; empty when it is missing.
std::string Property(CRepositoryItem& item, const OLECHAR* name);

}  // namespace kvtool
