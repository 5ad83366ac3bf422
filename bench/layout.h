// Lays out the repositories the benchmarks run on: a repository of N items in
// a temporary folder (one data file with the six item types, their RepoItem
// groups and ItemAttrib elements, the small item files themselves), repository
// lists that name it, and spare copies of its data file that the commit
// benchmarks may grow.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kvbench {

// How the items of one type are named and stored.
struct ItemType {
    const char* type;  // the type element, "MergeModules"
    const char* stem;  // file names are <stem><number>.<extension>
    const char* extension;
    const char* wildcard;  // the groups' Wildcard
    int percent;           // share of all items
};

// The six types. Merge modules are half of every repository, so that listing
// them works on many items; the other types share the rest.
const std::vector<ItemType>& ItemTypes();

// Groups (RepoItem elements, each with its own folder) per type.
constexpr int kGroupsPerType = 2;
// Repositories in the list that GetRepositoryItems walks.
constexpr int kListedRepositories = 4;

struct Layout {
    int items = 0;                                          // N, over all types
    int mergeModules = 0;                                   // what "MergeModules/*" lists
    std::filesystem::path root;                             // the temporary folder
    std::filesystem::path dataFile;                         // root/repo/Repository.xml
    std::vector<std::filesystem::path> mergeModuleFolders;  // one per group
    // kListedRepositories entries, each naming dataFile through the
    // "##TestingRepositoriesDir##" placeholder.
    std::filesystem::path shortList;
    // N entries, each naming dataFile.
    std::filesystem::path longList;
    // Copies of dataFile (with their type folders, without item files) that
    // the library's and the floor's commits grow, so the others stay as laid out.
    std::filesystem::path commitDataFile;
    std::filesystem::path floorCommitDataFile;
    // A small item file outside the repositories, the content of new items.
    std::filesystem::path sourceItem;
    // A merge module whose ItemAttrib is stored, from the middle of the file.
    std::string storedFileName;
};

// The attributes every stored ItemAttrib has besides FileName.
constexpr const char* kStoredAttribute = "Description";

// Lays out a repository of `items` items under `root` (created; must not exist).
Layout MakeLayout(const std::filesystem::path& root, int items);

// The layout for `items` items, made on first use under one temporary folder
// per process that RemoveLayouts deletes.
const Layout& LayoutFor(int items);
void RemoveLayouts();

}  // namespace kvbench
