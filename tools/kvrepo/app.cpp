#include "app.h"

#include <string>

#include "output.h"

#ifndef KVREPO_VERSION
#define KVREPO_VERSION "unknown"
#endif

namespace kvtool {
namespace {

const char kExamples[] =
    "Examples:\n"
    "  kvrepo --list examples/Repositories.xml items 'Dialogs/*' --all\n"
    "  kvrepo repos --include-missing\n"
    "  kvrepo repo get Local DisplayName\n"
    "  kvrepo repo set Local DisplayName \"My repository\"\n"
    "  kvrepo items Dialogs/welcome.kvd --repo Local --json\n"
    "  kvrepo item get Local Dialogs/welcome.kvd DisplayName\n"
    "  kvrepo item set Local Dialogs/welcome.kvd Version 2.1\n"
    "  kvrepo publish Local welcome.kvd --type Dialogs --set DisplayName=Welcome\n"
    "  kvrepo delete Local Dialogs/welcome.kvd\n"
    "  kvrepo create Local ~/repositories/mine/Repository.xml\n"
    "  kvrepo verify Local\n"
    "  kvrepo repair Local --dry-run\n"
    "  kvrepo copy Local Dialogs/welcome.kvd Network --no-overwrite\n"
    "  kvrepo sync Local Network --type Dialogs --update --dry-run\n"
    "\n"
    "The repository list is --list, else $KVREPO_LIST, else\n"
    "$XDG_CONFIG_HOME/kvrepo/Repositories.xml (%APPDATA%\\kvrepo\\Repositories.xml on\n"
    "Windows), created on first use.";

}  // namespace

const char* Version() {
    return KVREPO_VERSION;
}

void BuildApp(CLI::App& app, Session& session, Action& action) {
    app.name(kProgram);
    app.description(
        "Repositories of reusable installation items: list, read, publish, verify, repair, copy.");
    app.set_version_flag("--version", std::string(kProgram) + " " + Version());
    // FILE names the value in the help and makes the completion offer file names.
    app.add_option("--list", session.listOption, "The repository-list file")->type_name("FILE");
    app.add_flag("--json", session.json, "Print results as JSON");
    // Global options may also follow the command.
    app.fallthrough();
    // Options are --name on every platform; on Windows "/x" stays a path.
    app.allow_windows_style_options(false);
    app.failure_message([](const CLI::App* failed, const CLI::Error& error) {
        return std::string(kProgram) + ": " + CLI::FailureMessage::simple(failed, error);
    });
    app.require_subcommand(1);

    AddRepositoryCommands(app, session, action);
    AddItemCommands(app, session, action);
    AddPublishCommand(app, session, action);
    AddVerifyCommand(app, session, action);
    AddRepairCommand(app, session, action);
    AddCopyCommands(app, session, action);
    // Set last: subcommands take the footer of their parent when they are added.
    app.footer(kExamples);
}

}  // namespace kvtool
