// verify: compares a repository's data file with its folders and reports what
// does not match. Nothing is changed.
#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "commands.h"
#include "items.h"
#include "output.h"
#include "status_text.h"

namespace kvtool {
namespace {

namespace fs = std::filesystem;

struct Finding {
    std::string kind;
    std::string type;
    std::string subject;
    std::string detail;
};

// File names compare as the catalogue compares them: lower-cased by the
// library's own rule.
std::string Lower(const std::string& text) {
    return Text(kv::LowerFileName(_stringx(text)));
}

class Verifier {
public:
    explicit Verifier(CRepository& repository)
        : m_repository(repository),
          m_root(LocalPath(Text(repository.GetRepoDataFilePath())).parent_path()) {}

    // Fills `findings`; 0, or the status of a data file that cannot be read.
    long Run(std::vector<Finding>& findings) {
        std::vector<ItemGroup> groups;
        if (const long status = ReadItemGroups(m_repository, groups))
            return status;
        XMLIntercessor document;
        if (const long status = m_repository.OpenXmlFile(document))
            return status;
        for (const OLECHAR* type : CRepositoryItem::kItemTypes)
            if (const long status = CheckType(document, groups, Text(_stringx(type)), findings))
                return status;
        return 0;
    }

private:
    std::string Relative(const fs::path& path) const {
        return GenericPathText(path.lexically_relative(m_root));
    }

    long CheckType(XMLIntercessor& document, const std::vector<ItemGroup>& allGroups,
                   const std::string& type, std::vector<Finding>& findings) {
        auto report = [&findings, &type](const char* kind, const std::string& subject,
                                         const std::string& detail) {
            findings.push_back({kind, type, subject, detail});
        };

        // The folders of the groups the catalogue searches.
        std::vector<fs::path> folders;
        for (const ItemGroup& group : allGroups) {
            if (group.type != type || group.wildcard.empty())
                continue;
            const fs::path folder = m_root / LocalPath(group.name);
            folders.push_back(folder);
            std::error_code error;
            if (!IsWithin(m_root, folder))
                report("outside-repository", group.name,
                       "the folder of group '" + group.key + "' leads outside the repository");
            else if (!fs::is_directory(folder, error))
                report("missing-folder", group.name,
                       "the folder of group '" + group.key + "' is missing");
        }

        // The files the catalogue finds, by lower-cased name.
        ItemSelection found = SelectItems(m_repository, type + "/*");
        if (found.status != 0)
            return found.status;
        std::map<std::string, std::set<std::string>> files;
        std::map<std::string, std::string> firstPath;
        for (CRepositoryItem* item : found.items) {
            const fs::path path = LocalPath(Property(*item, OLESTR("LocalCopy")));
            if (!IsWithin(m_root, path)) {
                report("outside-repository", PathText(path),
                       "the item's file lies outside the repository");
                continue;
            }
            const std::string name = PathText(path.filename());
            files[Lower(name)].insert(name);
            firstPath.emplace(Lower(name), Relative(path));
        }
        for (const auto& [lower, names] : files)
            if (names.size() > 1)
                report("case-conflict", firstPath[lower],
                       "files " + *names.begin() + " and " + *names.rbegin() +
                           " differ only in letter case and share one entry");

        // The entries.
        std::vector<XmlAttribMap> entries;
        document.GetAllAttribValues(_stringx(type + "/RepoItem/ItemAttrib").c_str(), entries);
        std::map<std::string, std::set<std::string>> entryNames;
        std::set<std::string> exact;
        for (const XmlAttribMap& entry : entries) {
            const std::string fileName =
                Text(m_repository.GetAttribValue(_stringx(OLESTR("FileName")), entry));
            if (fileName.empty())
                continue;
            exact.insert(fileName);
            entryNames[Lower(fileName)].insert(fileName);
            if (fileName != Lower(fileName))
                report("not-lower-case", fileName,
                       "FileName is not lower case; the catalogue never matches it");
            const bool escapes =
                std::any_of(folders.begin(), folders.end(), [&](const fs::path& folder) {
                    return !IsWithin(m_root, folder / LocalPath(fileName));
                });
            if (escapes && fileName.find_first_of("/\\") != std::string::npos)
                report("outside-repository", fileName, "FileName leads outside the repository");
            else if (files.count(Lower(fileName)) == 0)
                report("missing-file", fileName, "the entry's file is missing");
        }
        for (const auto& [lower, names] : entryNames)
            if (names.size() > 1)
                report("case-conflict", *names.begin(),
                       "FileName values " + *names.begin() + " and " + *names.rbegin() +
                           " differ only in letter case");
        for (const auto& [lower, names] : files)
            if (exact.count(lower) == 0)
                report("unlisted-file", firstPath[lower], "the file has no ItemAttrib entry");
        return 0;
    }

    CRepository& m_repository;
    fs::path m_root;
};

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
        std::vector<Finding> findings;
        if (const long status = Verifier(*repository).Run(findings)) {
            if (!options.key.empty())
                ThrowStatus("cannot verify repository '" + key + "'", status);
            Warn("skipped repository '" + key + "': " + DescribeStatus(status));
            exitStatus = kExitFailed;
            continue;
        }
        nlohmann::json found = nlohmann::json::array();
        for (const Finding& finding : findings) {
            found.push_back({{"kind", finding.kind},
                             {"type", finding.type},
                             {"subject", finding.subject},
                             {"detail", finding.detail}});
            rows.push_back({key, finding.kind, finding.type, finding.subject, finding.detail});
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
        "not lower case or differ only in case, missing group folders and paths leading outside "
        "the repository. Exit status 0 when clean, 1 otherwise.\nExample: kvrepo verify Local");
    verify->callback([&session, &action, options] {
        action = [&session, options] { return Verify(session, *options); };
    });
}

}  // namespace kvtool
