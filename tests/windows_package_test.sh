#!/usr/bin/env bash
# The Windows ZIP as a newcomer uses it: unpacked into a fresh folder, run
# under Wine with a fresh prefix, it lists the examples, creates a repository
# on a drive-letter path, publishes into it, lists the item back as JSON and
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
echo "windows_package_test: the unpacked ZIP listed, created, published, listed back and verified"
