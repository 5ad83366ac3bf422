#!/usr/bin/env bash
# The C interface's header and the library agree: every function kvrepo_c.h
# declares is exported by the library under its plain name, nothing else
# named kvrepo_ is, the module-definition file lists exactly them, and the
# header's version is the project's.
#   exports_test.sh HEADER LIBRARY VERSION [DEF OBJDUMP]
set -euo pipefail
header=$1 library=$2 version=$3 def=${4:-} objdump=${5:-}
here=$(dirname "$0")
declared=$(python3 "$here/../../capi/header_functions.py" "$header" names | sort)

if [[ -n "$def" ]]; then
  # A DLL: its export table, and the .def shipped beside it.
  exported=$("$objdump" -p "$library" |
    awk '/\[Ordinal\/Name Pointer\] Table/{table=1; next} table && NF==0{table=0} table{print $NF}' |
    grep '^kvrepo_' | sort)
  listed=$(awk '/^EXPORTS/{on=1; next} on && NF{print $1}' "$def" | sort)
  if [[ "$listed" != "$declared" ]]; then
    echo "kvrepo.def and the header differ:"; diff <(echo "$declared") <(echo "$listed") || true
    exit 1
  fi
else
  exported=$(nm -D --defined-only "$library" | awk '$2=="T"{print $3}' | grep '^kvrepo_' | sort)
fi
if [[ "$exported" != "$declared" ]]; then
  echo "the library's exports and the header differ (< header, > library):"
  diff <(echo "$declared") <(echo "$exported") || true
  exit 1
fi
major=$(sed -n 's/^#define KVREPO_VERSION_MAJOR \([0-9]*\)$/\1/p' "$header")
minor=$(sed -n 's/^#define KVREPO_VERSION_MINOR \([0-9]*\)$/\1/p' "$header")
patch=$(sed -n 's/^#define KVREPO_VERSION_PATCH \([0-9]*\)$/\1/p' "$header")
if [[ "$major.$minor.$patch" != "$version" ]]; then
  echo "the header says version $major.$minor.$patch, the project $version"
  exit 1
fi
echo "$(echo "$declared" | wc -l) functions declared and exported alike"
