#include "repository/repositoryitemcopier.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "foundation/folderpath.h"
#include "foundation/pathx.h"
#include "foundation/platform/text.h"
#include "repository/itemgroups.h"
#include "repository/repositoryitems.h"

namespace {

const _stringx kTemplates(OLESTR("Templates"));

// Answers each overwrite question once: the first time a path is asked
// about, the destination's own sink answers (yes without one); asked again,
// the answer given. Messages pass straight on. So the copier can ask what
// Commit will ask before anything is written, and Commit does not ask twice.
class AnswerOnce final : public IRepoStatus {
public:
    explicit AnswerOnce(IRepoStatus* sink) : m_sink(sink) {}

    long OnError(const _stringx& text) override { return m_sink ? m_sink->OnError(text) : 0; }
    long OnStatus(const _stringx& text) override { return m_sink ? m_sink->OnStatus(text) : 0; }
    bool OnOverwriteFile(const _stringx& path) override { return Answer(false, path); }
    bool OnOverwriteFolder(const _stringx& path) override { return Answer(true, path); }

private:
    bool Answer(bool folder, const _stringx& path) {
        for (const Given& given : m_given)
            if (given.folder == folder && given.path == path)
                return given.answer;
        bool answer = true;
        if (m_sink)
            answer = folder ? m_sink->OnOverwriteFolder(path) : m_sink->OnOverwriteFile(path);
        m_given.push_back({folder, path, answer});
        return answer;
    }

    struct Given {
        bool folder;
        _stringx path;
        bool answer;
    };
    IRepoStatus* m_sink;
    std::vector<Given> m_given;
};

// A new item exactly as CRepository::CreateRepositoryItem makes it, that can
// say where its Commit copies to and take the name of the file it replaces.
class Publication final : public CRepositoryItem {
public:
    Publication(CRepository* repository, const _stringx& displayPath, IRepoStatus* status)
        : CRepositoryItem(repository, false, displayPath, status) {}
    using CRepositoryItem::GetCopyFileNames;
    using CRepositoryItem::SetTargetFileName;
};

_stringx WithoutExtension(const _stringx& name) {
    const auto dot = name.rfind(OLESTR('.'));
    return dot == _stringx::npos ? name : _stringx(name.substr(0, dot));
}

_stringx Resolved(const _stringx& path) {
    return kv::ResolveExistingPath(path);
}

bool SamePath(const _stringx& a, const _stringx& b) {
    const _stringx x = Resolved(a), y = Resolved(b);
    return kv::platform::SameFileName(x.data(), x.size(), y.data(), y.size());
}

// Whether one path is the other or lies below it, links followed.
bool Overlap(const _stringx& a, const _stringx& b) {
    const _stringx x = Resolved(a), y = Resolved(b);
    return SamePath(x, y) || kv::PathIsInside(x, y) || kv::PathIsInside(y, x);
}

// The folder a template's copy fills besides its file, as publishing sees
// it: the template's own folder (a template X.ext in a folder X) or its
// companion folder beside it (which may not exist); `whole` tells which.
_stringx TemplateFolder(const _stringx& file, bool& whole) {
    const _stringx folder = kv::PathFolderPart(file);
    const _stringx base = WithoutExtension(kv::PathLastComponent(file));
    whole = base == WithoutExtension(kv::PathLastComponent(folder));
    return whole ? folder : kv::PathJoin(folder, base);
}

// The text of `path` below `root` ("Dialogs\Sub"), or empty when it is the
// root itself or not below it.
_stringx RelativeTo(const _stringx& root, const _stringx& path) {
    const _stringx base = kv::PathNormalize(root), inner = kv::PathNormalize(path);
    if (!kv::PathIsInside(base, inner) || inner.size() <= base.size())
        return _stringx();
    _stringx relative = inner.substr(base.size());
    relative.erase(0, relative.find_first_not_of(OLESTR("\\/")));
    std::replace(relative.begin(), relative.end(), OLESTR('/'), OLESTR('\\'));
    return relative;
}

// The folder of a display path that publishes over the destination's `file`:
// the file's folder, or for a template in a folder of its own name the
// folder that holds it.
_stringx DisplayFolderOver(const _stringx& root, const _stringx& file, const _stringx& type) {
    bool whole = false;
    _stringx folder = kv::PathFolderPart(file);
    if (type == kTemplates)
        TemplateFolder(file, whole);
    if (whole)
        folder = kv::PathFolderPart(folder);
    return RelativeTo(root, folder);
}

// The type path of an item path, as CRepositoryItems::GetItems reads it
// ("Dialogs" of "<KVREPOSITORY>\Dialogs\x.kvd").
_stringx ListedType(const _stringx& itemPath) {
    _stringx path = itemPath;
    const _stringx marker(CRepositoryItem::kRepositoryMarker);
    const auto at = path.find(marker);
    if (at != _stringx::npos)
        path.erase(at, marker.size());
    const auto split = path.rfind(OLESTR('\\'));
    path.erase(split == _stringx::npos ? 0 : split);
    std::replace(path.begin(), path.end(), OLESTR('\\'), OLESTR('/'));
    if (!path.empty() && path.front() == OLESTR('/'))
        path.erase(0, 1);
    return path;
}

_stringx Property(CRepositoryItem& item, const OLECHAR* name) {
    _stringx value;
    item.GetProperty(_stringx(name), &value);
    return value;
}

// The file that `repository` lists for `type` and `fileName` (the first, as a
// sync matches them), or empty. 0 or the listing's status.
long ListedFile(CRepository& repository, const _stringx& type, const _stringx& fileName,
                _stringx& file) {
    file.clear();
    std::unique_ptr<CRepositoryItems> items;
    const long status = kv::ListItems(repository, (type + OLESTR("/*")).narrow(), items);
    if (status != 0 || !items)
        return status;
    for (CRepositoryItem* item = items->MoveFirst(); item; item = items->MoveNext())
        if (Property(*item, OLESTR("FileName")) == fileName) {
            file = Property(*item, OLESTR("LocalCopy"));
            break;
        }
    return 0;
}

_stringx Text(const char* text) {
    return text ? _stringx(text) : _stringx();
}

// Whether `itemPath` selects every item of a type rather than one item.
bool SelectsWholeType(const _stringx& itemPath) {
    return itemPath.empty() ||
           (itemPath.size() >= 2 && itemPath.compare(itemPath.size() - 2, 2, OLESTR("/*")) == 0);
}

}  // namespace

