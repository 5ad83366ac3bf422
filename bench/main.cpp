// kvrepo_bench: the library's main operations over generated repositories of
// N items, each beside its floor (the least work the operation cannot avoid,
// see floors.h), measured in the same run. Prints one table: time, floor,
// their ratio and the growth from 10,000 to 50,000 items, then the listing's
// peak memory per listed item.
//
//   kvrepo_bench [--smoke] [--sizes=1000,10000,50000] [--repetitions=R]
//                [--min-time=SECONDS] [--no-memory] [Google Benchmark flags]
//
// --smoke runs every benchmark once at the smallest size, to show that they
// all still work; its times mean nothing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "floors.h"
#include "kvrepo.h"
#include "kvrepo_c.h"
#include "layout.h"
#include "system.h"

namespace fs = std::filesystem;
using kvbench::Layout;
using kvbench::LayoutFor;

namespace {

// Counts reports; answers yes to every overwrite.
class QuietStatus : public IRepoStatus {
public:
    long OnError(const _stringx&) override {
        ++errors;
        return 0;
    }
    long OnStatus(const _stringx&) override { return 0; }
    bool OnOverwriteFile(const _stringx&) override { return true; }
    bool OnOverwriteFolder(const _stringx&) override { return true; }
    int errors = 0;
};

const char kListPath[] = "MergeModules/*";

// Names for new items that no earlier iteration has used.
std::string NewItemName(const char* stem) {
    static int serial = 0;
    return std::string(stem) + std::to_string(++serial) + ".msm";
}

void Check(benchmark::State& state, bool ok, const char* what) {
    if (!ok)
        state.SkipWithError(what);
}

// --- listing one type -------------------------------------------------------

void ListLibrary(benchmark::State& state, int n) {
    const Layout& layout = LayoutFor(n);
    QuietStatus status;
    CRepository repository("Bench", layout.dataFile.c_str(), true, layout.shortList.c_str(),
                           &status);
    long listed = 0;
    for (auto _ : state) {
        CRepositoryItems* items = nullptr;
        const long result = repository.GetItems(kListPath, &items);
        listed = result == 0 && items ? items->GetCount() : -1;
        delete items;
    }
    Check(state, listed == layout.mergeModules, "GetItems listed the wrong number of items");
}

void ListFloor(benchmark::State& state, int n) {
    const Layout& layout = LayoutFor(n);
    std::size_t listed = 0;
    for (auto _ : state)
        listed = kvbench::ListFloor(layout.dataFile, "MergeModules");
    Check(state, listed == static_cast<std::size_t>(layout.mergeModules),
          "the floor listed the wrong number of items");
}

// The same listing through the C interface, against the C++ one as its floor.
void ListCInterface(benchmark::State& state, int n) {
    const Layout& layout = LayoutFor(n);
    kvrepo_manager* manager = nullptr;
    kvrepo_repository* repository = nullptr;
    if (kvrepo_manager_open(layout.shortList.u8string().c_str(), nullptr, &manager) != 0 ||
        kvrepo_manager_repository(manager, "Repo000000", 0, &repository) != 0) {
        state.SkipWithError("the C interface did not open the repository");
        kvrepo_manager_close(manager);
        return;
    }
    long listed = 0;
    for (auto _ : state) {
        kvrepo_item_list* items = nullptr;
        listed = kvrepo_repository_items(repository, kListPath, &items) == 0
                     ? static_cast<long>(kvrepo_item_list_count(items))
                     : -1;
        kvrepo_item_list_free(items);
    }
    kvrepo_repository_free(repository);
    kvrepo_manager_close(manager);
    Check(state, listed == layout.mergeModules, "the C interface listed the wrong number");
}

// --- listing one type across the repositories of a list ----------------------

void ListAllLibrary(benchmark::State& state, int n) {
    const Layout& layout = LayoutFor(n);
    QuietStatus status;
    CRepositoryMgr manager(layout.shortList.c_str(), &status);
    CRepositories* repositories = nullptr;
    manager.GetRepositories(nullptr, &repositories, false);
    if (!repositories || repositories->GetCount() != kvbench::kListedRepositories) {
        state.SkipWithError("the short list did not load");
        return;
    }
    long listed = 0;
    for (auto _ : state) {
        // The list keeps the gathered items until the next call, which deletes them.
        CRepositoryItems* items = nullptr;
        const long result = repositories->GetRepositoryItems(kListPath, 1, &items);
        listed = result == 0 && items ? items->GetCount() : -1;
    }
    Check(state, listed == static_cast<long>(layout.mergeModules) * kvbench::kListedRepositories,
          "GetRepositoryItems gathered the wrong number of items");
}

void ListAllFloor(benchmark::State& state, int n) {
    const Layout& layout = LayoutFor(n);
    std::size_t listed = 0;
    for (auto _ : state) {
        listed = 0;
        for (int i = 0; i < kvbench::kListedRepositories; ++i)
            listed += kvbench::ListFloor(layout.dataFile, "MergeModules");
    }
    Check(state,
          listed == static_cast<std::size_t>(layout.mergeModules) * kvbench::kListedRepositories,
          "the floor listed the wrong number of items");
}

// --- committing one new item --------------------------------------------------

// A new source file of that name, made outside the timed part.
fs::path NewSource(const Layout& layout, const std::string& name) {
    const fs::path source = layout.root / "source" / name;
    fs::copy_file(layout.sourceItem, source, fs::copy_options::overwrite_existing);
    return source;
}

void CommitLibrary(benchmark::State& state, int n) {
    const Layout& layout = LayoutFor(n);
    QuietStatus status;
    CRepository repository("Bench", layout.commitDataFile.c_str(), true, "", &status);
    bool ok = true;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string name = NewItemName("Published");
        const fs::path source = NewSource(layout, name);
        state.ResumeTiming();
        CRepositoryItem* item = nullptr;
        repository.CreateRepositoryItem("<KVREPOSITORY>\\MergeModules\\*.msm", &item);
        item->AddFile(_stringx(source.c_str()));
        item->PutProperty(_stringx(OLESTR("DisplayName")), _stringx(name));
        item->PutProperty(_stringx(OLESTR("Version")), _stringx(OLESTR("1.0.0")));
        ok = ok && item->Commit() == 0;
        delete item;
    }
    Check(state, ok && status.errors == 0, "Commit failed");
}

