#include "command_doc.h"

#include <algorithm>
#include <cctype>

namespace kvtool {
namespace {

// The type names CLI11 gives values by their C++ type; they say nothing that
// the option's own name does not say better.
bool IsGenericTypeName(const std::string& name) {
    static const char* const kGeneric[] = {"",      "TEXT",    "INT",  "UINT",
                                           "FLOAT", "BOOLEAN", "ENUM", "NUMBER"};
    return std::find(std::begin(kGeneric), std::end(kGeneric), name) != std::end(kGeneric);
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// "{Local,Network}", as CLI11 describes a set it checks, as its members.
std::vector<std::string> SetMembers(const std::string& description) {
    std::vector<std::string> members;
    if (description.size() < 2 || description.front() != '{' || description.back() != '}')
        return members;
    std::string member;
    for (std::size_t i = 1; i + 1 < description.size(); ++i) {
        if (description[i] == ',') {
            members.push_back(member);
            member.clear();
        } else {
            member += description[i];
        }
    }
    members.push_back(member);
    return members;
}

ArgumentDoc DescribeArgument(const CLI::Option& option) {
    ArgumentDoc argument;
    argument.description = option.get_description();
    argument.required = option.get_required();
    // The full type name is the value's name, then what each check describes,
    // joined by ':' ("TEXT:{Local,Network}", "TEXT:FILE").
    std::vector<std::string> parts = CLI::detail::split(option.get_type_name(), ':');
    const std::string typeName = parts.empty() ? std::string() : parts.front();
    if (option.get_positional()) {
        argument.names.push_back(option.get_name(true));
        argument.value = option.get_name(true);
        argument.repeats = option.get_items_expected_max() > 1;
    } else {
        for (const std::string& name : option.get_snames())
            argument.names.push_back("-" + name);
        for (const std::string& name : option.get_lnames())
            argument.names.push_back("--" + name);
        // A flag expects no value.
        if (option.get_items_expected_max() > 0) {
            const std::string& longName = option.get_lnames().empty() ? option.get_snames().front()
                                                                      : option.get_lnames().front();
            argument.value = IsGenericTypeName(typeName) ? Upper(longName) : typeName;
            argument.repeats = option.get_expected_max() > 1;
        }
    }
    if (argument.value.empty())
        return argument;

    argument.kind = ValueKind::kText;
    bool file = argument.value.find("FILE") != std::string::npos;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i].find("FILE") != std::string::npos)
            file = true;
        const std::vector<std::string> members = SetMembers(parts[i]);
        if (!members.empty())
            argument.choices = members;
    }
    if (!argument.choices.empty())
        argument.kind = ValueKind::kChoice;
    else if (file)
        argument.kind = ValueKind::kFile;
    else if (argument.value.size() >= 3 &&
             argument.value.compare(argument.value.size() - 3, 3, "KEY") == 0)
        argument.kind = ValueKind::kKey;
    return argument;
}

void AddArguments(const CLI::App& app, CommandDoc& command) {
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_group().empty())
            continue;
        ArgumentDoc argument = DescribeArgument(*option);
        argument.builtIn = option == app.get_help_ptr() || option == app.get_help_all_ptr() ||
                           option == app.get_version_ptr();
        (option->get_positional() && !option->nonpositional() ? command.positionals
                                                              : command.options)
            .push_back(std::move(argument));
    }
}

CommandDoc Describe(const CLI::App& app, std::vector<std::string> path) {
    CommandDoc command;
    command.name = app.get_name();
    command.path = std::move(path);
    command.description = app.get_description();
    command.footer = app.get_footer();
    command.requiresSubcommand = app.get_require_subcommand_min() > 0;
    command.takesParentOptions = app.get_parent() != nullptr && app.get_fallthrough();
    AddArguments(app, command);
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        if (sub->get_name().empty()) {
            // An option group: its options are the command's own.
            AddArguments(*sub, command);
            continue;
        }
        if (sub->get_group().empty())
            continue;
        std::vector<std::string> subPath = command.path;
        subPath.push_back(sub->get_name());
        command.subcommands.push_back(Describe(*sub, std::move(subPath)));
    }
    return command;
}

}  // namespace

CommandDoc DescribeCommand(const CLI::App& app) {
    return Describe(app, {});
}

std::string JoinPath(const std::vector<std::string>& path) {
    std::string joined;
    for (const std::string& word : path)
        joined += (joined.empty() ? "" : " ") + word;
    return joined;
}

}  // namespace kvtool
