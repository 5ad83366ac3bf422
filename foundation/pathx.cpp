#include "foundation/pathx.h"

#include <vector>

#include "win32/files.h"
#include "foundation/platform/text.h"

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
    const std::basic_string_view<OLECHAR> last = PathLastComponentView(path);
    return last.size() == path.size() ? path : _stringx(last.data(), last.size());
}

std::basic_string_view<OLECHAR> PathLastComponentView(std::basic_string_view<OLECHAR> path) {
    if (path.empty())
        return path;
    // A trailing separator stays with the component before it.
    std::size_t end = path.size();
    if (IsPathSeparator(path[end - 1]))
        --end;
    while (end > 0 && !IsPathSeparator(path[end - 1]))
        --end;
    return path.substr(end);
}

namespace {

template <class String>
void JoinInto(const _stringw& left, const _stringw& right, String& joined) {
    const bool leftEnds = !left.empty() && IsPathSeparator(left.back());
    const bool rightBegins = !right.empty() && IsPathSeparator(right.front());
    // Sized once: joining is done for every file a listing finds.
    joined.clear();
    joined.reserve(left.size() + right.size() + 1);
    joined.append(left.data(), left.size());
    if (leftEnds && rightBegins) {
        joined.append(right.data() + 1, right.size() - 1);
    } else {
        if (!leftEnds && !rightBegins && !right.empty())
            joined.push_back(platform::kPathSeparator);
        joined.append(right.data(), right.size());
    }
    if (platform::kPathSeparator == OLESTR('/') && !joined.empty()) {
        // Written as a select over the raw units, which the compiler vectorises.
        OLECHAR* units = &joined[0];
        const std::size_t size = joined.size();
        for (std::size_t i = 0; i < size; ++i)
            units[i] = units[i] == OLESTR('\\') ? OLESTR('/') : units[i];
    }
}

}  // namespace

_stringx PathJoin(const _stringw& left, const _stringw& right) {
    _stringx joined;
    JoinInto(left, right, joined);
    return joined;
}

void PathJoin(const _stringw& left, const _stringw& right, std::basic_string<OLECHAR>& joined) {
    JoinInto(left, right, joined);
}

namespace {

// A path taken apart: its root ("/", "C:", "\\server", or empty when relative)
// and its components.
struct SplitPath {
    _stringx root;
    std::vector<_stringx> parts;
};

SplitPath Split(const _stringx& path) {
    SplitPath split;
    std::size_t at = 0;
    if (path.size() >= 2 && platform::IsPathSeparator(path[0]) &&
        platform::IsPathSeparator(path[1])) {
        split.root = _stringx(OLESTR("//"));
        at = 2;
    } else if (!path.empty() && platform::IsPathSeparator(path[0])) {
        split.root = _stringx(OLESTR("/"));
        at = 1;
    } else if (path.size() >= 2 && path[1] == OLESTR(':')) {
        split.root = _stringx(path.substr(0, 2));
        at = 2;
    }
    while (at <= path.size()) {
        std::size_t end = at;
        while (end < path.size() && !platform::IsPathSeparator(path[end]))
            ++end;
        const _stringx part(path.substr(at, end - at));
        if (part == _stringx(OLESTR(".."))) {
            if (!split.parts.empty() && split.parts.back() != _stringx(OLESTR("..")))
                split.parts.pop_back();
            else if (split.root.empty())
                split.parts.push_back(part);
        } else if (!part.empty() && part != _stringx(OLESTR("."))) {
            split.parts.push_back(part);
        }
        at = end + 1;
    }
    return split;
}

}  // namespace

_stringx PathNormalize(const _stringx& path) {
    const SplitPath split = Split(path);
    _stringx normalized = split.root;
    for (std::size_t i = 0; i < split.parts.size(); ++i) {
        if (i > 0 || (!normalized.empty() && !platform::IsPathSeparator(normalized.back())))
            normalized.push_back(platform::kPathSeparator);
        normalized.append(split.parts[i]);
    }
    if (normalized.size() > 1 && normalized[1] == OLESTR('/') && normalized[0] == OLESTR('/') &&
        platform::kPathSeparator != OLESTR('/'))
        normalized[0] = normalized[1] = OLESTR('\\');
    return normalized;
}

bool PathIsRooted(const _stringx& path) {
    if (path.size() >= 3 && path[0] == OLESTR('\\') && path[1] == OLESTR('\\'))
        return true;
    if (path.size() >= 2 && path[1] == OLESTR(':'))
        return true;
    return platform::kPathSeparator == OLESTR('/') && !path.empty() && path[0] == OLESTR('/');
}

bool PathIsInside(const _stringx& folder, const _stringx& path) {
    const SplitPath outer = Split(folder);
    const SplitPath inner = Split(path);
    const auto same = [](const _stringx& a, const _stringx& b) {
        return platform::SameFileName(a.data(), a.size(), b.data(), b.size());
    };
    if (!same(outer.root, inner.root) || inner.parts.size() <= outer.parts.size())
        return false;
    for (std::size_t i = 0; i < outer.parts.size(); ++i)
        if (!same(outer.parts[i], inner.parts[i]) || outer.parts[i] == _stringx(OLESTR("..")))
            return false;
    return true;
}

pathx& pathx::operator/=(const _stringx& right) {
    _stringx::operator=(PathJoin(*this, right));
    return *this;
}

pathx pathx::operator/(const _stringx& right) const {
    return pathx(PathJoin(*this, right));
}

}  // namespace kv
