#include "repository/repositoryitemcopier.h"

#include <memory>
#include <utility>
#include <vector>

#include "foundation/folderpath.h"
#include "foundation/pathx.h"
#include "foundation/platform/text.h"
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

// A new item exactly as CRepository::CreateRepositoryItem makes it, asked
// only where its Commit would copy to; it is never committed.
class TargetProbe final : public CRepositoryItem {
public:
    TargetProbe(CRepository* repository, const _stringx& displayPath)
        : CRepositoryItem(repository, false, displayPath, nullptr) {}
    using CRepositoryItem::GetCopyFileNames;
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

// The folder of the destination's first group of `type` whose display path
// still names that type, so that the catalogue lists the copy, and that
// group's key; otherwise the type's name for both. 0, or the data file's status.
long DestinationFolder(CRepository& destination, const _stringx& type, _stringx& folder,
                       _stringx& key) {
    folder = key = type;
    XMLIntercessor document;
    if (const long status = destination.OpenXmlFile(document))
        return status;
    std::vector<XmlNodeEntry> children;
    document.GetChildNodes(type.c_str(), children);
    for (const XmlNodeEntry& child : children) {
        if (child.name != _stringx(OLESTR("RepoItem")))
            continue;
        const _stringx name = destination.GetAttribValue(_stringx(OLESTR("Name")), child.attribs);
        if (name.empty())
            continue;
        const _stringx candidate =
            _stringx(CRepositoryItem::kRepositoryMarker) + OLESTR('\\') + name + OLESTR("\\*");
        if (CRepositoryItem::GetRepoItemType(candidate) == type) {
            folder = name;
            key = destination.GetAttribValue(_stringx(OLESTR("Key")), child.attribs);
        }
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

long CRepositoryItemCopier::Copy(const char* itemPath, Copied* copied) {
    if (!m_pSource || !m_pDestination)
        return E_INVALIDARG;
    if (SelectsWholeType(Text(itemPath)))
        return E_INVALIDARG;
    CRepositoryItems* raw = nullptr;
    const long status = m_pSource->GetItems(itemPath, &raw);
    const std::unique_ptr<CRepositoryItems> items(raw);
    if (status != 0)
        return status;
    CRepositoryItem* item = items ? items->MoveFirst() : nullptr;
    if (!item)
        return ERROR_FILE_NOT_FOUND;
    return Copy(*item, copied);
}

long CRepositoryItemCopier::Copy(CRepositoryItem& item, Copied* copied) {
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
        return E_ACCESSDENIED;
    if (!kv::FileExists(sourceFile))
        return ERROR_FILE_NOT_FOUND;

    _stringx key;
    item.GetPropertyValue(_stringx(OLESTR("Key")), key, false);
    const _stringx type = CRepositoryItem::GetRepoItemType(key);
    if (type.empty())
        return E_INVALIDARG;

    // The stored properties, read before the destination is touched.
    XmlAttribMap stored;
    if (const long status = item.GetAttribValuesFromXmlFile(item.GetItemXPath(), stored))
        return status;

    _stringx folder, groupKey;
    if (const long status = DestinationFolder(*m_pDestination, type, folder, groupKey))
        return status;
    const _stringx displayPath =
        _stringx(CRepositoryItem::kRepositoryMarker) + OLESTR('\\') + folder + OLESTR("\\*");

    // Where Commit will copy to, and what it will ask before it does.
    _stringx ignored, target;
    {
        TargetProbe probe(m_pDestination, displayPath);
        probe.AddFile(sourceFile);
        probe.GetCopyFileNames(ignored, target);
    }
    if (SamePath(sourceFile, target))
        return E_INVALIDARG;
    AnswerOnce answers(m_pDestination->GetRepoStatus());
    _stringx targetFile = target;
    bool replaced = kv::FileExists(target);
    if (type == kTemplates) {
        // Publishing fills the folder beside the target named like the
        // source without its extension: with the whole template folder, or
        // with the companion folder (deleted first, without a question).
        bool whole = false;
        const _stringx sourceFolder = TemplateFolder(sourceFile, whole);
        const _stringx targetFolder = kv::PathJoin(
            kv::PathFolderPart(target), WithoutExtension(kv::PathLastComponent(sourceFile)));
        if ((whole || kv::FolderExists(sourceFolder)) && Overlap(sourceFolder, targetFolder))
            return E_INVALIDARG;
        if (whole) {
            // Asked whether or not the folder exists, as publishing asks it.
            targetFile = kv::PathJoin(targetFolder, kv::PathLastComponent(sourceFile));
            replaced = kv::FolderExists(targetFolder);
            if (!answers.OnOverwriteFolder(targetFolder))
                return kv::status::kFolderOverwriteDeclined;
        } else if (replaced && !answers.OnOverwriteFile(target)) {
            return kv::status::kFileOverwriteDeclined;
        }
    } else if (replaced && !answers.OnOverwriteFile(target)) {
        return kv::status::kFileOverwriteDeclined;
    }

    // The publication itself, through a stand-in of the destination that
    // differs only in the sink its items ask.
    CRepository destination(m_pDestination->GetKey(), destinationData, m_pDestination->GetLocal(),
                            m_pDestination->GetListFilePath(), &answers);
    CRepositoryItem* raw = nullptr;
    const long created = destination.CreateRepositoryItem(displayPath.narrow(), &raw);
    const std::unique_ptr<CRepositoryItem> published(raw);
    if (created != 0 || !published)
        return created != 0 ? created : kv::status::kCollectionNotCreated;
    published->AddFile(sourceFile);
    const _stringx localCopy(OLESTR("LocalCopy")), keyName(OLESTR("Key")),
        fileName(OLESTR("FileName"));
    _stringx value;
    for (const auto& attribute : stored) {
        if (attribute.first == localCopy || attribute.first == keyName ||
            attribute.first == fileName)
            continue;
        item.GetAttribValue(attribute.first, stored, value);
        published->PutProperty(attribute.first, value);
    }
    const _stringx displayName(OLESTR("DisplayName"));
    if (stored.empty() && item.GetPropertyExists(displayName, false)) {
        // Listed without an element: the name the source's catalogue gave it.
        item.GetPropertyValue(displayName, value, false);
        published->PutProperty(displayName, value);
    }
    if (const long status = published->Commit())
        return status;

    if (copied) {
        copied->type = type;
        published->GetProperty(fileName, &copied->fileName);
        copied->sourceFile = sourceFile;
        copied->displayPath = _stringx(CRepositoryItem::kRepositoryMarker) + OLESTR('\\') +
                              groupKey + OLESTR('\\') + copied->fileName;
        copied->targetFile = targetFile;
        copied->replaced = replaced;
    }
    return 0;
}
