// The tool's commands. Each group adds its subcommands to the application;
// the subcommand that the command line selects stores what it will do in
// `action`, which main runs once parsing has succeeded.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>

#include "session.h"

namespace kvtool {

// Runs the selected command; returns its exit status.
using Action = std::function<int()>;

// repos, repo get, repo set, create.
void AddRepositoryCommands(CLI::App& app, Session& session, Action& action);
// items, item get, item set, delete.
void AddItemCommands(CLI::App& app, Session& session, Action& action);
// publish.
void AddPublishCommand(CLI::App& app, Session& session, Action& action);
// verify.
void AddVerifyCommand(CLI::App& app, Session& session, Action& action);
// repair.
void AddRepairCommand(CLI::App& app, Session& session, Action& action);
// copy, sync.
void AddCopyCommands(CLI::App& app, Session& session, Action& action);

}  // namespace kvtool
