// Shared by the fuzz targets: a scratch folder per process (on a memory file
// system when there is one), a status sink that swallows the library's
// messages, a small repository tree to list, and the check that stops the run
// on a broken invariant.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "kvrepo.h"

// Stops the fuzzer with the failed condition; libFuzzer then saves the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace kvfuzz {

namespace fs = std::filesystem;

// This process's scratch folder: under $KVREPO_FUZZ_TMP, else /dev/shm, else
// the temporary folder. libFuzzer ends without running exit handlers, so the
// folder stays: scripts/fuzz points $KVREPO_FUZZ_TMP at a folder of its own
// and removes that.
inline const fs::path& Scratch() {
    static const fs::path root = [] {
        fs::path base = fs::temp_directory_path();
        std::error_code error;
        if (const char* configured = std::getenv("KVREPO_FUZZ_TMP"))
            base = configured;
        else if (fs::is_directory("/dev/shm", error) && access("/dev/shm", W_OK) == 0)
            base = "/dev/shm";
        const fs::path folder = base / ("kvfuzz-" + std::to_string(getpid()));
        fs::remove_all(folder, error);
        fs::create_directories(folder);
        return fs::canonical(folder);
    }();
    return root;
}

inline void WriteFile(const fs::path& path, const void* data, std::size_t size) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

inline void WriteFile(const fs::path& path, const std::string& text) {
    WriteFile(path, text.data(), text.size());
}

// A path as the library hands it to the system: "\\" separates, as "/" does.
inline fs::path SystemPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// Whether `path` lies inside `folder` once both are resolved (links, "..").
inline bool Inside(const std::string& path, const fs::path& folder) {
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(SystemPath(path), error);
    if (error)
        return false;
    const std::string inner = resolved.string(), outer = folder.string() + "/";
    return inner.compare(0, outer.size(), outer) == 0;
}

// Counts what the library reports; answers every question with no.
class QuietStatus : public IRepoStatus {
public:
    long OnError(const _stringx&) override { return ++errors, 0; }
    long OnStatus(const _stringx&) override { return 0; }
    bool OnOverwriteFile(const _stringx&) override { return false; }
    bool OnOverwriteFolder(const _stringx&) override { return false; }
    int errors = 0;
};

// A repository folder with a file or two of every type, names in mixed case
// and one non-ASCII name, a template in a folder of its own name, and a file
// beside the repository that nothing may delete. The data file is the
// caller's. Returns the repository folder.
inline fs::path MakeRepositoryTree(const fs::path& root) {
    const char* files[] = {
        "Dialogs/welcome.kvd",     "Dialogs/License.kvd",     "Dialogs/Caf\xC3\xA9.kvd",
        "Dialogs/sub/inner.kvd",   "Templates/basic.kvt",     "Templates/basic/readme.txt",
        "Templates/solo/solo.kvt", "Templates/Sub/Leaf.kvt",  "MergeModules/runtime.msm",
        "MergeModules/Zeta.MSM",   "KVScripts/prepare.kvs",   "KVScripts/notes.txt",
        "SqlScripts/create.sql",   "SystemSearches/find.ini", "loose.kvd",
    };
    const fs::path repo = root / "repo";
    for (const char* file : files)
        WriteFile(repo / file, std::string("content of ") + file);
    WriteFile(root / "outside" / "secret.kvd", "must survive");
    return repo;
}

// The catalogue's own per-file query and lower-casing, for comparisons.
struct Catalogue : CRepositoryItems {
    explicit Catalogue(IRepoStatus* status) : CRepositoryItems(status) {}
    using CRepositoryItems::GetItemAttribXPath;
};

// A property of an item as narrow text, or "<none>" when it has none.
template <class Item>
std::string Property(Item* item, const char16_t* name) {
    _stringx value;
    return item->GetProperty(_stringx(name), &value) == 0 ? value.str() : "<none>";
}

}  // namespace kvfuzz
