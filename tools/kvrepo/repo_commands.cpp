// Repositories: listing the repository list, reading and writing repository
// properties, and creating a repository.
#include <filesystem>
#include <memory>

#include "commands.h"
#include "items.h"
#include "output.h"

namespace kvtool {
namespace {

struct ReposOptions {
    std::string key;
    bool includeMissing = false;
};

struct PropertyOptions {
    std::string key;
    std::string name;
    std::string value;
};

struct CreateOptions {
    std::string key;
    std::string dataFile;
};

int ListRepositories(Session& session, const ReposOptions& options) {
    CRepositories* list = nullptr;
    const long status = session.Manager().GetRepositories(
        options.key.empty() ? nullptr : options.key.c_str(), &list, options.includeMissing);
    if (status != 0 || !list)
        ThrowStatus("cannot read the repository list " + session.ListFile(), status);

    nlohmann::json result = nlohmann::json::array();
    std::vector<std::vector<std::string>> rows;
    bool anyExists = false;
    for (CRepository* repository = list->MoveFirst(); repository; repository = list->MoveNext()) {
        const std::string dataFile = Text(repository->GetRepoDataFilePath());
        std::error_code error;
        const bool exists = std::filesystem::is_regular_file(LocalPath(dataFile), error);
        anyExists = anyExists || exists;
        _stringx displayName;
        const long found = repository->GetProperty(_stringx(OLESTR("DisplayName")), &displayName);
        result.push_back({{"key", Text(repository->GetKey())},
                          {"local", repository->GetLocal()},
                          {"dataFile", dataFile},
                          {"displayName", OptionalText(found, displayName)},
                          {"exists", exists}});
        rows.push_back({Text(repository->GetKey()), repository->GetLocal() ? "local" : "network",
                        exists ? "yes" : "no", found == 0 ? Text(displayName) : "", dataFile});
    }
    if (session.json)
        PrintJson(result);
    else
        PrintTable({"KEY", "KIND", "EXISTS", "DISPLAY NAME", "DATA FILE"}, rows);
    if (!anyExists && options.key.empty())
        WarnNoRepositories(session.ListFile());
    // A Local value the library reads otherwise than it seems is said here,
    // not only by verify.
    std::vector<CRepositoryVerifier::Finding> findings;
    if (CRepositoryVerifier::VerifyList(
            &session.Manager(), options.key.empty() ? nullptr : options.key.c_str(), findings) == 0)
        for (const CRepositoryVerifier::Finding& finding : findings)
            if (finding.kind == CRepositoryVerifier::FindingKind::kListLocal)
                Warn("repository '" + Text(finding.subject) + "': " + Text(finding.detail));
    return kExitOk;
}

int GetProperty(Session& session, const PropertyOptions& options) {
    CRepository& repository = session.Repository(options.key);
    _stringx value;
    const long status = repository.GetProperty(_stringx(options.name), &value);
    if (status != 0)
        ThrowStatus("no property '" + options.name + "' on repository '" + options.key + "'",
                    status);
    if (session.json)
        PrintJson({{"key", options.key}, {"name", options.name}, {"value", Text(value)}});
    else
        Print(Text(value) + '\n');
    return kExitOk;
}

int SetProperty(Session& session, const PropertyOptions& options) {
    CRepository& repository = session.Repository(options.key);
    const long status = repository.PutProperty(_stringx(options.name), _stringx(options.value));
    if (status != 0)
        ThrowStatus(
            "cannot set property '" + options.name + "' of repository '" + options.key + "'",
            status);
    return kExitOk;
}

int CreateRepository(Session& session, const CreateOptions& options) {
    const std::string dataFile = AbsolutePath(options.dataFile);
    CRepository* created = nullptr;
    const long status =
        session.Manager().CreateRepository(_stringx(options.key), _stringx(dataFile), &created);
    if (status != 0)
        ThrowStatus("cannot create the " + options.key + " repository " + dataFile, status);

    if (session.json)
        PrintJson({{"key", options.key}, {"dataFile", dataFile}, {"list", session.ListFile()}});
    else
        Print("Created the " + options.key + " repository " + dataFile + '\n');
    return kExitOk;
}

}  // namespace

void AddRepositoryCommands(CLI::App& app, Session& session, Action& action) {
    auto repos = std::make_shared<ReposOptions>();
    CLI::App* list = app.add_subcommand("repos", "List the repositories of the repository list");
    list->add_option("--key", repos->key, "Only the repository with this key");
    list->add_flag("--include-missing", repos->includeMissing,
                   "Also the repositories whose data file does not exist");
    list->footer("Example: kvrepo repos --include-missing");
    list->callback([&session, &action, repos] {
        action = [&session, repos] { return ListRepositories(session, *repos); };
    });

    CLI::App* repo = app.add_subcommand("repo", "Read or write a repository property");
    repo->require_subcommand(1);
    repo->footer("Example: kvrepo repo get Local DisplayName");

    auto get = std::make_shared<PropertyOptions>();
    CLI::App* getCommand = repo->add_subcommand("get", "Print a repository property");
    getCommand->add_option("KEY", get->key, "Repository key")->required();
    getCommand->add_option("NAME", get->name, "Property name")->required();
    getCommand->footer("Example: kvrepo repo get Local DisplayName");
    getCommand->callback([&session, &action, get] {
        action = [&session, get] { return GetProperty(session, *get); };
    });

    auto set = std::make_shared<PropertyOptions>();
    CLI::App* setCommand = repo->add_subcommand("set", "Write a repository property");
    setCommand->add_option("KEY", set->key, "Repository key")->required();
    setCommand->add_option("NAME", set->name, "Property name")->required();
    setCommand->add_option("VALUE", set->value, "New value")->required();
    setCommand->footer("Example: kvrepo repo set Local DisplayName \"My repository\"");
    setCommand->callback([&session, &action, set] {
        action = [&session, set] { return SetProperty(session, *set); };
    });

    auto create = std::make_shared<CreateOptions>();
    CLI::App* createCommand = app.add_subcommand(
        "create", "Create a repository from the template and point the list's entry at it");
    createCommand->add_option("KEY", create->key, "Local or Network")
        ->required()
        ->check(CLI::IsMember({"Local", "Network"}));
    createCommand->add_option("DATAFILE", create->dataFile, "The new repository's data file")
        ->required();
    createCommand->footer("Example: kvrepo create Local ~/repositories/mine/Repository.xml");
    createCommand->callback([&session, &action, create] {
        action = [&session, create] { return CreateRepository(session, *create); };
    });
}

}  // namespace kvtool