void CommitFloor(benchmark::State& state, int n, bool durable) {
    const Layout& layout = LayoutFor(n);
    bool ok = true;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string name = NewItemName("Floor");
        const fs::path source = NewSource(layout, name);
        state.ResumeTiming();
        ok = ok && kvbench::CommitFloor(layout.floorCommitDataFile, source, name, durable);
    }
    Check(state, ok, "the floor's commit failed");
}

// --- reading one stored property ---------------------------------------------

void PropertyLibrary(benchmark::State& state, int n) {
    const Layout& layout = LayoutFor(n);
    QuietStatus status;
    CRepository repository("Bench", layout.dataFile.c_str(), true, "", &status);
    // An item that knows only what identifies it, so the property is read
    // from the data file on every call.
    CRepositoryItem item(&repository, true, _stringx(), &status);
    item.PutProperty(_stringx(OLESTR("FileName")), _stringx(layout.storedFileName));
    item.PutProperty(_stringx(OLESTR("Key")), _stringx(OLESTR("MergeModules")));
    const _stringx name(kvbench::kStoredAttribute);
    long result = 0;
    _stringx value;
    for (auto _ : state) {
        value.clear();
        result = item.GetProperty(name, &value);
    }
    Check(state, result == 0 && !value.empty(), "GetProperty did not find the stored property");
}

void PropertyFloor(benchmark::State& state, int n) {
    const Layout& layout = LayoutFor(n);
    std::size_t elements = 0;
    for (auto _ : state)
        elements = kvbench::ParseFloor(layout.dataFile);
    Check(state, elements == kvbench::ItemTypes().size(), "the floor did not parse");
}

// --- loading a repository list -------------------------------------------------

void RepositoriesLibrary(benchmark::State& state, int n) {
    const Layout& layout = LayoutFor(n);
    QuietStatus status;
    CRepositoryMgr manager(layout.longList.c_str(), &status);
    long loaded = 0;
    for (auto _ : state) {
        // Each load replaces (and deletes) the previous list.
        CRepositories* repositories = nullptr;
        const long result = manager.GetRepositories(nullptr, &repositories, false);
        loaded = result == 0 && repositories ? repositories->GetCount() : -1;
    }
    Check(state, loaded == n, "GetRepositories loaded the wrong number of repositories");
}

