// verify: the library's CRepositoryVerifier over one repository or all of
// them, as a table or JSON. Nothing is changed.
#include <memory>

#include "commands.h"
#include "output.h"
#include "status_text.h"

namespace kvtool {
namespace {

struct VerifyOptions {
    std::string key;
};

int Verify(Session& session, const VerifyOptions& options) {
    std::vector<CRepository*> repositories;
    CRepositories* list = nullptr;
    if (!options.key.empty()) {
        repositories.push_back(&session.Repository(options.key));
    } else {
        const long status = session.Manager().GetRepositories(nullptr, &list, true);
        if (status != 0 || !list)
            ThrowStatus("cannot read the repository list " + session.ListFile(), status);
        for (CRepository* repository = list->MoveFirst(); repository; repository = list->MoveNext())
            if (!repository->GetRepoDataFilePath().empty())
                repositories.push_back(repository);
    }

    int exitStatus = kExitOk;
    nlohmann::json result = nlohmann::json::array();
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> summary;
    for (CRepository* repository : repositories) {
        const std::string key = Text(repository->GetKey());
        std::vector<CRepositoryVerifier::Finding> findings;
        if (const long status = CRepositoryVerifier(repository).Verify(findings)) {
            if (!options.key.empty())
                ThrowStatus("cannot verify repository '" + key + "'", status);
            Warn("skipped repository '" + key + "': " + DescribeStatus(status));
            exitStatus = kExitFailed;
            continue;
        }
        nlohmann::json found = nlohmann::json::array();
        for (const CRepositoryVerifier::Finding& finding : findings) {
            const std::string kind = CRepositoryVerifier::GetKindName(finding.kind);
            found.push_back({{"kind", kind},
                             {"type", Text(finding.type)},
                             {"subject", Text(finding.subject)},
                             {"detail", Text(finding.detail)}});
            rows.push_back(
                {key, kind, Text(finding.type), Text(finding.subject), Text(finding.detail)});
        }
        result.push_back({{"key", key},
                          {"dataFile", Text(repository->GetRepoDataFilePath())},
                          {"findings", found}});
        summary.push_back(key + ": " +
                          (findings.empty() ? std::string("clean")
                                            : std::to_string(findings.size()) + " finding(s)"));
        if (!findings.empty())
            exitStatus = kExitFailed;
    }
    if (session.json) {
        PrintJson(result);
    } else {
        if (!rows.empty())
            PrintTable({"REPOSITORY", "KIND", "TYPE", "SUBJECT", "DETAIL"}, rows);
        for (const std::string& line : summary)
            Print(line + '\n');
    }
    return exitStatus;
}

}  // namespace

void AddVerifyCommand(CLI::App& app, Session& session, Action& action) {
    auto options = std::make_shared<VerifyOptions>();
    CLI::App* verify = app.add_subcommand(
        "verify", "Check data files against the repository folders (changes nothing)");
    verify->add_option("KEY", options->key, "Repository key (default: every repository)");
    verify->footer(
        "Reports entries whose file is missing, files without an entry, FileName values that are "
        "not lower case or differ only in case, entries repeated for one file, missing group "
        "folders, paths leading outside the repository and temporary files left by an "
        "interrupted save. Exit status 0 when clean, 1 otherwise.\nExample: kvrepo verify Local");
    verify->callback([&session, &action, options] {
        action = [&session, options] { return Verify(session, *options); };
    });
}

}  // namespace kvtool
