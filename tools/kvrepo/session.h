// One run of the tool: the global options, the repository-list file they
// select, the library's manager on that file and the status interface that
// every library object reports to.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "console_status.h"
#include "kvrepo.h"

namespace kvtool {

class Session {
public:
    Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    // Global options, filled by the command-line parser.
    std::string listOption;
    bool json = false;

    ConsoleStatus& Status() { return m_status; }

    // The repository-list file: --list, else $KVREPO_LIST, else the per-user
    // file, which is created with empty "Local" and "Network" entries when it
    // does not exist yet. Absolute, so that the library never reads it as a
    // name under its support folder.
    const std::string& ListFile();

    // The manager on the list file, made on first use.
    CRepositoryMgr& Manager();

    // The repository with `key` (also when its data file is missing). It
    // belongs to the manager's current list: the next load destroys it.
    // Throws Failure when the list has no such entry.
    CRepository& Repository(const std::string& key);
    // The repositories with these keys, in their order, from one load of the
    // list (each load destroys what the previous one gave, so two calls of
    // Repository cannot hold two repositories). Throws as Repository does.
    std::vector<CRepository*> Repositories(const std::vector<std::string>& keys);

private:
    ConsoleStatus m_status;
    std::string m_listFile;
    std::unique_ptr<CRepositoryMgr> m_manager;
};

// `path` made absolute and normalized, for paths given on the command line.
std::string AbsolutePath(const std::string& path);

}  // namespace kvtool