void RepositoriesFloor(benchmark::State& state, int n) {
    const Layout& layout = LayoutFor(n);
    std::size_t loaded = 0;
    for (auto _ : state)
        loaded = kvbench::RepositoriesFloor(layout.longList);
    Check(state, loaded == static_cast<std::size_t>(n), "the floor loaded the wrong number");
}

// --- the table ----------------------------------------------------------------

struct Operation {
    const char* key;    // benchmark name prefix
    const char* title;  // table text
    void (*library)(benchmark::State&, int);
    void (*floor)(benchmark::State&, int);
};

void CommitDurableFloor(benchmark::State& state, int n) {
    CommitFloor(state, n, true);
}
void CommitPlainFloor(benchmark::State& state, int n) {
    CommitFloor(state, n, false);
}

// --- the tool as a whole process ------------------------------------------------

#if defined(KVBENCH_TOOL) && defined(KVBENCH_TOOL_FLOOR)
// `kvrepo items 'MergeModules/*' --repo KEY --json` over the short list, and
// the same output from a program with pugixml and the C library alone
// (tool_floor.cpp), each a whole process, its start included.
void ToolLibrary(benchmark::State& state, int n) {
    const Layout& layout = LayoutFor(n);
    int status = -1;
    for (auto _ : state)
        status = kvbench::RunQuietly({KVBENCH_TOOL, "--list", layout.shortList.string(), "items",
                                      kListPath, "--repo", "Repo000000", "--json"});
    Check(state, status == 0, "the tool failed");
}

void ToolFloor(benchmark::State& state, int n) {
    const Layout& layout = LayoutFor(n);
    int status = -1;
    for (auto _ : state)
        status = kvbench::RunQuietly(
            {KVBENCH_TOOL_FLOOR, layout.dataFile.string(), "MergeModules", "Repo000000"});
    Check(state, status == 0, "the tool's floor failed");
}

// The same listing as the tool's table.
void ToolTableLibrary(benchmark::State& state, int n) {
    const Layout& layout = LayoutFor(n);
    int status = -1;
    for (auto _ : state)
        status = kvbench::RunQuietly({KVBENCH_TOOL, "--list", layout.shortList.string(), "items",
                                      kListPath, "--repo", "Repo000000"});
    Check(state, status == 0, "the tool failed");
}

void ToolTableFloor(benchmark::State& state, int n) {
    const Layout& layout = LayoutFor(n);
    int status = -1;
    for (auto _ : state)
        status = kvbench::RunQuietly({KVBENCH_TOOL_FLOOR, layout.dataFile.string(), "MergeModules",
                                      "Repo000000", "--table"});
    Check(state, status == 0, "the tool's floor failed");
}
#endif

const std::vector<Operation>& Operations() {
    static const std::vector<Operation> operations = {
        {"List", "GetItems(\"MergeModules/*\")", ListLibrary, ListFloor},
        {"ListC", "  same through C, floor: C++", ListCInterface, ListLibrary},
        {"ListAll", "GetRepositoryItems, 4 repositories", ListAllLibrary, ListAllFloor},
        {"Commit", "Commit one new item", CommitLibrary, CommitDurableFloor},
        {"CommitNoSync", "  same, floor without fsync", nullptr, CommitPlainFloor},
        {"GetProperty", "GetProperty, uncached name", PropertyLibrary, PropertyFloor},
        {"GetRepositories", "GetRepositories, N entries", RepositoriesLibrary, RepositoriesFloor},
#if defined(KVBENCH_TOOL) && defined(KVBENCH_TOOL_FLOOR)
        {"ToolItems", "kvrepo items --json, process", ToolLibrary, ToolFloor},
        {"ToolTable", "kvrepo items, table, process", ToolTableLibrary, ToolTableFloor},
#endif
    };
    return operations;
}

std::string BenchmarkName(const char* key, const char* side, int n) {
    return std::string(key) + "/" + side + "/" + std::to_string(n);
}

