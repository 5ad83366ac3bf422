#include "repository/upkeep.h"

#include <algorithm>

#include "foundation/folderpath.h"
#include "foundation/pathx.h"
#include "foundation/platform/text.h"

namespace kv {

TypeSurvey::TypeSurvey(XMLIntercessor& document, const RepositoryFolder& folder,
                       const _stringx& type)
    : m_folder(folder), m_type(type), m_groups(document, folder, type, true) {
    for (const ItemGroup& group : m_groups.Groups())
        SearchGroup(group);
    document.GetAllAttribValues((type + OLESTR("/RepoItem/ItemAttrib")).c_str(), m_entries);
}

void TypeSurvey::SearchGroup(const ItemGroup& group) {
    if (!group.searchable || !FolderExists(group.folder))
        return;
    // A group folder that is itself a link out is searched as a listing
    // searches it; its files count as outside, and no temporary file of ours
    // is looked for there.
    const bool folderOutside = !m_folder.Holds(group.folder);
    if (!folderOutside)
        m_folders.emplace_back(PathNormalize(group.folder), group.name);
    std::vector<FoundFile> found;
    m_groups.FindFiles(group, found);
    for (const FoundFile& file : found) {
        const _stringx relative = RepositoryFolder::Relative(group.name, _stringx());
        if (file.unusable) {
            const _stringx name(file.name);
            m_unusable.push_back(relative.empty() ? name : relative + OLESTR('/') + name);
            continue;
        }
        const _stringx path = PathJoin(group.folder, file.name);
        const _stringx fileName = PathLastComponent(file.name);
        if (IsTemporaryFileName(fileName)) {
            // Temporary files are looked at folder by folder, as saves leave them.
            const _stringx sub = PathFolderPart(file.name);
            if (!sub.empty() && !folderOutside)
                m_folders.emplace_back(PathNormalize(PathFolderPart(path)),
                                       RepositoryFolder::Relative(group.name, sub));
            continue;
        }
        const bool outside = folderOutside || !m_folder.Holds(path);
        if (outside && !folderOutside)
            m_outside.push_back(RepositoryFolder::Relative(group.name, file.name));
        SurveyFiles& named = m_files[LowerFileName(fileName)];
        named.names.insert(fileName);
        named.outside = named.outside && outside;
        if (named.firstPath.empty()) {
            named.firstPath = RepositoryFolder::Relative(group.name, file.name);
            named.group = group.position;
        }
        named.listed = named.listed || group.Listed();
    }
}

EntryFile TypeSurvey::Classify(const _stringx& fileName) const {
    if (PathIsRooted(fileName))
        return EntryFile::kOutside;
    if (fileName.find_first_of(OLESTR("\\/")) != _stringx::npos) {
        for (const ItemGroup& group : m_groups.Groups())
            if (group.searchable && !m_folder.Holds(PathJoin(group.folder, fileName)))
                return EntryFile::kOutside;
        return EntryFile::kPath;
    }
    if (m_files.count(LowerFileName(fileName)))
        return EntryFile::kFound;
    _stringx found;
    for (const ItemGroup& group : m_groups.Groups())
        if (m_groups.FindNamed(group, fileName, found))
            return EntryFile::kUnmatched;
    return EntryFile::kMissing;
}

std::vector<SurveyTemporary> SurveyTemporaries(const RepositoryFolder& folder,
                                               const std::vector<TypeSurvey>& types, bool remove) {
    std::vector<SurveyTemporary> found;
    std::set<_stringx> seen;
    const auto look = [&](const _stringx& path, const _stringx& type, const _stringx& name) {
        if (!seen.insert(PathNormalize(path)).second)
            return;
        std::vector<TemporaryFile> files;
        SurveyTemporaryFiles(path, remove, files);
        for (const TemporaryFile& file : files)
            found.push_back({type, RepositoryFolder::Relative(name, file.name), file.state});
    };
    look(folder.Root(), _stringx(), _stringx());
    for (const TypeSurvey& survey : types)
        for (const auto& searched : survey.Folders())
            look(searched.first, survey.Type(), searched.second);
    return found;
}

}  // namespace kv