CRepositoryItemCopier::CRepositoryItemCopier(CRepository* source, CRepository* destination)
    : m_pSource(source), m_pDestination(destination) {}

_stringx CRepositoryItemCopier::Refusal(const kv::ItemGroups& destination, const _stringx& type,
                                        const _stringx& key, const _stringx& fileName,
                                        const _stringx& replaced, _stringx* displayFolder) {
    const _stringx keyType = CRepositoryItem::GetRepoItemType(key);
    if (keyType != type)
        return OLESTR("the source's group of the item has Key \"") + key +
               OLESTR("\", which names ") +
               (keyType.empty() ? _stringx(OLESTR("no item type"))
                                : OLESTR("the type ") + keyType) +
               OLESTR(", not ") + type + OLESTR(": set that group's Key to ") + type;
    _stringx folder;
    if (!replaced.empty()) {
        folder = DisplayFolderOver(destination.Folder().Root(), replaced, type);
        const _stringx display =
            _stringx(CRepositoryItem::kRepositoryMarker) + OLESTR('\\') + folder + OLESTR("\\*");
        if (CRepositoryItem::GetRepoItemType(display) != type)
            return OLESTR("the destination lists it in the folder \"") + folder +
                   OLESTR("\", which a publication cannot reach: its path does not name ") + type;
    } else {
        _stringx why;
        const kv::ItemGroup* group = destination.PublicationGroup(type, fileName, why);
        if (!group)
            return OLESTR("the destination cannot list it: ") + why;
        folder = group->name;
    }
    if (displayFolder)
        *displayFolder = folder;
    return _stringx();
}

