#include "man_page.h"

#include <cctype>

#include "output.h"

namespace kvtool {
namespace {

// How roff input spells a character that it must not hold as typed: the
// escape character, hyphens (minus signs, so that options can be copied),
// quotes, and what a terminal would show as a typographic character.
const char* RoffEscape(char c) {
    static const struct {
        char c;
        const char* escape;
    } kEscapes[] = {{'\\', "\\e"},  {'-', "\\-"},   {'\'', "\\(aq"}, {'`', "\\(ga"},
                    {'"', "\\(dq"}, {'~', "\\(ti"}, {'^', "\\(ha"}};
    for (const auto& entry : kEscapes)
        if (entry.c == c)
            return entry.escape;
    return nullptr;
}

// `text` for a roff text line or a quoted macro argument, escaped, and no line
// starting with a control character.
std::string Roff(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '.' && (out.empty() || out.back() == '\n'))
            out += "\\&";
        const char* escape = RoffEscape(c);
        out += escape ? escape : std::string(1, c);
    }
    return out;
}

std::string Bold(const std::string& text) {
    return "\\fB" + Roff(text) + "\\fR";
}

std::string Italic(const std::string& text) {
    return "\\fI" + Roff(text) + "\\fR";
}

// A description as a sentence: a full stop at its end.
std::string Sentence(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    if (!text.empty() && text.back() != '.' && text.back() != '!' && text.back() != '?')
        text += '.';
    return text;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A footer read as paragraphs of text and runs of example command lines (those
// that start with the program's name, also after a label such as "Example:").
struct FooterPart {
    bool example = false;
    // A text line ending in ':' right before examples: "Examples:".
    bool label = false;
    std::vector<std::string> lines;
};

std::vector<FooterPart> ReadFooter(const std::string& footer, const std::string& program) {
    std::vector<FooterPart> parts;
    auto add = [&parts](bool example, const std::string& line) {
        if (parts.empty() || parts.back().example != example)
            parts.push_back({example, false, {}});
        parts.back().lines.push_back(line);
    };
    std::size_t start = 0;
    while (start <= footer.size()) {
        std::size_t end = footer.find('\n', start);
        if (end == std::string::npos)
            end = footer.size();
        const std::string line = Trim(footer.substr(start, end - start));
        start = end + 1;
        const std::string command = program + " ";
        const std::size_t labelEnd = line.find(": " + command);
        if (line.empty()) {
            parts.push_back({false, false, {}});
        } else if (line.compare(0, command.size(), command) == 0) {
            if (!parts.empty() && !parts.back().example && parts.back().lines.size() == 1 &&
                parts.back().lines.front().back() == ':')
                parts.back().label = true;
            add(true, line);
        } else if (labelEnd != std::string::npos && line.find(' ') > labelEnd) {
            parts.push_back({false, true, {line.substr(0, labelEnd + 1)}});
            add(true, line.substr(labelEnd + 2));
        } else {
            add(false, line);
        }
    }
    return parts;
}

void WriteExamples(std::ostream& out, const std::vector<std::string>& lines) {
    out << ".PP\n.RS 4\n.nf\n";
    for (const std::string& line : lines)
        out << Roff(line) << '\n';
    out << ".fi\n.RE\n";
}

// The footer's text parts, its examples, or both; a label is text that
// belongs to its examples and is shown only with both.
void WriteFooter(std::ostream& out, const std::vector<FooterPart>& parts, bool text,
                 bool examples) {
    for (const FooterPart& part : parts) {
        if (part.lines.empty())
            continue;
        if (part.example) {
            if (examples)
                WriteExamples(out, part.lines);
            continue;
        }
        if (part.label ? !(text && examples) : !text)
            continue;
        out << ".PP\n";
        for (const std::string& line : part.lines)
            out << Roff(line) << '\n';
    }
}

// "--list FILE" as a tagged paragraph's tag, or "KEY".
std::string Tag(const ArgumentDoc& argument, bool positional) {
    if (positional)
        return Italic(argument.value) + (argument.repeats ? " ..." : "");
    std::string tag;
    for (const std::string& name : argument.names)
        tag += (tag.empty() ? "" : ", ") + Bold(name);
    if (!argument.value.empty())
        tag += " " + Italic(argument.value);
    return tag;
}

void WriteArgument(std::ostream& out, const ArgumentDoc& argument, bool positional) {
    std::string description = Sentence(argument.description);
    bool listed = !argument.choices.empty();
    for (const std::string& choice : argument.choices)
        listed = listed && description.find(choice) != std::string::npos;
    if (!argument.choices.empty() && !listed) {
        std::string choices;
        for (const std::string& choice : argument.choices)
            choices += (choices.empty() ? "" : ", ") + choice;
        description += (description.empty() ? "" : " ") + std::string("One of: ") + choices + ".";
    }
    if (argument.repeats && !positional && description.find("repeatable") == std::string::npos)
        description += " May be given more than once.";
    out << ".TP\n" << Tag(argument, positional) << '\n' << Roff(description) << '\n';
}

// "[--key KEY]": one argument in a usage line, kept on one output line.
std::string UsageWord(const ArgumentDoc& argument, bool positional) {
    std::string word = positional ? Italic(argument.value) : Bold(argument.names.back());
    if (!positional && !argument.value.empty())
        word += "\\ " + Italic(argument.value);
    if (!argument.required)
        word = "[" + word + "]";
    if (argument.repeats)
        word += "...";
    return word;
}

std::string Usage(const std::string& program, const CommandDoc& command) {
    std::string usage = Bold(program + (command.path.empty() ? "" : " " + JoinPath(command.path)));
    for (const ArgumentDoc& argument : command.positionals)
        usage += " " + UsageWord(argument, true);
    for (const ArgumentDoc& argument : command.options)
        if (!argument.builtIn)
            usage += " " + UsageWord(argument, false);
    if (!command.subcommands.empty())
        usage += command.requiresSubcommand ? " " + Italic("COMMAND") + " ..."
                                            : " [" + Italic("COMMAND") + " ...]";
    return usage;
}

void WriteCommand(std::ostream& out, const std::string& program, const CommandDoc& command) {
    out << ".SS \"" << Roff(JoinPath(command.path)) << "\"\n"
        << Usage(program, command) << "\n.PP\n"
        << Roff(Sentence(command.description)) << '\n';
    for (const ArgumentDoc& argument : command.positionals)
        WriteArgument(out, argument, true);
    for (const ArgumentDoc& argument : command.options)
        if (!argument.builtIn)
            WriteArgument(out, argument, false);
    WriteFooter(out, ReadFooter(command.footer, program), true, true);
    for (const CommandDoc& sub : command.subcommands)
        WriteCommand(out, program, sub);
}

void Tagged(std::ostream& out, const std::string& tag, const std::string& text) {
    out << ".TP\n" << tag << '\n' << Roff(text) << '\n';
}

void Section(std::ostream& out, const std::string& title) {
    out << ".SH \"" << Roff(title) << "\"\n";
}

}  // namespace

void WriteManPage(std::ostream& out, const CommandDoc& program, const std::string& version) {
    const std::string& name = program.name;
    std::string upper = name;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string summary = program.description;
    if (!summary.empty())
        summary[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(summary[0])));
    while (!summary.empty() && summary.back() == '.')
        summary.pop_back();
    const std::vector<FooterPart> footer = ReadFooter(program.footer, name);
    bool globalsFollow = false;
    for (const CommandDoc& command : program.subcommands)
        globalsFollow = globalsFollow || command.takesParentOptions;

    out << ".\\\" Written by " << Roff(name)
        << "-docgen from the tool's command definitions; change those, not this file.\n"
        << ".TH " << Roff(upper) << " 1 \"\" \"" << Roff(name + " " + version)
        << "\" \"User Commands\"\n"
        // Left-aligned and unhyphenated, so that names, paths and options stay whole.
        << ".ad l\n.nh\n";
    Section(out, "NAME");
    out << Roff(name) << " \\- " << Roff(summary) << '\n';

    Section(out, "SYNOPSIS");
    out << Usage(name, program) << "\n.br\n"
        << Bold(name) << " [" << Italic("COMMAND") << " ...] " << Bold("--help") << "\n.br\n"
        << Bold(name) << ' ' << Bold("--version") << '\n';

    Section(out, "DESCRIPTION");
    out << Roff(Sentence(program.description)) << '\n';
    WriteFooter(out, footer, true, false);
    out << ".PP\n"
        << Roff("Each command is described below; \"" + name +
                " COMMAND --help\" prints the same on the terminal.");
    if (globalsFollow)
        out << Roff(" The global options may also follow the command.");
    out << '\n';

    Section(out, "COMMANDS");
    for (const CommandDoc& command : program.subcommands)
        WriteCommand(out, name, command);

    Section(out, "GLOBAL OPTIONS");
    for (const ArgumentDoc& argument : program.options)
        WriteArgument(out, argument, false);

    Section(out, "EXIT STATUS");
    Tagged(out, Bold(std::to_string(kExitOk)), "Success.");
    Tagged(out, Bold(std::to_string(kExitFailed)),
           "A failed operation: the message on standard error says what failed and what the "
           "library's status means. Commands that check or gather also end so when they found "
           "something or skipped what they could not read (see each command).");
    Tagged(out, Bold(std::to_string(kExitUsage)),
           "Bad usage: an unknown command or option, a missing or invalid argument, or an "
           "argument that the system's code page cannot hold.");

    Section(out, "ENVIRONMENT");
    Tagged(out, Bold("KVREPO_LIST"), "The repository-list file when --list is not given.");
    Tagged(out, Bold("XDG_CONFIG_HOME"),
           "The per-user settings folder, which holds the per-user repository list "
           "kvrepo/Repositories.xml; when it is unset or empty, $HOME/.config.");
    Tagged(out, Bold("KV_SUPPORT_DIR"),
           "The support folder, which holds RepositoryTpl.xml, the template of every new "
           "repository; by default share/kvrepo of the installation.");
    Tagged(out, Bold("KV_LOCK_TIMEOUT_MS"),
           "How long, in milliseconds, a write waits for another writer's lock on a data file; "
           "by default 10000.");

    Section(out, "FILES");
    Tagged(out, Italic("$XDG_CONFIG_HOME/kvrepo/Repositories.xml"),
           "The per-user repository list, used when neither --list nor KVREPO_LIST names one. "
           "It is created on first use with an empty \"Local\" and \"Network\" entry.");
    Tagged(out, Italic(".NAME.lock"),
           "Beside the data file NAME of a repository: the lock that writers take, made by the "
           "first write and kept. Leave it in place.");
    Tagged(out, Italic("share/kvrepo/RepositoryTpl.xml"),
           "In the installation: the template data file that create starts every repository "
           "from.");

    Section(out, "EXAMPLES");
    WriteFooter(out, footer, false, true);
}

}  // namespace kvtool
