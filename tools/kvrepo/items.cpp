#include "items.h"

#include <algorithm>

#include "output.h"

namespace kvtool {
namespace {

const std::string& Marker() {
    static const std::string marker = Text(_stringx(CRepositoryItem::kRepositoryMarker));
    return marker;
}

// Whether `itemPath` selects every item of a type rather than one item.
bool SelectsAllOfType(const std::string& itemPath) {
    return itemPath.size() >= 2 && itemPath.compare(itemPath.size() - 2, 2, "/*") == 0;
}

long Load(CRepository& repository, const std::string& path, ItemSelection& selection) {
    selection.status = kv::ListItems(repository, path.c_str(), selection.owner);
    selection.items.clear();
    CRepositoryItems* raw = selection.owner.get();
    if (selection.status == 0 && raw)
        for (CRepositoryItem* item = raw->MoveFirst(); item; item = raw->MoveNext())
            selection.items.push_back(item);
    return selection.status;
}

}  // namespace

std::string LibraryItemPath(const std::string& itemPath) {
    if (SelectsAllOfType(itemPath) || itemPath.find('\\') != std::string::npos ||
        itemPath.find('/') == std::string::npos)
        return itemPath;
    std::string path = itemPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    const std::string& marker = Marker();
    return path.compare(0, marker.size(), marker) == 0 ? path : marker + "\\" + path;
}

ItemSelection SelectItems(CRepository& repository, const std::string& itemPath) {
    ItemSelection selection;
    Load(repository, LibraryItemPath(itemPath), selection);
    return selection;
}

ItemSelection SelectOneItem(CRepository& repository, const std::string& itemPath) {
    ItemSelection selection = SelectItems(repository, itemPath);
    const std::string key = Text(repository.GetKey());
    if (selection.status != 0)
        ThrowStatus("cannot read the items of repository '" + key + "'", selection.status);
    if (selection.items.empty())
        throw Failure("no item '" + itemPath + "' in repository '" + key + "'");
    return selection;
}

std::filesystem::path FilePath(const std::string& path) {
    const _stringx wide(path);
    return std::filesystem::path(wide.begin(), wide.end());
}

std::string PathText(const std::filesystem::path& path) {
    return Text(_stringx(path.string<OLECHAR>().c_str()));
}

std::filesystem::path LocalPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return FilePath(path);
}

std::vector<std::string> ItemTypes() {
    std::vector<std::string> types;
    for (const OLECHAR* type : CRepositoryItem::kItemTypes)
        types.push_back(Text(_stringx(type)));
    return types;
}

std::string Property(CRepositoryItem& item, const OLECHAR* name) {
    _stringx value;
    return item.GetProperty(_stringx(name), &value) == 0 ? Text(value) : std::string();
}

}  // namespace kvtool
