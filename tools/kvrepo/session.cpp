#include "session.h"

#include <filesystem>
#include <fstream>

#include "foundation/platform/console.h"
#include "items.h"
#include "output.h"

namespace kvtool {
namespace {

namespace fs = std::filesystem;

// The seed of a per-user list: both keys that repositories can be created for.
const char kEmptyList[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<Repositories>\n"
    "\t<Repository Key=\"Local\" Local=\"1\" Path=\"\" DisplayName=\"Local repository\"/>\n"
    "\t<Repository Key=\"Network\" Local=\"0\" Path=\"\" DisplayName=\"Network repository\"/>\n"
    "</Repositories>\n";

// kvrepo/Repositories.xml in the per-user settings folder ($XDG_CONFIG_HOME,
// else $HOME/.config; %APPDATA% on Windows); created on first use.
std::string PerUserListFile() {
    std::string config;
    if (!kv::platform::GetUserSettingsFolder(config))
        throw Failure(
            "no repository list: no per-user settings folder (XDG_CONFIG_HOME or HOME, APPDATA "
            "on Windows; or use --list)");
    const fs::path file = FilePath(config) / "kvrepo" / "Repositories.xml";
    std::error_code error;
    if (fs::exists(file, error))
        return PathText(file);
    fs::create_directories(file.parent_path(), error);
    std::ofstream out(file, std::ios::binary);
    out << kEmptyList;
    out.close();
    if (!out)
        throw Failure("cannot create the repository list " + PathText(file));
    return PathText(file);
}

}  // namespace

Session::Session() = default;

Session::~Session() = default;

std::string AbsolutePath(const std::string& path) {
    return PathText(fs::absolute(FilePath(path)).lexically_normal());
}

const std::string& Session::ListFile() {
    if (m_listFile.empty()) {
        std::string chosen = listOption;
        if (chosen.empty())
            kv::platform::GetAnsiEnvironment("KVREPO_LIST", chosen);
        m_listFile = chosen.empty() ? PerUserListFile() : AbsolutePath(chosen);
    }
    return m_listFile;
}

CRepositoryMgr& Session::Manager() {
    if (!m_manager)
        m_manager = std::make_unique<CRepositoryMgr>(ListFile().c_str(), &m_status);
    return *m_manager;
}

CRepository& Session::Repository(const std::string& key) {
    // The library reads an empty key as "every repository".
    if (key.empty())
        throw UsageError("a repository key must not be empty");
    CRepositories* list = nullptr;
    const long status = Manager().GetRepositories(key.c_str(), &list, true);
    if (status != 0)
        ThrowStatus("cannot read the repository list " + ListFile(), status);
    CRepository* repository = list ? list->MoveFirst() : nullptr;
    if (!repository)
        throw Failure("no repository with key '" + key + "' in " + ListFile());
    return *repository;
}

std::vector<CRepository*> Session::Repositories(const std::vector<std::string>& keys) {
    for (const std::string& key : keys)
        if (key.empty())
            throw UsageError("a repository key must not be empty");
    CRepositories* list = nullptr;
    const long status = Manager().GetRepositories(nullptr, &list, true);
    if (status != 0 || !list)
        ThrowStatus("cannot read the repository list " + ListFile(), status);
    std::vector<CRepository*> found;
    for (const std::string& key : keys) {
        CRepository* match = nullptr;
        for (CRepository* repository = list->MoveFirst(); repository && !match;
             repository = list->MoveNext())
            if (repository->GetKey() == _stringx(key))
                match = repository;
        if (!match)
            throw Failure("no repository with key '" + key + "' in " + ListFile());
        found.push_back(match);
    }
    return found;
}

}  // namespace kvtool
