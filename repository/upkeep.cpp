#include "repository/upkeep.h"

#include <algorithm>

#include "foundation/folderpath.h"
#include "foundation/pathx.h"

_stringx UpkeepRelativeText(const _stringx& folder, const _stringx& name) {
    _stringx path = folder;
    const auto begin = path.find_first_not_of(OLESTR("\\/"));
    path.erase(0, begin == _stringx::npos ? path.size() : begin);
    path = kv::PathNormalize(path.empty() ? name : kv::PathJoin(path, name));
    std::replace(path.begin(), path.end(), OLESTR('\\'), OLESTR('/'));
    return path;
}

bool UpkeepWithin(const _stringx& root, const _stringx& resolvedRoot, const _stringx& path) {
    return kv::PathStaysInside(root, path) || kv::ResolveExistingPath(path) == resolvedRoot;
}