long CRepositoryItemCopier::Copy(const char* itemPath, Copied* copied) {
    if (!m_pSource || !m_pDestination)
        return E_INVALIDARG;
    if (SelectsWholeType(Text(itemPath)))
        return E_INVALIDARG;
    std::unique_ptr<CRepositoryItems> items;
    const long status = kv::ListItems(*m_pSource, itemPath, items);
    if (status != 0)
        return status;
    CRepositoryItem* item = items ? items->MoveFirst() : nullptr;
    if (!item)
        return ERROR_FILE_NOT_FOUND;
    return CopyListed(*item, ListedType(Text(itemPath)), copied);
}

long CRepositoryItemCopier::Copy(CRepositoryItem& item, Copied* copied) {
    if (!m_pSource || !m_pDestination)
        return E_INVALIDARG;
    _stringx key;
    item.GetPropertyValue(_stringx(OLESTR("Key")), key, false);
    return CopyListed(item, CRepositoryItem::GetRepoItemType(key), copied);
}

long CRepositoryItemCopier::CopyListed(CRepositoryItem& item, const _stringx& type,
                                       Copied* copied) {
    _stringx replaced;
    if (const long status =
            ListedFile(*m_pDestination, type, Property(item, OLESTR("FileName")), replaced))
        return status;
    return CopyOver(item, type, replaced, copied);
}

