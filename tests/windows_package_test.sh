#!/usr/bin/env bash
# The Windows ZIP as a newcomer uses it: unpacked into a fresh folder, run
# under Wine with a fresh prefix, it has the manual page and the bash
# completion of its tool, lists the examples, creates a repository on a
# drive-letter path, publishes into it, lists the item back as JSON and
# verifies it clean. Usage: tests/windows_package_test.sh ZIP
set -euo pipefail
zip=$(realpath "$1")
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'WINEPREFIX="$work/prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"
python3 -c "import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall('unpacked')" "$zip"
top=$(find unpacked -maxdepth 2 -name bin -type d | head -1)
top=$(realpath "$(dirname "$top")")
kvrepo() { "$root/scripts/wine" "$work/prefix" "$top/bin/kvrepo.exe" "$@"; }
fail() { echo "windows_package_test: $*" >&2; exit 1; }

# The manual page and the bash completion (for Git Bash and MSYS), as the
# Debian package has them: LF line ends, a page that renders with a section
# for each of the tool's commands, a completion that offers those commands.
page="$top/share/man/man1/kvrepo.1"
completion="$top/share/bash-completion/completions/kvrepo"
[[ -f $page ]] || fail "the ZIP has no manual page"
[[ -f $completion ]] || fail "the ZIP has no bash completion"
if grep -q $'\r' "$page" "$completion"; then fail "the manual page or the completion has CR line ends"; fi
commands=$(kvrepo --help | awk '/^Subcommands:/ {on = 1; next} on && /^$/ {exit} on && /^  [^ ]/ {print $1}' | sort)
[[ -n $commands ]] || fail "kvrepo.exe --help lists no commands"
warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
[[ -z $warnings ]] || fail "groff warns about the manual page: $warnings"
text=$(groff -man -Tutf8 -P-cbou "$page")
for command in $commands; do
  grep -qx "   $command" <<<"$text" || fail "the manual page has no section for $command"
done
offered=$(bash --norc --noprofile -c 'source "$1" || exit 1; COMP_WORDS=(kvrepo ""); COMP_CWORD=1
  _kvrepo; printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" | sed '/^$/d' | sort)
[[ $offered == "$commands" ]] || fail "the completion offers '$(xargs <<<"$offered")', not '$(xargs <<<"$commands")'"

# The examples, from the unpacked folder.
listed=$(cd "$top" && kvrepo --list 'examples\Repositories.xml' items 'Dialogs/*' --all)
grep -q "Welcome dialog" <<<"$listed" || fail "the examples were not listed: $listed"
grep -q "Finish dialog" <<<"$listed" || fail "the network example was not listed: $listed"

# A repository on a drive-letter path (Z: is the Linux root under Wine).
mkdir -p "$work/data"
printf '<?xml version="1.0" encoding="utf-8"?>\r\n<Repositories>\r\n\t<Repository Key="Local" Local="1" Path="" DisplayName="Mine"/>\r\n</Repositories>\r\n' \
  >"$work/data/list.xml"
printf 'a dialog\r\n' >"$work/data/welcome.kvd"
windows_work="Z:${work//\//\\}\\data"
export KVREPO_LIST="$windows_work\\list.xml"
kvrepo create Local "$windows_work\\mine\\Repository.xml" >/dev/null || fail "create failed"
[[ -f "$work/data/mine/Repository.xml" ]] || fail "no data file was created"
kvrepo publish Local "$windows_work\\welcome.kvd" --type Dialogs --set DisplayName=Welcome </dev/null \
  >/dev/null || fail "publish failed"
json=$(kvrepo items 'Dialogs/*' --repo Local --json)
python3 - "$json" <<'PY' || fail "the published item was not listed back: $json"
import json, sys
items = json.loads(sys.argv[1])
assert [i["displayName"] for i in items] == ["Welcome"], items
assert items[0]["localCopy"].endswith("\\mine\\Dialogs\\welcome.kvd"), items
PY
kvrepo verify Local | grep -q "clean" || fail "verify did not find the repository clean"

# The C interface, for other compilers: the header, kvrepo.def listing the C
# functions, and a C program built by mingw's C compiler against the unpacked
# DLL alone, run from bin\ on the same repository.
[[ -f "$top/include/kvrepo/kvrepo_c.h" ]] || fail "the ZIP has no kvrepo_c.h"
def="$top/bin/kvrepo.def"
[[ -f $def ]] || fail "the ZIP has no kvrepo.def"
declared=$(python3 "$root/capi/header_functions.py" "$top/include/kvrepo/kvrepo_c.h" names | sort)
listed=$(awk '/^EXPORTS/ {on = 1; next} on && NF {print $1}' "$def" | sort)
[[ $declared == "$listed" ]] || fail "kvrepo.def does not list exactly the functions of kvrepo_c.h"
x86_64-w64-mingw32-gcc -std=c99 -pedantic-errors -Wall -Wextra -Werror -I"$top/include/kvrepo" \
  "$root/examples/c/list_items.c" -o "$top/bin/list_items.exe" "$top/bin/kvrepo.dll" ||
  fail "the C example does not build against the ZIP"
shown=$("$root/scripts/wine" "$work/prefix" "$top/bin/list_items.exe" "$windows_work\\list.xml")
grep -q "DisplayName  Welcome" <<<"$shown" || fail "the C example did not list the item: $shown"
echo "windows_package_test: the unpacked ZIP has its manual page and completion, listed, created, published, listed back and verified, and a C program built against it lists the item"
