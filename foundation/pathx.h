// Paths: folder part, last component and join.
//
// Both "\" and "/" separate components. A join puts exactly one separator
// between its parts; on POSIX the joined path comes out with "/" only, so paths
// the library builds and reports read naturally there. Display paths such as
// "<KVREPOSITORY>\Dialogs\x.kvd" are text, not paths, and never pass through here.
#pragma once

#include <string>
#include <string_view>

#include "foundation/stringx.h"

namespace kv {

// The text before the last separator (C:\R\x.xml gives C:\R, C:\x.xml gives C:);
// empty when there is no separator.
KV_API _stringx PathFolderPart(const _stringx& path);

// The text after the last separator; when the path ends with a separator, the
// component before it together with that separator (C:\R\Templates\ gives
// Templates\). The whole text when there is no separator.
KV_API _stringx PathLastComponent(const _stringx& path);
// The same, as a view into `path`.
KV_API std::basic_string_view<OLECHAR> PathLastComponentView(std::basic_string_view<OLECHAR> path);

// `left` and `right` with exactly one separator between them: when `left` ends
// with one and `right` begins with one, `right`'s is dropped; when neither has
// one and `right` is not empty, the platform separator is inserted; otherwise the
// parts are joined as they are.
KV_API _stringx PathJoin(const _stringw& left, const _stringw& right);
// The same into `joined` (replaced), for a caller that joins in a loop.
KV_API void PathJoin(const _stringw& left, const _stringw& right,
                     std::basic_string<OLECHAR>& joined);

// `path` with "." and ".." components resolved as text (no file system is
// asked), separators made the platform's and doubled ones merged. A ".." at
// the root stays at the root; in a relative path a leading ".." is kept.
KV_API _stringx PathNormalize(const _stringx& path);

// Whether `path`, once normalized, lies strictly inside `folder` (normalized
// too): below it, not the folder itself. Components compare as the file system
// compares names (kv::platform::SameFileName: exactly on POSIX, ignoring case
// on Windows).
KV_API bool PathIsInside(const _stringx& folder, const _stringx& path);

// Whether a file name stands on its own rather than under a base folder: two
// leading backslashes and a third character (\\server\share), a drive
// ("C:"), or on POSIX a leading "/". One leading backslash is not enough.
KV_API bool PathIsRooted(const _stringx& path);

// A path value: a _stringx with the path operations.
class KV_API pathx : public _stringx {
public:
    using _stringx::_stringx;
    pathx() = default;
    pathx(const _stringx& text) : _stringx(text) {}

    // Joins in place / into a new path (see PathJoin).
    pathx& operator/=(const _stringx& right);
    pathx operator/(const _stringx& right) const;

    pathx folder_part() const { return PathFolderPart(*this); }
    pathx last_component() const { return PathLastComponent(*this); }
};

}  // namespace kv
