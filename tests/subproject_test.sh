#!/usr/bin/env bash
# A consumer that adds the project with add_subdirectory and builds only its
# own target must get the component modules beside the library: they are
# loaded at run time, not linked, so only the target's dependencies bring them.
#   subproject_test.sh SOURCE_DIR CXX_COMPILER
# Exit 77 (skipped) when cmake is not available.
set -euo pipefail

source=$1
compiler=$2
command -v cmake >/dev/null || { echo "cmake not found: skipped"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "subproject_test: $*" >&2; exit 1; }

mkdir -p "$work/consumer"
cat >"$work/consumer/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(consumer LANGUAGES CXX)
add_subdirectory("$source" kvrepo)
add_executable(consumer main.cpp)
target_link_libraries(consumer PRIVATE kvrepo::kvrepo)
CMAKE
cat >"$work/consumer/main.cpp" <<'CPP'
// Creates a repository in a list file and counts the list's repositories:
// the XML document, the services component and the template all take part.
#include <cstdio>

#include "kvrepo.h"

class Loud : public IRepoStatus {
public:
    long OnError(const _stringx& text) override { return std::printf("%s\n", text.narrow()); }
    long OnStatus(const _stringx&) override { return 0; }
};

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    Loud status;
    CRepositoryMgr manager(argv[1], &status);
    CRepository* created = nullptr;
    const long result = manager.CreateRepository(_stringx("Local"), _stringx(argv[2]), &created);
    CRepositories* list = nullptr;
    if (result != 0 || manager.GetRepositories(nullptr, &list, false) != 0)
        return 1;
    std::printf("%ld\n", list->GetCount());
    return 0;
}
CPP
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S "$work/consumer" -B "$work/build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_COMPILER="$compiler" >/dev/null
cmake --build "$work/build" --target consumer -j "$(nproc)" >/dev/null

printf '<Repositories><Repository Key="Local" Local="1"/></Repositories>' >"$work/list.xml"
count=$("$work/build/consumer" "$work/list.xml" "$work/repo/Repository.xml") ||
  fail "the consumer failed: $count"
[[ "$count" == 1 ]] || fail "the consumer counted '$count' repositories, not 1"
echo "subproject_test: passed"
