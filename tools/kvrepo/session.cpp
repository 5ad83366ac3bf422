#include "session.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

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

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// $XDG_CONFIG_HOME/kvrepo/Repositories.xml, $XDG_CONFIG_HOME defaulting to
// $HOME/.config; created on first use.
std::string PerUserListFile() {
    fs::path config = Environment("XDG_CONFIG_HOME");
    if (config.empty()) {
        const std::string home = Environment("HOME");
        if (home.empty())
            throw Failure(
                "no repository list: neither XDG_CONFIG_HOME nor HOME is set (use --list)");
        config = fs::path(home) / ".config";
    }
    const fs::path file = config / "kvrepo" / "Repositories.xml";
    std::error_code error;
    if (fs::exists(file, error))
        return file.string();
    fs::create_directories(file.parent_path(), error);
    std::ofstream out(file, std::ios::binary);
    out << kEmptyList;
    out.close();
    if (!out)
        throw Failure("cannot create the repository list " + file.string());
    return file.string();
}

}  // namespace

Session::Session() = default;

Session::~Session() = default;

std::string AbsolutePath(const std::string& path) {
    return fs::absolute(fs::path(path)).lexically_normal().string();
}

const std::string& Session::ListFile() {
    if (m_listFile.empty()) {
        std::string chosen = listOption.empty() ? Environment("KVREPO_LIST") : listOption;
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

}  // namespace kvtool
