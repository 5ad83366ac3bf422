// What verifying and repairing judge alike, so that repair changes exactly
// what verify calls wrong: the groups of one type, the files they find, the
// type's entries, the one test of whether an entry's file is missing, and the
// temporary files of saves in the folders they search. Inside the library only.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <vector>

#include "foundation/temporaryfiles.h"
#include "repository/itemgroups.h"
#include "repository/repositoryverifier.h"

namespace kv {

// The files of one type that share a lower-cased name.
struct SurveyFiles {
    std::set<_stringx> names;  // as found
    _stringx firstPath;        // the first's path relative to the repository
    std::size_t group = 0;     // the position of the first's group
    // Whether a group that a listing searches finds one (one of the type's
    // first element).
    bool listed = false;
    // Whether every one found leads outside the repository (a link, or a
    // group folder that is one).
    bool outside = true;
};

// What an entry's FileName names.
enum class EntryFile {
    kFound,      // a file that a group of the type finds
    kUnmatched,  // a file in a group's folder that no pattern matches
    kMissing,    // nothing in any group's folder
    kPath,       // a path ("sub/x.kvd"), which no listing ever matches
    kOutside,    // a rooted path, or one that leads out of a group's folder
};

// A file of the temporary files' pattern in a folder that upkeep searches.
struct SurveyTemporary {
    _stringx type;      // empty beside the data file
    _stringx relative;  // relative to the repository, "/" separators
    TemporaryFileState state;
};

// One type's groups, files and entries in an open data file.
class TypeSurvey {
public:
    // Reads everything at once; `document` and `folder` must outlive it.
    TypeSurvey(XMLIntercessor& document, const RepositoryFolder& folder, const _stringx& type);

    const _stringx& Type() const { return m_type; }
    const ItemGroups& Groups() const { return m_groups; }
    // Found files by lower-cased name (temporary files of saves and names no
    // path reaches are not among them).
    const std::map<_stringx, SurveyFiles>& Files() const { return m_files; }
    // Relative paths of found files that lead outside the repository (in a
    // group folder that does not itself).
    const std::vector<_stringx>& OutsideFiles() const { return m_outside; }
    // Relative texts of found names that no path reaches on this system.
    const std::vector<_stringx>& Unusable() const { return m_unusable; }
    // The type's ItemAttrib elements, in document order (the positions of
    // "<type>/RepoItem/ItemAttrib").
    const std::vector<XmlAttribMap>& Entries() const { return m_entries; }
    // The group folders that exist inside the repository, as searched, with
    // the Name each is reached by, and the sub-folders in which patterns
    // found temporary files: where SurveyTemporaries looks.
    const std::vector<std::pair<_stringx, _stringx>>& Folders() const { return m_folders; }

    // What `fileName`, an entry's FileName, names.
    EntryFile Classify(const _stringx& fileName) const;

private:
    void SearchGroup(const ItemGroup& group);

    const RepositoryFolder& m_folder;
    const _stringx m_type;
    ItemGroups m_groups;
    std::map<_stringx, SurveyFiles> m_files;
    std::vector<_stringx> m_outside;
    std::vector<_stringx> m_unusable;
    std::vector<XmlAttribMap> m_entries;
    std::vector<std::pair<_stringx, _stringx>> m_folders;
};

// The temporary files of saves beside the data file and in the surveys'
// folders, each folder once, with their states (SurveyTemporaryFiles; with
// `remove`, leftovers are deleted).
std::vector<SurveyTemporary> SurveyTemporaries(const RepositoryFolder& folder,
                                               const std::vector<TypeSurvey>& types, bool remove);

// The surveys of the six item types, in the order of CRepositoryItem::kItemTypes.
std::vector<TypeSurvey> SurveyTypes(XMLIntercessor& document, const RepositoryFolder& folder);

// What CRepositoryVerifier::Verify finds, from the surveys of one open data file.
std::vector<CRepositoryVerifier::Finding> VerifySurveys(const RepositoryFolder& folder,
                                                        const std::vector<TypeSurvey>& surveys);

}  // namespace kv