long CRepositoryItemCopier::CopyOver(CRepositoryItem& item, const _stringx& type,
                                     const _stringx& replaced, Copied* copied) {
    const auto refuse = [copied](long status, const _stringx& why) {
        if (copied)
            copied->problem = why;
        return status;
    };
    if (!m_pSource || !m_pDestination)
        return E_INVALIDARG;
    const _stringx sourceData = m_pSource->GetRepoDataFilePath();
    const _stringx destinationData = m_pDestination->GetRepoDataFilePath();
    if (sourceData.empty() || destinationData.empty())
        return kv::status::kNoDataFilePath;
    if (SamePath(sourceData, destinationData))
        return E_INVALIDARG;

    // The source's file: where the catalogue found it, which a stored
    // LocalCopy may have replaced; only a file inside the source is copied.
    _stringx sourceFile;
    if (item.CreateLocalCopy(&sourceFile) != 0 || sourceFile.empty())
        return ERROR_FILE_NOT_FOUND;
    if (!kv::PathStaysInside(kv::PathFolderPart(sourceData), sourceFile))
        return refuse(E_ACCESSDENIED, OLESTR("its file ") + sourceFile +
                                          OLESTR(" leads outside the source repository"));
    if (!kv::FileExists(sourceFile))
        return ERROR_FILE_NOT_FOUND;
    if (type.empty())
        return refuse(E_INVALIDARG, OLESTR("the item's group names no item type in its Key \"") +
                                        Property(item, OLESTR("Key")) + OLESTR("\""));

    // Where it goes, and whether the destination will list it there.
    _stringx folder, fileName;
    {
        Publication named(
            m_pDestination,
            _stringx(CRepositoryItem::kRepositoryMarker) + OLESTR('\\') + type + OLESTR("\\*"),
            nullptr);
        named.AddFile(sourceFile);
        fileName = Property(named, OLESTR("FileName"));
        XMLIntercessor document;
        if (const long status = m_pDestination->OpenXmlFile(document))
            return status;
        const kv::RepositoryFolder root(destinationData);
        const kv::ItemGroups groups(document, root, type);
        const _stringx why =
            Refusal(groups, type, Property(item, OLESTR("Key")), fileName, replaced, &folder);
        if (!why.empty())
            return refuse(E_INVALIDARG, why);
    }

    // The stored properties, read before the destination is touched.
    XmlAttribMap stored;
    if (const long status = item.GetAttribValuesFromXmlFile(item.GetItemXPath(), stored))
        return status;
    const _stringx displayPath =
        _stringx(CRepositoryItem::kRepositoryMarker) + OLESTR('\\') + folder + OLESTR("\\*");
    const _stringx targetName = replaced.empty() ? _stringx() : kv::PathLastComponent(replaced);

    // Where Commit will copy to, and what it will ask before it does.
    _stringx ignored, target;
    {
        Publication probe(m_pDestination, displayPath, nullptr);
        probe.AddFile(sourceFile);
        probe.SetTargetFileName(targetName);
        probe.GetCopyFileNames(ignored, target);
    }
    if (SamePath(sourceFile, target))
        return E_INVALIDARG;
    AnswerOnce answers(m_pDestination->GetRepoStatus());
    _stringx targetFile = target;
    bool replacing = kv::FileExists(target);
    if (type == kTemplates) {
        // Publishing fills the folder beside the target named like it
        // without its extension: with the whole template folder, or with the
        // companion folder (deleted first, without a question).
        bool whole = false;
        const _stringx sourceFolder = TemplateFolder(sourceFile, whole);
        const _stringx targetFolder = kv::PathJoin(kv::PathFolderPart(target),
                                                   WithoutExtension(kv::PathLastComponent(target)));
        if ((whole || kv::FolderExists(sourceFolder)) && Overlap(sourceFolder, targetFolder))
            return E_INVALIDARG;
        if (whole) {
            // Asked whether or not the folder exists, as publishing asks it.
            targetFile = kv::PathJoin(targetFolder, kv::PathLastComponent(target));
            replacing = kv::FolderExists(targetFolder);
            if (!answers.OnOverwriteFolder(targetFolder))
                return kv::status::kFolderOverwriteDeclined;
        } else if (replacing && !answers.OnOverwriteFile(target)) {
            return kv::status::kFileOverwriteDeclined;
        }
    } else if (replacing && !answers.OnOverwriteFile(target)) {
        return kv::status::kFileOverwriteDeclined;
    }

    // The publication itself, through a stand-in of the destination that
    // differs only in the sink its items ask.
    CRepository destination(m_pDestination->GetKey(), destinationData, m_pDestination->GetLocal(),
                            m_pDestination->GetListFilePath(), &answers);
    Publication published(&destination, displayPath, &answers);
    published.AddFile(sourceFile);
    published.SetTargetFileName(targetName);
    const _stringx localCopy(OLESTR("LocalCopy")), keyName(OLESTR("Key")),
        fileNameName(OLESTR("FileName")), displayName(OLESTR("DisplayName"));
    std::vector<std::pair<_stringx, _stringx>> copiedValues;
    _stringx value;
    for (const auto& attribute : stored) {
        if (attribute.first == localCopy || attribute.first == keyName ||
            attribute.first == fileNameName)
            continue;
        item.GetAttribValue(attribute.first, stored, value);
        copiedValues.emplace_back(attribute.first, value);
    }
    if (stored.empty() && item.GetPropertyExists(displayName, false)) {
        // Listed without an element: the name the source's catalogue gave it.
        item.GetPropertyValue(displayName, value, false);
        copiedValues.emplace_back(displayName, value);
    }
    for (const auto& copiedValue : copiedValues)
        published.PutProperty(copiedValue.first, copiedValue.second);
    if (const long status = published.Commit())
        return status;

    // What the destination's catalogue now finds there.
    const _stringx listedPath = _stringx(CRepositoryItem::kRepositoryMarker) + OLESTR('\\') + type +
                                OLESTR('\\') + fileName;
    std::unique_ptr<CRepositoryItems> listed;
    kv::ListItems(*m_pDestination, listedPath.narrow(), listed);
    CRepositoryItem* found = nullptr;
    for (CRepositoryItem* candidate = listed ? listed->MoveFirst() : nullptr; candidate && !found;
         candidate = listed->MoveNext())
        if (SamePath(Property(*candidate, OLESTR("LocalCopy")), targetFile))
            found = candidate;
    if (!found)
        return refuse(E_UNEXPECTED,
                      OLESTR("published, but the destination does not list it at ") + targetFile);
    for (const auto& copiedValue : copiedValues)
        if (Property(*found, copiedValue.first.c_str()) != copiedValue.second)
            return refuse(E_UNEXPECTED, OLESTR("published, but the destination lists it with ") +
                                            copiedValue.first + OLESTR(" \"") +
                                            Property(*found, copiedValue.first.c_str()) +
                                            OLESTR("\""));

    if (copied) {
        copied->type = type;
        copied->fileName = fileName;
        copied->sourceFile = sourceFile;
        copied->displayPath = Property(*found, OLESTR("DisplayPath"));
        copied->targetFile = targetFile;
        copied->replaced = replacing;
        copied->problem.clear();
    }
    return 0;
}
