#!/usr/bin/env bash
# The generated manual page and bash completion against the tool they
# describe, whose own --help is the reference: the page renders without a
# warning, has a section for every command and nested command, and shows the
# examples as typed; the completion offers those commands, every option of
# each command and the global ones, file names, set members and repository
# keys, and completing writes nothing.
#   docs_test.sh TOOL MAN_PAGE BASH_COMPLETION
# Exit 77 (skipped) when groff is not available.
set -euo pipefail

tool=$1
page=$2
completion=$3

command -v groff >/dev/null || { echo "groff not found: skipped"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "docs_test: $*" >&2; exit 1; }
export XDG_CONFIG_HOME=$work/config
unset KVREPO_LIST

# What "kvrepo WORDS --help" lists: its subcommands, its options.
help_of() { "$tool" "$@" --help; }
commands_of() { help_of "$@" | awk '/^Subcommands:/ {on = 1; next} on && /^$/ {exit} on && /^  [^ ]/ {print $1}'; }
options_of() { help_of "$@" | awk '/^Options:/ {on = 1; next} on && /^$/ {exit} on && /^  -/ {print $1}' | tr ',' '\n'; }

# Every command path, nested ones too: "repos", "repo", "repo get", ...
paths=()
walk() {
  local sub
  for sub in $(commands_of "$@"); do
    paths+=("${*:+$* }$sub")
    walk "$@" "$sub"
  done
}
walk
((${#paths[@]} > 0)) || fail "the tool's --help lists no commands"

# --- the manual page ---
warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
[[ -z "$warnings" ]] || fail "groff warns about the page: $warnings"
if command -v man >/dev/null; then
  man -l "$page" >/dev/null 2>"$work/man.err" || fail "man -l cannot show the page: $(cat "$work/man.err")"
fi
text=$(groff -man -Tutf8 -P-cbou "$page")
for path in "${paths[@]}"; do
  grep -qx "   $path" <<<"$text" || fail "the page has no section for '$path'"
done
for section in NAME SYNOPSIS DESCRIPTION COMMANDS "GLOBAL OPTIONS" "EXIT STATUS" ENVIRONMENT FILES EXAMPLES; do
  grep -qx "$section" <<<"$text" || fail "the page has no $section section"
done
# The examples of the tool's footer, character for character (quotes,
# backslashes, tildes and hyphens survive the escaping).
examples=$(help_of | grep "^  $(basename "$tool") " || true)
[[ -n "$examples" ]] || fail "the tool's --help shows no examples"
while IFS= read -r example; do
  grep -qF -- "${example#  }" <<<"$text" || fail "the page lacks the example: $example"
done <<<"$examples"
grep -qF -- '%APPDATA%\kvrepo\Repositories.xml' <<<"$text" || fail "the page mangles a backslash"

# --- the completion ---
# The completions bash would offer for the words given, the last one being
# completed, in bash without any completion package; one a line, sorted.
complete_words() {
  bash --norc --noprofile -c '
    source "$1" || exit 1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    _kvrepo
    printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$tool" "$@" | sed '/^$/d' | sort
}
sorted() { printf '%s\n' "$@" | sed '/^$/d' | sort; }

[[ "$(complete_words '')" == "$(sorted $(commands_of))" ]] ||
  fail "kvrepo <TAB> offers '$(complete_words '' | xargs)', not the commands"
globals=$(options_of)
for path in "${paths[@]}"; do
  read -ra words <<<"$path"
  subs=$(commands_of "${words[@]}")
  if [[ -n "$subs" ]]; then
    [[ "$(complete_words "${words[@]}" '')" == "$(sorted $subs)" ]] ||
      fail "kvrepo $path <TAB> offers '$(complete_words "${words[@]}" '' | xargs)', not '$(xargs <<<"$subs")'"
  fi
  offered=$(complete_words "${words[@]}" --)
  for option in $(options_of "${words[@]}") $globals; do
    [[ $option == --* ]] || continue
    grep -qx -- "$option" <<<"$offered" || fail "kvrepo $path --<TAB> does not offer $option"
  done
done

# Values: file names for --list (also written --list=) and for a FILE
# positional, the members of a checked set, and the option's value skipped
# when a later word is completed.
list=$work/Repositories.xml
cat >"$list" <<'XML'
<?xml version="1.0" encoding="utf-8"?>
<Repositories>
	<Repository Key="Local" Local="1" Path="" DisplayName="Local repository"/>
	<Repository Key="Team" Local="0" Path="" DisplayName="Team repository"/>
</Repositories>
XML
touch "$work/hello.kvd"
[[ "$(complete_words --list "$work/Rep")" == "$list" ]] || fail "--list <TAB> offers no file name"
[[ "$(complete_words --list = "$work/Rep")" == "$list" ]] || fail "--list=<TAB> offers no file name"
[[ "$(complete_words publish Local "$work/hel")" == "$work/hello.kvd" ]] ||
  fail "publish KEY <TAB> offers no file name"
[[ "$(complete_words publish Local "$work/hello.kvd" --type Dia)" == Dialogs ]] ||
  fail "publish --type <TAB> does not offer the item types"
[[ "$(complete_words --list "$list" repo '')" == "$(sorted get set)" ]] ||
  fail "the value of --list is taken for a command"

# Repository keys from the list, which is read and never written; without a
# list file nothing runs (the tool would create the per-user list).
before=$(cd "$work" && find . -printf '%p %s %T@\n' | sort)
[[ "$(complete_words --list "$list" verify '')" == "$(sorted Local Team)" ]] ||
  fail "verify <TAB> offers '$(complete_words --list "$list" verify '' | xargs)', not the keys"
[[ "$(KVREPO_LIST=$list complete_words items x --repo T)" == Team ]] ||
  fail "items --repo <TAB> does not offer the keys of \$KVREPO_LIST"
[[ -z "$(complete_words verify '')" ]] || fail "keys offered without a repository list"
after=$(cd "$work" && find . -printf '%p %s %T@\n' | sort)
[[ "$before" == "$after" ]] || fail "completing changed files: $(diff <(echo "$before") <(echo "$after"))"

echo "docs_test: passed"
