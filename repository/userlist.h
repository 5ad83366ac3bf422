// The per-user repository list: where a user's list file lives when no other
// is named, made with an empty "Local" and "Network" entry on first use, so
// that repositories can be created for either key at once.
#pragma once

#include <string>

#include "foundation/stringx.h"

namespace kv {

// The per-user list file, kvrepo/Repositories.xml in the per-user settings
// folder ($XDG_CONFIG_HOME, else $HOME/.config; %APPDATA% on Windows), made
// when missing. ERROR_SUCCESS with `path` set; ERROR_PATH_NOT_FOUND when the
// environment names no settings folder; otherwise the error of making the
// folder or the file (`path` then names the file that could not be made).
KV_API DWORD PerUserListFile(_stringx& path);

}  // namespace kv
