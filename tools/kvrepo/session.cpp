#include "session.h"

#include <filesystem>

#include "foundation/platform/console.h"
#include "items.h"
#include "output.h"

namespace kvtool {
namespace {

namespace fs = std::filesystem;

// The per-user list file, made on first use.
std::string PerUserListFile() {
    _stringx path;
    const DWORD error = kv::PerUserListFile(path);
    if (error == ERROR_PATH_NOT_FOUND && path.empty())
        throw Failure(
            "no repository list: no per-user settings folder (XDG_CONFIG_HOME or HOME, APPDATA "
            "on Windows; or use --list)");
    if (error != ERROR_SUCCESS)
        throw Failure("cannot create the repository list " + Text(path) + ": " +
                      kv::status::Describe(static_cast<long>(error)));
    return Text(path);
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
