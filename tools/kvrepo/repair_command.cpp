// repair: the library's CRepositoryRepairer over one repository, as a table or
// JSON of what it changed, or with --dry-run would change.
#include <memory>

#include "commands.h"
#include "output.h"

namespace kvtool {
namespace {

struct RepairOptions {
    std::string key;
    bool pruneMissing = false;
    bool dryRun = false;
};

int Repair(Session& session, const RepairOptions& options) {
    CRepository& repository = session.Repository(options.key);
    CRepositoryRepairer::Options repair;
    repair.pruneMissing = options.pruneMissing;
    repair.dryRun = options.dryRun;
    std::vector<CRepositoryRepairer::Change> changes;
    if (const long status = CRepositoryRepairer(&repository).Repair(repair, changes))
        ThrowStatus("cannot repair repository '" + options.key + "'", status);

    nlohmann::json made = nlohmann::json::array();
    std::vector<std::vector<std::string>> rows;
    std::size_t changed = 0;
    for (const CRepositoryRepairer::Change& change : changes) {
        const std::string kind = CRepositoryRepairer::GetKindName(change.kind);
        made.push_back({{"kind", kind},
                        {"type", Text(change.type)},
                        {"subject", Text(change.subject)},
                        {"detail", Text(change.detail)}});
        rows.push_back({kind, Text(change.type), Text(change.subject), Text(change.detail)});
        changed += change.kind != CRepositoryRepairer::ChangeKind::kLeftAlone;
    }
    if (session.json) {
        PrintJson({{"key", options.key},
                   {"dataFile", Text(repository.GetRepoDataFilePath())},
                   {"dryRun", options.dryRun},
                   {"changes", made}});
        return kExitOk;
    }
    if (!rows.empty())
        PrintTable({"CHANGE", "TYPE", "SUBJECT", "DETAIL"}, rows);
    const std::string count = std::to_string(changed) + " change(s)";
    const std::size_t left = changes.size() - changed;
    Print(options.key + ": " + (options.dryRun ? "would make " : "made ") + count +
          (left ? ", left " + std::to_string(left) + " alone" : std::string()) + '\n');
    return kExitOk;
}

}  // namespace

void AddRepairCommand(CLI::App& app, Session& session, Action& action) {
    auto options = std::make_shared<RepairOptions>();
    CLI::App* repair = app.add_subcommand(
        "repair", "Put a data file right with its repository folders, in one locked save");
    repair->add_option("KEY", options->key, "Repository key")->required();
    repair->add_flag("--prune-missing", options->pruneMissing,
                     "Also remove the entries whose file is missing");
    repair->add_flag("--dry-run", options->dryRun, "Print what would change; change nothing");
    repair->footer(
        "Adds entries for files that have none, writes FileName values in lower case where no "
        "other entry has that name, removes entries repeated exactly and temporary files that "
        "interrupted saves left and no running save holds; with --prune-missing also entries "
        "whose file is missing. What it cannot decide is listed as left-alone. Exit status 0 "
        "when the repair (or dry run) ran; run verify for what remains.\n"
        "Example: kvrepo repair Local --dry-run");
    repair->callback([&session, &action, options] {
        action = [&session, options] { return Repair(session, *options); };
    });
}

}  // namespace kvtool
