// verify: the library's CRepositoryVerifier over one repository or all of
// them, as a table or JSON. Nothing is changed.
#include <memory>

#include "commands.h"
#include "output.h"

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
    // Adds one repository's findings (or the list's, `key` empty) to the report.
    const auto report = [&](const std::string& key, const std::string& dataFile,
                            const std::vector<CRepositoryVerifier::Finding>& findings) {
        nlohmann::json found = nlohmann::json::array();
        std::size_t problems = 0;
        for (const CRepositoryVerifier::Finding& finding : findings) {
            const std::string kind = CRepositoryVerifier::GetKindName(finding.kind);
            found.push_back({{"kind", kind},
                             {"type", Text(finding.type)},
                             {"subject", Text(finding.subject)},
                             {"detail", Text(finding.detail)}});
            rows.push_back({key.empty() ? "(list)" : key, kind, Text(finding.type),
                            Text(finding.subject), Text(finding.detail)});
            problems += CRepositoryVerifier::IsProblem(finding.kind);
        }
        if (key.empty()) {
            if (!findings.empty())
                summary.push_back("repository list: " + std::to_string(findings.size()) +
                                  " finding(s)");
        } else {
            result.push_back({{"key", key}, {"dataFile", dataFile}, {"findings", found}});
            summary.push_back(
                key + ": " +
                (problems == 0 ? std::string("clean") : std::to_string(problems) + " finding(s)") +
                (findings.size() > problems
                     ? " (" + std::to_string(findings.size() - problems) + " save(s) in progress)"
                     : std::string()));
        }
        if (problems)
            exitStatus = kExitFailed;
        return found;
    };

    // The list's own entries first: what the library makes of odd ones.
    std::vector<CRepositoryVerifier::Finding> listFindings;
    if (CRepositoryVerifier::VerifyList(&session.Manager(),
                                        options.key.empty() ? nullptr : options.key.c_str(),
                                        listFindings) == 0 &&
        !listFindings.empty()) {
        const nlohmann::json found = report(std::string(), session.ListFile(), listFindings);
        result.push_back({{"list", session.ListFile()}, {"findings", found}});
    }
    // (VerifyList reads the file only: the repositories above stay valid.)
    for (CRepository* repository : repositories) {
        const std::string key = Text(repository->GetKey());
        const std::string dataFile = Text(repository->GetRepoDataFilePath());
        std::vector<CRepositoryVerifier::Finding> findings;
        if (const long status = CRepositoryVerifier(repository).Verify(findings)) {
            if (!options.key.empty())
                ThrowStatus("cannot verify repository '" + key + "'", status);
            Warn("skipped repository '" + key + "': " + kv::status::Describe(status));
            result.push_back({{"key", key},
                              {"dataFile", dataFile},
                              {"status", status},
                              {"error", kv::status::Describe(status)},
                              {"findings", nlohmann::json::array()}});
            exitStatus = kExitFailed;
            continue;
        }
        report(key, dataFile, findings);
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
        "Reports entries whose file is missing or matched by no pattern, files without an entry, "
        "FileName values that are not lower case or differ only in case, entries repeated for "
        "one file, missing group folders, group Keys that name no type or another one, repeated "
        "type elements, paths leading outside the repository, names no path reaches, temporary "
        "files left by an interrupted save (and, as no problem, those of a running save), and "
        "odd entries of the repository list. Exit status 0 when clean, 1 otherwise.\nExample: "
        "kvrepo verify Local");
    verify->callback([&session, &action, options] {
        action = [&session, options] { return Verify(session, *options); };
    });
}

}  // namespace kvtool
