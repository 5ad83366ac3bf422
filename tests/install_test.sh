#!/usr/bin/env bash
# Installs the build into a temporary prefix, moves the prefix elsewhere, and
# uses the installed tree alone: the manual page and bash completion are in
# place, the installed tool creates a repository in a fresh per-user list,
# publishes a file and lists it; a small program finds the package with
# find_package and with pkg-config, builds and runs. Then checks the Debian
# package that CPack makes.
#   install_test.sh BUILD_DIR CXX_COMPILER SANITIZE(ON|OFF)
# Exit 77 (skipped) when cmake is not available.
set -euo pipefail

build=$1
compiler=$2
sanitize=${3:-OFF}

command -v cmake >/dev/null || { echo "cmake not found: skipped"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "install_test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/staged" >/dev/null
# Nothing may point back at the staging folder or the build tree.
mv "$work/staged" "$work/prefix"
prefix=$work/prefix
libdir=$(dirname "$(find "$prefix" -name 'libkvrepo.so' | head -n 1)")
for f in "$prefix/bin/kvrepo" "$libdir/msxml4.dll" "$libdir/scrrun.dll" "$libdir/KvAppServices.dll" \
         "$prefix/share/kvrepo/RepositoryTpl.xml" "$prefix/include/kvrepo/kvrepo.h" \
         "$libdir/cmake/kvrepo/kvrepoConfig.cmake" "$libdir/pkgconfig/kvrepo.pc" \
         "$prefix/share/man/man1/kvrepo.1" "$prefix/share/bash-completion/completions/kvrepo"; do
  [[ -e "$f" ]] || fail "not installed: ${f#"$prefix"/}"
done

# The installed tool, on a per-user list it creates itself.
export XDG_CONFIG_HOME=$work/config
unset KVREPO_LIST LD_LIBRARY_PATH
kvrepo=$prefix/bin/kvrepo
"$kvrepo" --version >/dev/null || fail "the installed tool does not start"
"$kvrepo" create Local "$work/repo/Repository.xml" >/dev/null
printf 'Title=Hello\n' >"$work/hello.kvd"
"$kvrepo" publish Local "$work/hello.kvd" --type Dialogs --set DisplayName=Hello >/dev/null
listed=$("$kvrepo" items 'Dialogs/*' --local)
grep -q "Hello .*hello.kvd .*Local" <<<"$listed" || fail "published item not listed: $listed"
[[ -f "$XDG_CONFIG_HOME/kvrepo/Repositories.xml" ]] || fail "no per-user list"
"$kvrepo" verify Local >/dev/null || fail "the published repository does not verify clean"

# The library exports its own classes and helpers, no Win32 or COM name of the
# platform layer it is built on.
if command -v nm >/dev/null; then
  exported=$(nm -D --defined-only "$libdir/libkvrepo.so" | c++filt)
  win32=$(grep -E ' (CreateFileA|GetLastError|SetLastError|SysAllocString|SysFreeString|VariantInit|VariantClear|CoCreateInstance|LoadLibraryA|FindFirstFileA|MultiByteToWideChar|GetFileAttributesA|ReplaceFileA|LockFileEx|IID_[A-Za-z]+|GUID_NULL)\b' <<<"$exported" || true)
  [[ -z "$win32" ]] || fail "the library exports platform names: $win32"
fi

# A consumer of the installed package. It has functions of its own named as
# Win32 ones: they compile beside kvrepo.h, and its calls reach them while the
# library keeps its own.
mkdir -p "$work/consumer"
cat >"$work/consumer/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.16)
project(consumer LANGUAGES CXX)
find_package(kvrepo CONFIG REQUIRED)
add_executable(consumer main.cpp)
target_link_libraries(consumer PRIVATE kvrepo::kvrepo)
CMAKE
cat >"$work/consumer/main.cpp" <<'CPP'
// Counts the repositories of a list file whose data files exist, and the
// findings of verifying the first.
#include <cstdio>

#include "kvrepo.h"

int CreateFileA(const char*) {
    return 42;
}
unsigned long GetLastError() {
    return 7;
}

class Quiet : public IRepoStatus {
public:
    long OnError(const _stringx& text) override { return std::printf("%s\n", text.narrow()); }
    long OnStatus(const _stringx&) override { return 0; }
};

int main(int argc, char** argv) {
    Quiet status;
    CRepositoryMgr manager(argc > 1 ? argv[1] : "", &status);
    CRepositories* list = nullptr;
    if (manager.GetRepositories(nullptr, &list, false) != 0)
        return 1;
    if (CreateFileA("x") != 42 || GetLastError() != 7)
        return 3;
    std::vector<CRepositoryVerifier::Finding> findings;
    if (CRepositoryVerifier(list->MoveFirst()).Verify(findings) != 0)
        return 4;
    std::printf("%ld %zu\n", list->GetCount(), findings.size());
    return 0;
}
CPP
flags=""
[[ "$sanitize" == ON ]] && flags="-fsanitize=address,undefined"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S "$work/consumer" -B "$work/consumer/build" "${generator[@]}" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$compiler" \
  -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$work/consumer/build" >/dev/null
count=$("$work/consumer/build/consumer" "$XDG_CONFIG_HOME/kvrepo/Repositories.xml")
[[ "$count" == "1 0" ]] || fail "the consumer counted '$count' repositories and findings, not '1 0'"

# pkg-config finds the same library.
if command -v pkg-config >/dev/null; then
  export PKG_CONFIG_PATH=$libdir/pkgconfig
  "$compiler" -std=c++17 $flags "$work/consumer/main.cpp" -o "$work/consumer/by-pkg-config" \
    $(pkg-config --cflags --libs kvrepo) -Wl,-rpath,"$libdir"
  count=$("$work/consumer/by-pkg-config" "$XDG_CONFIG_HOME/kvrepo/Repositories.xml")
  [[ "$count" == "1 0" ]] || fail "the pkg-config consumer counted '$count' repositories and findings"
  # A C program, built by the C compiler, against the installed C header.
  source=$(cd "$(dirname "$0")/.." && pwd)
  case "$compiler" in  # the C compiler of the same family
    *clang++) ccompiler=${compiler%++} ;;
    *g++) ccompiler=${compiler%++}cc ;;
    *) ccompiler=cc ;;
  esac
  # A sanitized library needs the sanitizers' C++ parts, which a C link leaves out.
  clibs=""
  [[ "$sanitize" == ON && "$ccompiler" == *clang ]] && clibs="-fsanitize-link-c++-runtime -lstdc++"
  "$ccompiler" -std=c99 -pedantic-errors -Wall -Wextra -Werror $flags "$source/examples/c/list_items.c" \
    -o "$work/consumer/list-items" $(pkg-config --cflags --libs kvrepo) -Wl,-rpath,"$libdir" $clibs
  "$work/consumer/list-items" "$XDG_CONFIG_HOME/kvrepo/Repositories.xml" >/dev/null ||
    fail "the C consumer of the installed header failed"
fi
# The Debian package holds the same tree under /usr.
if command -v dpkg-deb >/dev/null; then
  cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" >/dev/null
  contents=$(dpkg-deb -c "$work"/package/kvrepo_*.deb)
  for f in usr/bin/kvrepo usr/lib/msxml4.dll usr/share/kvrepo/RepositoryTpl.xml \
           usr/include/kvrepo/kvrepo.h usr/include/kvrepo/kvrepo_c.h usr/lib/pkgconfig/kvrepo.pc usr/share/man/man1/kvrepo.1 \
           usr/share/bash-completion/completions/kvrepo; do
    grep -q "\./$f\$" <<<"$contents" || fail "not in the Debian package: $f"
  done
fi
echo "install_test: passed"
