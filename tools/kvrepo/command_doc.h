// What the manual page and the bash completion say about the tool's command
// line, read from the CLI11 application that the tool parses with: commands,
// nested commands, options, positional arguments, descriptions and footers.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace kvtool {

// What an option or a positional argument takes, for completion.
enum class ValueKind {
    kNone,    // nothing: a flag
    kText,    // any text
    kFile,    // a file name (the value's name says FILE)
    kKey,     // a repository key (the value's name ends in KEY: KEY, SRCKEY)
    kChoice,  // one of `choices` (a set the parser checks)
};

// An option or a positional argument.
struct ArgumentDoc {
    // "-h", "--help"; a positional argument's one name, "KEY".
    std::vector<std::string> names;
    // The value's name in usage lines, "FILE" or "TYPE"; empty for a flag.
    std::string value;
    ValueKind kind = ValueKind::kNone;
    std::vector<std::string> choices;
    std::string description;
    bool required = false;
    // Takes several values or may be given more than once.
    bool repeats = false;
    // --help and --version, which every command has or passes on.
    bool builtIn = false;
};

struct CommandDoc {
    std::string name;
    // The words that select it after the program name: {"repo", "get"}; none
    // for the program itself.
    std::vector<std::string> path;
    std::string description;
    std::string footer;
    // Options in the order they were added; positional arguments in order.
    std::vector<ArgumentDoc> options;
    std::vector<ArgumentDoc> positionals;
    std::vector<CommandDoc> subcommands;
    bool requiresSubcommand = false;
    // Options of the parent may follow it (CLI11's fallthrough).
    bool takesParentOptions = false;
};

// The command line of `app`, without what is hidden (an empty group).
CommandDoc DescribeCommand(const CLI::App& app);

// "repo get": the path as one string.
std::string JoinPath(const std::vector<std::string>& path);

}  // namespace kvtool
