#include "foundation/pathx.h"

#include "foundation/platform/files.h"

namespace kv {
namespace {

using platform::IsPathSeparator;

_stringx::size_type LastSeparator(const _stringx& path) {
    for (auto i = path.size(); i > 0; --i)
        if (IsPathSeparator(path[i - 1]))
            return i - 1;
    return _stringx::npos;
}

}  // namespace

_stringx PathFolderPart(const _stringx& path) {
    const auto p = LastSeparator(path);
    return p == _stringx::npos ? _stringx() : _stringx(path.substr(0, p));
}

_stringx PathLastComponent(const _stringx& path) {
    if (path.empty())
        return _stringx();
    if (IsPathSeparator(path.back())) {
        const _stringx inner(path.substr(0, path.size() - 1));
        const auto p = LastSeparator(inner);
        return _stringx(path.substr(p == _stringx::npos ? 0 : p + 1));
    }
    const auto p = LastSeparator(path);
    return p == _stringx::npos ? path : _stringx(path.substr(p + 1));
}

_stringx PathJoin(const _stringx& left, const _stringx& right) {
    const bool leftEnds = !left.empty() && IsPathSeparator(left.back());
    const bool rightBegins = !right.empty() && IsPathSeparator(right.front());
    _stringx joined(left);
    if (leftEnds && rightBegins) {
        joined.append(right, 1, _stringx::npos);
    } else {
        if (!leftEnds && !rightBegins && !right.empty())
            joined.push_back(platform::kPathSeparator);
        joined.append(right);
    }
    if (platform::kPathSeparator == u'/')
        for (auto& c : joined)
            if (c == u'\\')
                c = u'/';
    return joined;
}

pathx& pathx::operator/=(const _stringx& right) {
    _stringx::operator=(PathJoin(*this, right));
    return *this;
}

pathx pathx::operator/(const _stringx& right) const {
    return pathx(PathJoin(*this, right));
}

}  // namespace kv
