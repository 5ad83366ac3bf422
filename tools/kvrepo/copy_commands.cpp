// copy and sync: items from one repository into another, through the
// library's CRepositoryItemCopier and CRepositorySync. Every copy is a
// publication in the destination, with its overwrite questions.
#include <algorithm>
#include <memory>

#include "commands.h"
#include "items.h"
#include "output.h"

namespace kvtool {
namespace {

struct OverwriteOptions {
    bool yes = false;
    bool noOverwrite = false;
};

struct CopyOptions : OverwriteOptions {
    std::string source;
    std::string destination;
    std::string itemPath;
};

struct SyncOptions : OverwriteOptions {
    std::string source;
    std::string destination;
    std::string type;
    bool update = false;
    bool dryRun = false;
};

bool Declined(long status) {
    return status == kv::status::kFileOverwriteDeclined ||
           status == kv::status::kFolderOverwriteDeclined;
}

// The two repositories, from one load of the list.
std::pair<CRepository*, CRepository*> Pair(Session& session, const OverwriteOptions& overwrite,
                                           const std::string& source,
                                           const std::string& destination) {
    if (source == destination)
        throw UsageError("the source and the destination are the same repository '" + source + "'");
    if (overwrite.yes)
        session.Status().SetOverwrite(ConsoleStatus::Overwrite::kYes);
    else if (overwrite.noOverwrite)
        session.Status().SetOverwrite(ConsoleStatus::Overwrite::kNo);
    const std::vector<CRepository*> found = session.Repositories({source, destination});
    return {found[0], found[1]};
}

// What went wrong with one item: the copier's own reason where it gave one,
// with a hint when nobody was asked.
std::string Problem(Session& session, long status, const _stringx& reason = _stringx()) {
    if (!reason.empty())
        return Text(reason);
    std::string text = kv::status::Describe(status);
    if (Declined(status) && session.Status().DeclinedUnasked())
        text += "; standard input is not a terminal, --yes overwrites";
    return text;
}

int Copy(Session& session, const CopyOptions& options) {
    const std::string itemPath = LibraryItemPath(options.itemPath);
    if (itemPath.size() >= 2 && itemPath.compare(itemPath.size() - 2, 2, "/*") == 0)
        throw UsageError("copy takes one item ('" + options.itemPath +
                         "' names a whole type; sync --type copies those)");
    const auto [source, destination] = Pair(session, options, options.source, options.destination);
    CRepositoryItemCopier::Copied copied;
    const long status = CRepositoryItemCopier(source, destination).Copy(itemPath.c_str(), &copied);
    if (status == ERROR_FILE_NOT_FOUND)
        throw Failure("no item '" + options.itemPath + "' with a file in repository '" +
                      options.source + "'");
    if (status != 0)
        throw Failure("cannot copy " + options.itemPath + " from '" + options.source + "' to '" +
                      options.destination + "': " + Problem(session, status, copied.problem));

    if (session.json)
        PrintJson({{"source", options.source},
                   {"destination", options.destination},
                   {"type", Text(copied.type)},
                   {"fileName", Text(copied.fileName)},
                   {"displayPath", Text(copied.displayPath)},
                   {"sourceFile", Text(copied.sourceFile)},
                   {"localCopy", Text(copied.targetFile)},
                   {"replaced", copied.replaced}});
    else
        Print((copied.replaced ? "Replaced " : "Copied ") + Text(copied.displayPath) + " from '" +
              options.source + "' to '" + options.destination + "': " + Text(copied.targetFile) +
              '\n');
    return kExitOk;
}

int Sync(Session& session, const SyncOptions& options) {
    const auto [source, destination] = Pair(session, options, options.source, options.destination);
    CRepositorySync sync(source, destination);
    std::vector<CRepositorySync::Entry> plan;
    if (const long status = sync.Plan(_stringx(options.type), options.update, plan))
        ThrowStatus("cannot compare '" + options.source + "' with '" + options.destination + "'",
                    status);
    if (!options.dryRun)
        sync.Apply(plan);

    int exitStatus = kExitOk;
    std::size_t done = 0, refusals = 0;
    nlohmann::json items = nlohmann::json::array();
    std::vector<std::vector<std::string>> rows;
    for (const CRepositorySync::Entry& entry : plan) {
        const std::string reason = CRepositorySync::GetReasonName(entry.reason);
        const bool refused = !entry.problem.empty();
        std::string action = refused ? "refused" : "would copy";
        if (!options.dryRun && !refused)
            action = entry.status == 0        ? (entry.copied.replaced ? "replaced" : "copied")
                     : Declined(entry.status) ? "declined"
                                              : "failed";
        else if (options.dryRun && !refused && entry.reason == CRepositorySync::Reason::kDiffers)
            action = "would replace";
        std::string name = action;  // for JSON: "would-copy"
        std::replace(name.begin(), name.end(), ' ', '-');
        nlohmann::json item = {{"type", Text(entry.type)},
                               {"fileName", Text(entry.fileName)},
                               {"item", Text(entry.displayPath)},
                               {"reason", reason},
                               {"action", name}};
        refusals += refused;
        if (!refused && !options.dryRun && entry.status == 0) {
            ++done;
            item["localCopy"] = Text(entry.copied.targetFile);
        } else if (refused || !options.dryRun) {
            const std::string problem =
                Problem(session, entry.status, refused ? entry.problem : entry.copied.problem);
            item["error"] = problem;
            Warn("cannot copy " + Text(entry.displayPath) + ": " + problem);
            exitStatus = kExitFailed;
        }
        if (!entry.destinationFile.empty())
            item["replaces"] = Text(entry.destinationFile);
        items.push_back(item);
        rows.push_back({action, reason, Text(entry.type), Text(entry.displayPath)});
    }
    if (session.json) {
        PrintJson({{"source", options.source},
                   {"destination", options.destination},
                   {"dryRun", options.dryRun},
                   {"update", options.update},
                   {"items", items}});
        return exitStatus;
    }
    if (!rows.empty())
        PrintTable({"ACTION", "REASON", "TYPE", "ITEM"}, rows);
    const std::string direction = " from '" + options.source + "' to '" + options.destination + "'";
    if (plan.empty())
        Print("Nothing to copy" + direction + '\n');
    else if (options.dryRun)
        Print(std::to_string(plan.size() - refusals) + " item(s) would be copied" + direction +
              (refusals ? ", " + std::to_string(refusals) + " refused" : std::string()) +
              " (dry run: nothing changed)\n");
    else
        Print(std::to_string(done) + " of " + std::to_string(plan.size()) + " item(s) copied" +
              direction + '\n');
    return exitStatus;
}

void AddOverwriteFlags(CLI::App& command, OverwriteOptions& options) {
    CLI::Option* yes =
        command.add_flag("--yes", options.yes, "Overwrite existing files without asking");
    CLI::Option* no =
        command.add_flag("--no-overwrite", options.noOverwrite, "Never overwrite existing files");
    yes->excludes(no);
}

}  // namespace

void AddCopyCommands(CLI::App& app, Session& session, Action& action) {
    auto copy = std::make_shared<CopyOptions>();
    CLI::App* copyCommand = app.add_subcommand(
        "copy", "Copy one item, with its properties, into another repository (publishes it there)");
    copyCommand->add_option("SRCKEY", copy->source, "Source repository key")->required();
    copyCommand->add_option("ITEMPATH", copy->itemPath, "Display path, e.g. Dialogs/welcome.kvd")
        ->required();
    copyCommand->add_option("DSTKEY", copy->destination, "Destination repository key")->required();
    AddOverwriteFlags(*copyCommand, *copy);
    copyCommand->footer(
        "The stored properties come along, except LocalCopy; a template brings its folder. "
        "Overwrite questions go to the terminal; without one, and without --yes, the answer is "
        "no, and a declined copy changes nothing.\nExample: kvrepo copy Local "
        "Dialogs/welcome.kvd Network");
    copyCommand->callback(
        [&session, &action, copy] { action = [&session, copy] { return Copy(session, *copy); }; });

    auto sync = std::make_shared<SyncOptions>();
    CLI::App* syncCommand = app.add_subcommand(
        "sync", "Copy every item the destination lacks (--update: also those that differ)");
    syncCommand->add_option("SRCKEY", sync->source, "Source repository key")->required();
    syncCommand->add_option("DSTKEY", sync->destination, "Destination repository key")->required();
    syncCommand->add_option("--type", sync->type, "Only items of this type")
        ->check(CLI::IsMember(ItemTypes()));
    syncCommand->add_flag("--update", sync->update,
                          "Also replace items whose files differ by content");
    syncCommand->add_flag("--dry-run", sync->dryRun, "Print what would be copied, change nothing");
    AddOverwriteFlags(*syncCommand, *sync);
    syncCommand->footer(
        "Items are matched by type and file name; content is compared byte by byte (a template "
        "with its folder). Nothing is deleted from the destination. Exit status 1 when any item "
        "was not copied (a declined overwrite too).\nExample: kvrepo sync Local Network --type "
        "Dialogs --update --dry-run");
    syncCommand->callback(
        [&session, &action, sync] { action = [&session, sync] { return Sync(session, *sync); }; });
}

}  // namespace kvtool
