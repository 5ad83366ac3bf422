// kvrepo: the command-line tool over the repository library. It lists
// repositories and items, reads and writes their properties, publishes,
// deletes, creates repositories, verifies data files, and copies items from
// one repository to another.
//
// Exit status: 0 success, 1 a failed operation, 2 bad usage.
#include <cstdio>
#include <sstream>

#include "commands.h"
#include "foundation/platform/console.h"
#include "output.h"

#ifndef KVREPO_VERSION
#define KVREPO_VERSION "unknown"
#endif

namespace {

using namespace kvtool;

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

// Runs the selected command; every failure becomes a message and a status.
int Run(const Action& action) {
    try {
        return action();
    } catch (const UsageError& error) {
        Warn(error.what());
        PrintError("Run with --help for more information.\n");
        return kExitUsage;
    } catch (const Failure& error) {
        Warn(error.what());
    } catch (CComException* error) {
        char text[512] = "";
        error->GetErrorMessage(text, sizeof text);
        Warn(std::string("component failure: ") + text);
        error->Delete();
    } catch (CException* error) {
        char text[512] = "";
        if (!error->GetErrorMessage(text, sizeof text))
            std::snprintf(text, sizeof text, "unknown failure");
        Warn(text);
        error->Delete();
    } catch (const std::exception& error) {
        Warn(error.what());
    }
    return kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
    // Arguments in the ANSI code page, which the library takes; one it cannot
    // hold is refused here rather than passed on with '?' in it.
    std::vector<std::string> arguments;
    std::size_t failed = 0;
    std::string failedText;
    if (!kv::platform::GetAnsiArguments(argc, argv, arguments, failed, failedText)) {
        kv::platform::WriteStandardText(
            kv::platform::StandardStream::kError,
            std::string(kProgram) + ": argument " + std::to_string(failed) + " (\"" + failedText +
                "\") has a character that the system's ANSI code page cannot hold\n");
        return kExitUsage;
    }
    std::vector<char*> argumentPointers;
    for (std::string& argument : arguments)
        argumentPointers.push_back(&argument[0]);

    Session session;
    Action action;

    CLI::App app("Repositories of reusable installation items: list, read, publish, verify, copy.",
                 kProgram);
    app.set_version_flag("--version", std::string(kProgram) + " " + KVREPO_VERSION);
    app.add_option("--list", session.listOption, "The repository-list file");
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

    try {
        app.parse(static_cast<int>(argumentPointers.size()), argumentPointers.data());
    } catch (const CLI::ParseError& error) {
        std::ostringstream out, err;
        const int status = app.exit(error, out, err);
        Print(out.str());
        PrintError(err.str());
        return status == 0 ? kExitOk : kExitUsage;
    }
    return Run(action);
}
