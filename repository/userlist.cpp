#include "repository/userlist.h"

#include <cstring>

#include "foundation/filesave.h"
#include "foundation/folderpath.h"
#include "foundation/pathx.h"
#include "foundation/platform/console.h"
#include "win32/errors.h"

namespace kv {
namespace {

// The seed of a per-user list: both keys that repositories can be created for.
const char kEmptyList[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<Repositories>\n"
    "\t<Repository Key=\"Local\" Local=\"1\" Path=\"\" DisplayName=\"Local repository\"/>\n"
    "\t<Repository Key=\"Network\" Local=\"0\" Path=\"\" DisplayName=\"Network repository\"/>\n"
    "</Repositories>\n";

}  // namespace

DWORD PerUserListFile(_stringx& path) {
    std::string settings;
    if (!platform::GetUserSettingsFolder(settings))
        return ERROR_PATH_NOT_FOUND;
    const _stringx folder = PathJoin(_stringx(settings), _stringx(OLESTR("kvrepo")));
    path = PathJoin(folder, _stringx(OLESTR("Repositories.xml")));
    if (FileExists(path))
        return ERROR_SUCCESS;
    if (!EnsureFolder(folder))
        return ERROR_PATH_NOT_FOUND;
    return SaveFileAtomically(path, kEmptyList, std::strlen(kEmptyList));
}

}  // namespace kv
