// The item groups of a repository's data file and the files their folders
// hold: the one reading of the group format that the listing, verifying,
// repairing, copying, syncing, publishing from the tool and repository
// creation share, so that they cannot disagree on which file is whose.
//
// A type element (the node a type path selects, "Dialogs") holds groups: each
// child `RepoItem` with a `Name` (its folder, beside the data file; empty: the
// data file's folder), a `Key` (every item's Key, from which writes through
// an item take their type) and a `Wildcard` (";"-separated patterns, Windows
// rules, letter case ignored by the library's rule). A group without a
// Wildcard, or whose folder leads out of the repository's folder as written,
// is never searched. Only the first element of a type is read by a listing;
// further ones (repeated by hand editing) are read here on request, so that
// upkeep can tell what they hold.
#pragma once

#include <cstddef>
#include <vector>

#include "Backend/inc/XMLIntercessor.h"
#include "foundation/stringx.h"

namespace kv {

// A repository's folder (its data file's) and what lies in it.
class KV_API RepositoryFolder {
public:
    // The folder of the data file `dataFile`.
    explicit RepositoryFolder(const _stringx& dataFile);

    const _stringx& Root() const { return m_root; }
    // Whether `path` is the folder itself or lies below it, as text: what the
    // listing searches (a Name or pattern that climbs out with ".." is not).
    bool HoldsAsWritten(const _stringx& path) const;
    // Whether `path` is the folder or lies below it, as written and with
    // links followed: what nothing may copy, delete or list outside of.
    bool Holds(const _stringx& path) const;
    // `name` in the folder `groupName` (relative to the root), as upkeep
    // names files: normalized, "/" separators whatever the system's, no
    // leading separator.
    static _stringx Relative(const _stringx& groupName, const _stringx& name);

private:
    _stringx m_root;
    mutable _stringx m_resolved;  // the root with links followed, made on first use
};

// One group of a type.
struct KV_API ItemGroup {
    _stringx name, key, wildcard;
    // The root joined with `name`.
    _stringx folder;
    // 0 for a group of the type's first element, the only one a listing
    // reads; 1 for the second element's, and so on.
    std::size_t section = 0;
    // Its place among all the type's groups in document order: the position
    // that XMLIntercessor's "...At" changes take with "<type>/RepoItem".
    std::size_t position = 0;
    // Whether its folder can be searched: a Wildcard, and a folder inside
    // the repository as written. A listing searches exactly the searchable
    // groups of section 0.
    bool searchable = false;
    // The type that writes through its items go to: the first item type
    // named in `key` (CRepositoryItem::GetRepoItemType); empty when it names
    // none. Writes through such an item's properties land outside this group.
    _stringx writeType;

    bool Listed() const { return searchable && section == 0; }
};

// A file (or a template sub-folder's file) that a group's patterns match.
struct KV_API FoundFile {
    // The entry's name, after the sub-folder path it was found in, if any.
    // The plain string: a listing holds one per file of a folder while it
    // makes the items, and needs neither the error-keeping base nor its size.
    _stringw name;
    // A name that cannot be reached through a path here: on POSIX a name
    // holding "\", which every path operation takes for a separator. Such a
    // file is never listed.
    bool unusable = false;
};

class KV_API ItemGroups {
public:
    // The groups of `typePath` in `document`, whose repository folder is
    // `folder`; with `allSections`, also those of the type's further
    // elements (for a plain type name such as "Dialogs"). Both must outlive
    // this object.
    ItemGroups(XMLIntercessor& document, const RepositoryFolder& folder, const _stringx& typePath,
               bool allSections = false);

    const std::vector<ItemGroup>& Groups() const { return m_groups; }
    const RepositoryFolder& Folder() const { return m_folder; }
    // How many elements the type has (0 when the path selects none); more
    // than 1 is a repeated section.
    std::size_t Sections() const { return m_sections; }
    // Whether the type is a template type (its path holds "Templates"):
    // sub-folders are searched, and a template may lie in a folder of its own.
    bool Templates() const { return m_templates; }

    // Appends the files of `group` (searchable) to `files`, sorted by name
    // (ordinal, UTF-16 code units), usable or not.
    void FindFiles(const ItemGroup& group, std::vector<FoundFile>& files) const;
    // The file that the display-path form names: `fileName` in the group's
    // folder, found whatever its letter case where the file system keeps
    // case apart, or for a template also in the folder of its own name
    // (<folder>\X\X.ext). Patterns are not applied. False when there is none.
    bool FindNamed(const ItemGroup& group, const _stringx& fileName, _stringx& found) const;

    // The group that a publication of a file named `fileName` of the type
    // `type` goes to so that a listing finds it again: the first listed
    // group whose Key and Name both name the type (a new item takes its
    // type from its display path, the folder) and whose patterns match the
    // name. Null when there is none, with `why` saying what is lacking.
    const ItemGroup* PublicationGroup(const _stringx& type, const _stringx& fileName,
                                      _stringx& why) const;

    // Whether a name matches one of the ";"-separated `patterns`.
    static bool Matches(const _stringx& patterns, const _stringx& name);

    // The folder search: appends to `list` the entries of `folder` that
    // match the ";"-separated `patterns` (empty patterns, "." and ".." are
    // skipped), prefixed with `prefix`; with `recurse`, also those of every
    // sub-folder, searched once after all patterns: a linked sub-folder too,
    // where it leads inside `repositoryFolder` (empty: `folder`), and no
    // folder twice on one way down. Sorts the list by name and returns its
    // size.
    static long FindItemFiles(const _stringx& folder, const _stringx& patterns, bool recurse,
                              std::vector<FoundFile>& list, const _stringx& prefix,
                              const _stringx& repositoryFolder = _stringx());

private:
    void ReadSection(const _stringx& path, std::size_t section);

    XMLIntercessor& m_document;
    const RepositoryFolder& m_folder;
    std::vector<ItemGroup> m_groups;
    std::size_t m_sections = 0;
    bool m_templates = false;
};

}  // namespace kv
