// The tool's command line: the application with its global options, every
// command and the examples. The tool parses with it; kvrepo-docgen walks it to
// write the manual page and the bash completion, so that both describe exactly
// the commands the tool has.
#pragma once

#include <CLI/CLI.hpp>

#include "commands.h"
#include "session.h"

namespace kvtool {

// The tool's version, as --version prints it after the program name.
const char* Version();

// Names and describes `app` as the tool, and adds the global options (stored in
// `session`) and every command (which stores what it will do in `action`).
// Building reads no file and writes none: only running `action` does.
void BuildApp(CLI::App& app, Session& session, Action& action);

}  // namespace kvtool
