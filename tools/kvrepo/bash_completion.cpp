#include "bash_completion.h"

#include <algorithm>
#include <cctype>

namespace kvtool {
namespace {

// The script's fixed part; "@NAME@" is the program's name, "@FUNCTION@" the
// prefix of the script's shell functions. It needs bash alone, no completion
// package. Repository keys come from "repos --include-missing --json", run
// only when the list it reads exists already (the tool would create the
// per-user one).
const char kScript[] = R"sh(
# Sets kind to what option $1 of the current command takes ("-": nothing);
# fails for an option that the command does not have.
@FUNCTION@_kind() {
    local entry
    kind=
    for entry in "${options[@]}"; do
        if [[ ${entry%%=*} == "$1" ]]; then
            kind=${entry#*=}
            return 0
        fi
    done
    return 1
}

# The keys of the repository list $1, else $KVREPO_LIST, else the per-user
# list; nothing when that file does not exist or the tool takes over 2 s.
@FUNCTION@_keys() {
    local list=$1 program=${COMP_WORDS[0]}
    [[ $program == '~/'* ]] && program=$HOME/${program#'~/'}
    [[ $list == '~/'* ]] && list=$HOME/${list#'~/'}
    [[ -n $list ]] || list=${KVREPO_LIST:-${XDG_CONFIG_HOME:-$HOME/.config}/kvrepo/Repositories.xml}
    [[ -f $list ]] && command -v timeout >/dev/null || return 0
    timeout 2 "$program" --list "$list" repos --include-missing --json </dev/null 2>/dev/null |
        sed -n 's/^ *"key": *"\([^"\\]*\)",\{0,1\}$/\1/p'
}

# Completes $cur as a value of kind $1; $2 is the repository list given.
@FUNCTION@_values() {
    case $1 in
        file)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur") ;;
        key) mapfile -t COMPREPLY < <(compgen -W "$(@FUNCTION@_keys "$2")" -- "$cur") ;;
        choice:*) mapfile -t COMPREPLY < <(compgen -W "${1#choice:}" -- "$cur") ;;
    esac
}

@FUNCTION@() {
    local cur=${COMP_WORDS[COMP_CWORD]} path='' word kind value='' list='' count=0 ended=0 i
    local -a commands options positionals names
    @FUNCTION@_describe ''
    # The words before the cursor: commands select their command, options may
    # take the next word (bash splits "--list=x" into three), the rest are
    # positional arguments.
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ -n $value ]]; then
            [[ $word == = ]] && continue
            [[ $value == --list ]] && list=$word
            value=
        elif ((!ended)) && [[ $word == -- ]]; then
            ended=1
        elif ((!ended)) && [[ $word == -* ]]; then
            if [[ $word != *=* ]] && @FUNCTION@_kind "$word" && [[ $kind != - ]]; then
                value=$word
            fi
        elif ((count == 0)) && [[ " ${commands[*]} " == *" $word "* ]]; then
            path=${path:+$path }$word
            @FUNCTION@_describe "$path"
        else
            count=$((count + 1))
        fi
    done

    COMPREPLY=()
    if [[ -n $value ]]; then
        [[ $cur == = ]] && cur=
        @FUNCTION@_kind "$value"
        @FUNCTION@_values "$kind" "$list"
        return 0
    fi
    if ((count == 0)) && [[ $cur != -* && ${#commands[@]} -gt 0 ]]; then
        mapfile -t COMPREPLY < <(compgen -W "${commands[*]}" -- "$cur")
        return 0
    fi
    kind=${positionals[count]-}
    if [[ -z $kind && ${#positionals[@]} -gt 0 ]]; then
        kind=${positionals[${#positionals[@]} - 1]}
        [[ $kind == *... ]] || kind=
    fi
    if ((!ended)) && [[ $cur == -* || -z $kind ]]; then
        for word in "${options[@]}"; do
            names+=("${word%%=*}")
        done
        mapfile -t COMPREPLY < <(compgen -W "${names[*]}" -- "$cur")
    else
        @FUNCTION@_values "${kind%...}" "$list"
    fi
    return 0
}
complete -F @FUNCTION@ @NAME@
)sh";

std::string ShellWord(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string KindWord(const ArgumentDoc& argument) {
    switch (argument.kind) {
        case ValueKind::kNone:
            return "-";
        case ValueKind::kFile:
            return "file";
        case ValueKind::kKey:
            return "key";
        case ValueKind::kChoice: {
            std::string word = "choice:";
            for (const std::string& choice : argument.choices)
                word += (word.back() == ':' ? "" : " ") + choice;
            return word;
        }
        case ValueKind::kText:
            break;
    }
    return "text";
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// One branch of the describe function per command; `inherited` holds the
// "NAME=KIND" words of the options that its parent passes on.
void WriteCommand(std::ostream& out, const CommandDoc& command,
                  const std::vector<std::string>& inherited) {
    std::vector<std::string> options;
    std::vector<std::string> names;
    for (const ArgumentDoc& argument : command.options) {
        for (const std::string& name : argument.names) {
            options.push_back(name + "=" + KindWord(argument));
            names.push_back(name);
        }
    }
    if (command.takesParentOptions) {
        for (const std::string& option : inherited) {
            const std::string name = option.substr(0, option.find('='));
            if (std::find(names.begin(), names.end(), name) == names.end())
                options.push_back(option);
        }
    }
    out << "        " << ShellWord(JoinPath(command.path)) << ")\n            commands=(";
    for (const CommandDoc& sub : command.subcommands)
        out << (&sub == &command.subcommands.front() ? "" : " ") << ShellWord(sub.name);
    out << ")\n            options=(";
    for (const std::string& option : options)
        out << (&option == &options.front() ? "" : " ") << ShellWord(option);
    out << ")\n            positionals=(";
    for (const ArgumentDoc& argument : command.positionals)
        out << (&argument == &command.positionals.front() ? "" : " ")
            << ShellWord(KindWord(argument) + (argument.repeats ? "..." : ""));
    out << ") ;;\n";
    for (const CommandDoc& sub : command.subcommands)
        WriteCommand(out, sub, options);
}

}  // namespace

void WriteBashCompletion(std::ostream& out, const CommandDoc& program) {
    std::string function = "_" + program.name;
    std::replace_if(
        function.begin(), function.end(),
        [](char c) { return !std::isalnum(static_cast<unsigned char>(c)) && c != '_'; }, '_');
    out << "# bash completion for " << program.name << ". Written by " << program.name
        << "-docgen from the tool's command\n# definitions; change those, not this file.\n\n"
        << "# Sets, for the command selected by the words $1 (\"\" for the program):\n"
        << "# commands, its subcommands; options, NAME=KIND for each option it takes\n"
        << "# (KIND: - for none, text, file, key or choice:MEMBERS...); positionals,\n"
        << "# the KIND of each positional argument (a last one ending in ... repeats).\n"
        << function << "_describe() {\n    case $1 in\n";
    WriteCommand(out, program, {});
    out << "    esac\n}\n"
        << Replace(Replace(kScript, "@FUNCTION@", function), "@NAME@", program.name);
}

}  // namespace kvtool