// Keeps the median of every benchmark (or its only run) and sends Google
// Benchmark's own report to the error stream as progress.
class Collector : public benchmark::ConsoleReporter {
public:
    Collector() : ConsoleReporter(OO_None) { SetOutputStream(&std::cerr); }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (run.error_occurred)
                failures.push_back(run.run_name.function_name + ": " + run.error_message);
            else if (median || single)
                milliseconds[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> milliseconds;
    std::vector<std::string> failures;
};

std::string Thousands(long long value) {
    std::string text = std::to_string(value);
    for (int at = static_cast<int>(text.size()) - 3; at > 0; at -= 3)
        text.insert(static_cast<std::size_t>(at), ",");
    return text;
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Time(double milliseconds) {
    return milliseconds < 10 ? Fixed(milliseconds, 3) : Fixed(milliseconds, 1);
}

const double* Find(const Collector& results, const std::string& name) {
    const auto found = results.milliseconds.find(name);
    return found == results.milliseconds.end() ? nullptr : &found->second;
}

void PrintTable(const Collector& results, const std::vector<int>& sizes) {
    std::printf("%-36s %8s %11s %11s %7s %16s\n", "operation", "N", "time (ms)", "floor (ms)",
                "ratio", "growth 10k->50k");
    const bool growth = std::count(sizes.begin(), sizes.end(), 10000) &&
                        std::count(sizes.begin(), sizes.end(), 50000);
    for (const Operation& op : Operations()) {
        for (int n : sizes) {
            const double* floor = Find(results, BenchmarkName(op.key, "floor", n));
            // A row without a library side compares its floor with the
            // library's time of the operation above it.
            const char* libraryKey = op.library ? op.key : "Commit";
            const double* time = Find(results, BenchmarkName(libraryKey, "library", n));
            std::string grow;
            if (growth && n == 50000) {
                const double* time10 = Find(results, BenchmarkName(libraryKey, "library", 10000));
                const double* floor10 = Find(results, BenchmarkName(op.key, "floor", 10000));
                if (time && time10)
                    grow = Fixed(*time / *time10, 2);
                if (floor && floor10)
                    grow += " (floor " + Fixed(*floor / *floor10, 2) + ")";
            }
            std::printf("%-36s %8s %11s %11s %7s %16s\n", op.title, Thousands(n).c_str(),
                        time ? Time(*time).c_str() : "-", floor ? Time(*floor).c_str() : "-",
                        time && floor ? Fixed(*time / *floor, 2).c_str() : "-", grow.c_str());
        }
    }
}

// --- memory ---------------------------------------------------------------------

struct MemoryRow {
    int n;
    long listed;
    long long parsePeak;    // parsing the data file alone (pugixml)
    long long listingPeak;  // GetItems with its result alive
    long long retained;     // what the result holds once GetItems returned
};

MemoryRow MeasureListingMemory(int n) {
    const Layout& layout = LayoutFor(n);
    MemoryRow row{n, 0, 0, 0, 0};

    kvbench::ReleaseFreeMemory();
    kvbench::ResetPeakMemory();
    long long base = kvbench::ResidentBytes();
    {
        pugi::xml_document document;
        document.load_file(layout.dataFile.c_str(), pugi::parse_default | pugi::parse_declaration);
        row.parsePeak = kvbench::PeakResidentBytes() - base;
    }

    QuietStatus status;
    CRepository repository("Bench", layout.dataFile.c_str(), true, "", &status);
    kvbench::ReleaseFreeMemory();
    kvbench::ResetPeakMemory();
    base = kvbench::ResidentBytes();
    CRepositoryItems* items = nullptr;
    repository.GetItems(kListPath, &items);
    row.listingPeak = kvbench::PeakResidentBytes() - base;
    // What the result holds once the call's own memory is handed back.
    kvbench::ReleaseFreeMemory();
    row.retained = kvbench::ResidentBytes() - base;
    row.listed = items ? items->GetCount() : 0;
    delete items;
    return row;
}

void PrintMemory(const std::vector<MemoryRow>& rows) {
    std::printf(
        "\nListing memory, GetItems(\"MergeModules/*\") (resident set, peak during the "
        "call, result alive):\n");
    std::printf("%8s %8s %14s %14s %14s %16s %14s\n", "N", "listed", "peak (MB)", "parse (MB)",
                "peak/item (B)", "beyond parse/item", "retained/item");
    for (const MemoryRow& row : rows) {
        const double listed = row.listed > 0 ? static_cast<double>(row.listed) : 1.0;
        std::printf(
            "%8s %8s %14s %14s %14s %16s %14s\n", Thousands(row.n).c_str(),
            Thousands(row.listed).c_str(), Fixed(row.listingPeak / 1048576.0, 1).c_str(),
            Fixed(row.parsePeak / 1048576.0, 1).c_str(),
            Thousands(static_cast<long long>(row.listingPeak / listed)).c_str(),
            Thousands(static_cast<long long>((row.listingPeak - row.parsePeak) / listed)).c_str(),
            Thousands(static_cast<long long>(row.retained / listed)).c_str());
    }
}

// --- options ----------------------------------------------------------------------

struct Options {
    bool smoke = false;
    bool memory = true;
    std::vector<int> sizes = {1000, 10000, 50000};
    int repetitions = 5;
    double minTime = 0.2;
    std::string layOut;  // --lay-out: only lay out, there
};

bool TakeOption(const char* argument, const char* name, std::string& value) {
    const std::size_t length = std::strlen(name);
    if (std::strncmp(argument, name, length) != 0 || argument[length] != '=')
        return false;
    value = argument + length + 1;
    return true;
}

// Takes this program's own options out of argv, leaving Google Benchmark's.
Options ParseOptions(int& argc, char** argv) {
    Options options;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        std::string value;
        if (std::strcmp(argv[i], "--smoke") == 0) {
            options.smoke = true;
        } else if (std::strcmp(argv[i], "--no-memory") == 0) {
            options.memory = false;
        } else if (TakeOption(argv[i], "--sizes", value)) {
            options.sizes.clear();
            for (std::size_t at = 0; at < value.size();) {
                std::size_t end = value.find(',', at);
                if (end == std::string::npos)
                    end = value.size();
                options.sizes.push_back(std::atoi(value.substr(at, end - at).c_str()));
                at = end + 1;
            }
        } else if (TakeOption(argv[i], "--repetitions", value)) {
            options.repetitions = std::max(1, std::atoi(value.c_str()));
        } else if (TakeOption(argv[i], "--lay-out", value)) {
            options.layOut = value;
        } else if (TakeOption(argv[i], "--min-time", value)) {
            options.minTime = std::atof(value.c_str());
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    if (options.smoke) {
        options.sizes = {*std::min_element(options.sizes.begin(), options.sizes.end())};
        options.repetitions = 1;
    }
    return options;
}

// --lay-out=DIR: lays out the repositories of each size under DIR/<N> and
// prints, one line per size, N, the data file and the short list, for timing
// the tool elsewhere (scripts/bench --windows, under Wine).
int LayOut(const Options& options) {
    for (int n : options.sizes) {
        const kvbench::Layout layout =
            kvbench::MakeLayout(fs::path(options.layOut) / std::to_string(n), n);
        std::printf("%d %s %s\n", n, layout.dataFile.string().c_str(),
                    layout.shortList.string().c_str());
    }
    return 0;
}

void Register(const Options& options) {
    for (const Operation& op : Operations()) {
        for (int n : options.sizes) {
            for (const char* side : {"library", "floor"}) {
                auto function = std::string(side) == "library" ? op.library : op.floor;
                if (!function)
                    continue;
                auto* benchmark = benchmark::RegisterBenchmark(
                    BenchmarkName(op.key, side, n).c_str(),
                    [function, n](benchmark::State& state) { function(state, n); });
                benchmark->Unit(benchmark::kMillisecond)->UseRealTime();
                if (options.smoke)
                    benchmark->Iterations(1);
                else
                    benchmark->MinTime(options.minTime)->Repetitions(options.repetitions);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    if (!options.layOut.empty())
        return LayOut(options);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;

    Register(options);
    // Laid out before anything is timed.
    std::fprintf(stderr, "Laying out repositories...\n");
    for (int n : options.sizes)
        LayoutFor(n);
    std::fprintf(stderr, "Running.\n");

    Collector results;
    benchmark::RunSpecifiedBenchmarks(&results);

    std::vector<MemoryRow> memory;
    if (options.memory)
        for (int n : options.sizes)
            memory.push_back(MeasureListingMemory(n));
    kvbench::RemoveLayouts();

    std::printf("\nMachine: %s\n", kvbench::MachineDescription().c_str());
    if (options.smoke)
        std::printf("Smoke run: every benchmark once; the times mean nothing.\n\n");
    else
        std::printf("Medians of %d repetitions; times are wall-clock per operation.\n\n",
                    options.repetitions);
    PrintTable(results, options.sizes);
    if (options.memory)
        PrintMemory(memory);
    for (const std::string& failure : results.failures)
        std::printf("FAILED: %s\n", failure.c_str());
    benchmark::Shutdown();
    return results.failures.empty() ? 0 : 1;
}
