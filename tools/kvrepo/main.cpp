// kvrepo: the command-line tool over the repository library. It lists
// repositories and items, reads and writes their properties, publishes,
// deletes, creates repositories, verifies and repairs data files, and copies
// items between repositories one at a time or syncs them all.
//
// Exit status: 0 success, 1 a failed operation, 2 bad usage.
#include <cstdio>
#include <sstream>

#include "app.h"
#include "foundation/platform/console.h"
#include "output.h"

namespace {

using namespace kvtool;

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

    CLI::App app;
    BuildApp(app, session, action);

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
