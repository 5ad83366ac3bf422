// kvrepo_torture: long runs of the library's saves under concurrent writers,
// killed savers and a lock held by another process, through the public
// interface. scripts/torture runs it; each scenario prints its figures and the
// program exits 0 only when every check held.
//
//   kvrepo_torture writers [--processes 8] [--items 50] [--rounds 3]
//   kvrepo_torture kills [--rounds 200] [--max-delay-ms 40]
//   kvrepo_torture lock [--rounds 20] [--timeout-ms 200]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "foundation/filelock.h"
#include "kvrepo.h"
#include "process_util.h"
#include "test_util.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using kvtest::ChildProcess;
using kvtest::DataFile;
using kvtest::ReadText;
using kvtest::TempTree;
using kvtest::WriteText;

namespace {

double Ms(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// Counts failed checks and says what failed.
struct Checks {
    int failed = 0;
    void operator()(bool ok, const std::string& what) {
        if (!ok) {
            ++failed;
            std::printf("  FAILED: %s\n", what.c_str());
        }
    }
};

// Minimum, average and maximum of a series of times.
struct Series {
    std::vector<double> values;
    void Add(double value) { values.push_back(value); }
    std::string Text() const {
        if (values.empty())
            return "none";
        double sum = 0;
        for (double v : values)
            sum += v;
        char text[96];
        std::snprintf(text, sizeof text, "min %.1f / avg %.1f / max %.1f ms",
                      *std::min_element(values.begin(), values.end()), sum / values.size(),
                      *std::max_element(values.begin(), values.end()));
        return text;
    }
};

// Names in `folder` ending in ".tmp": temporary files of saves and copies.
std::set<std::string> Temporaries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".tmp")
            names.insert(entry.path().filename().string());
    return names;
}

// --- writers: P processes publish N distinct items each into one repository ---

// Publishes `count` dialogs named "w<process>-<i>.kvd"; 0, or the failing status.
long Publish(const std::string& list, const fs::path& work, int process, int count) {
    kvtest::RecordingStatus status;
    CRepositoryMgr manager(list.c_str(), &status);
    CRepository* repository = manager.GetRepository("Local", false);
    if (!repository)
        return -1;
    for (int i = 0; i < count; ++i) {
        const std::string name = "w" + std::to_string(process) + "-" + std::to_string(i) + ".kvd";
        CRepositoryItem* raw = nullptr;
        repository->CreateRepositoryItem("<KVREPOSITORY>\\Dialogs\\*.kvd", &raw);
        std::unique_ptr<CRepositoryItem> item(raw);
        item->AddFile(_stringx(WriteText(work / name, "Title=" + name + "\n")));
        item->PutProperty(OLESTR("DisplayName"), _stringx(name));
        if (const long result = item->Commit())
            return result;
    }
    return 0;
}

int Writers(int processes, int items, int rounds) {
    Checks check;
    Series times;
    const int expected = processes * items;
    for (int round = 1; round <= rounds; ++round) {
        TempTree tree;
        const std::string list = (tree / "Repositories.xml").string();
        const std::string data = (tree / "Repo/Repository.xml").string();
        // A writer that runs this again on its way to its own start (on
        // Windows) leaves the files its siblings are working on alone.
        const bool setUp = kvtest::IsReplayingChild();
        if (!setUp)
            WriteText(list, "<Repositories><Repository Key=\"Local\" Local=\"1\"/></Repositories>");
        kvtest::RecordingStatus status;
        CRepositoryMgr creator(list.c_str(), &status);
        CRepository* created = nullptr;
        if (!setUp && creator.CreateRepository(OLESTR("Local"), _stringx(data), &created) != 0) {
            check(false, "the repository was not created");
            break;
        }
        const auto start = Clock::now();
        const int succeeded = kvtest::RunAll(processes, [&](int process) {
            return Publish(list, tree / "Work" / std::to_string(process), process, items) ? 1 : 0;
        });
        // A writer that ran this round again on its way to a later one (on
        // Windows) checks nothing: the round's files are gone by then.
        if (setUp)
            continue;
        times.Add(Ms(Clock::now() - start));

        // The data file and the folder must name the same items, every one, and
        // the catalogue must list them all.
        std::set<std::string> inData, inFolder;
        XMLIntercessor document;
        std::vector<XmlNodeEntry> entries;
        if (DataFile(nullptr, data).OpenXmlFile(document) == 0)
            document.GetChildNodes(OLESTR("Dialogs/RepoItem"), entries);
        for (const XmlNodeEntry& entry : entries)
            if (entry.name == _stringx(OLESTR("ItemAttrib")))
                inData.insert(kvtest::Attr(entry.attribs, OLESTR("FileName")));
        for (const auto& entry : fs::directory_iterator(tree / "Repo/Dialogs"))
            inFolder.insert(entry.path().filename().string());
        CRepository* repository = creator.GetRepository("Local", false);
        CRepositoryItems* raw = nullptr;
        if (repository)
            repository->GetItems("Dialogs/*", &raw);
        const std::unique_ptr<CRepositoryItems> listed(raw);
        const long catalogued = listed ? listed->GetCount() : -1;
        const std::size_t leftovers =
            Temporaries(tree / "Repo").size() + Temporaries(tree / "Repo/Dialogs").size();
        std::printf(
            "writers round %d/%d: %d processes x %d items in %.0f ms: %d succeeded, %zu items in "
            "the data file, %zu files in the folder, %ld listed, %zu temporary files\n",
            round, rounds, processes, items, times.values.back(), succeeded, inData.size(),
            inFolder.size(), catalogued, leftovers);
        check(succeeded == processes, "every writer succeeded");
        check(catalogued == expected, "the catalogue lists every item");
        check(inData.size() == std::size_t(expected), "every item is in the data file");
        check(inFolder == inData, "the folder holds exactly the items of the data file");
        check(leftovers == 0, "no temporary file is left");
    }
    std::printf("writers: %d rounds of %d items, round times %s, %d failed checks\n", rounds,
                expected, times.Text().c_str(), check.failed);
    return check.failed ? 1 : 0;
}

// --- kills: a saver of a ~150 KB data file killed at random moments ---

int Kills(int rounds, int maxDelayMs) {
    Checks check;
    TempTree tree;
    std::string text = "<R><Flag v=\"A\"/>";
    for (int i = 0; i < 2800; ++i)
        text += "<Item Name=\"item number " + std::to_string(i) + " with some padding text\"/>";
    const std::string path = WriteText(tree / "Repository.xml", text + "</R>");
    // The two versions, as the library writes them.
    DataFile file(nullptr, path);
    file.Set(OLESTR("Flag"), OLESTR("v"), OLESTR("B"));
    const std::string b = ReadText(path);
    file.Set(OLESTR("Flag"), OLESTR("v"), OLESTR("A"));
    const std::string a = ReadText(path);
    std::printf("kills: data file of %zu bytes, %d kills within %d ms of a save\n", a.size(),
                rounds, maxDelayMs);

    std::mt19937 random(std::random_device{}());
    std::map<std::string, int> seen;
    int roundsLeavingOne = 0;
    std::size_t leftovers = 0;
    Series saveTimes;
    const auto start = Clock::now();
    for (int round = 0; round < rounds; ++round) {
        const auto before = Temporaries(tree.root()).size();
        ChildProcess saver([&](const ChildProcess::Ready& ready) {
            DataFile writer(nullptr, path);
            for (int i = 0;; ++i) {
                if (writer.Set(OLESTR("Flag"), OLESTR("v"), i % 2 ? OLESTR("B") : OLESTR("A")) != 0)
                    return 1;
                if (i == 0)
                    ready();
            }
        });
        const auto started = Clock::now();
        if (!saver.WaitReady()) {
            check(false, "round " + std::to_string(round) + ": the first save failed");
            break;
        }
        saveTimes.Add(Ms(Clock::now() - started));
        std::this_thread::sleep_for(std::chrono::microseconds(random() % (maxDelayMs * 1000 + 1)));
        saver.Kill();
        const std::string now = ReadText(path);
        ++seen[now == a ? "A" : now == b ? "B" : "neither"];
        check(now == a || now == b, "round " + std::to_string(round) + ": A or B whole (" +
                                        std::to_string(now.size()) + " bytes)");
        XMLIntercessor document;
        check(file.OpenXmlFile(document) == 0, "round " + std::to_string(round) + ": parses");
        const auto after = Temporaries(tree.root()).size();
        roundsLeavingOne += after > before;
        leftovers = after;
    }
    // A later save neither needs nor removes what killed saves left.
    check(file.Set(OLESTR("Flag"), OLESTR("v"), OLESTR("B")) == 0 && ReadText(path) == b,
          "a later save works");
    const std::size_t afterSave = Temporaries(tree.root()).size();
    std::printf(
        "kills: %d rounds in %.1f s: %d A, %d B, %d neither; first save in the child %s; "
        "%d kills left a temporary file (%zu in the folder, %zu after a later save)\n",
        rounds, Ms(Clock::now() - start) / 1000, seen["A"], seen["B"], seen["neither"],
        saveTimes.Text().c_str(), roundsLeavingOne, leftovers, afterSave);
    std::printf("kills: %d failed checks\n", check.failed);
    return check.failed ? 1 : 0;
}

// --- lock: a writer against a lock held by another process ---

int Lock(int rounds, int timeoutMs) {
    Checks check;
    TempTree tree;
    const std::string path = WriteText(tree / "Repository.xml", "<R><Flag v=\"0\"/></R>");
    const std::string timeout = std::to_string(timeoutMs);
    const std::string message = "Unable to save XML file " + path + ".";
    // A holder that takes the lock and keeps it until it is killed.
    const auto holder = [&path](const ChildProcess::Ready& ready) {
        kv::DataFileLock lock;
        if (lock.Acquire(_stringx(path), std::chrono::milliseconds(5000)) != ERROR_SUCCESS)
            return 1;
        ready();
        std::this_thread::sleep_for(std::chrono::seconds(60));
        return 0;
    };
    Series refused, waiting, next;
    for (int round = 0; round < rounds; ++round) {
        const std::string at = "round " + std::to_string(round) + ": ";
        auto held = std::make_unique<ChildProcess>(holder);
        check(held->WaitReady(), at + "the holder took the lock");
        kvtest::SetEnv("KV_LOCK_TIMEOUT_MS", timeout.c_str());
        // Refused after its time, as a failed save with message 1.
        kvtest::RecordingStatus status;
        DataFile writer(&status, path);
        const std::string before = ReadText(path);
        auto start = Clock::now();
        const long result = writer.Set(OLESTR("Flag"), OLESTR("v"), OLESTR("refused"));
        refused.Add(Ms(Clock::now() - start));
        check(result == kv::status::kNotSaved,
              at + "the writer failed with -102, not " + std::to_string(result));
        check(status.messages == std::vector<std::string>{message}, at + "message 1");
        check(refused.values.back() >= timeoutMs, at + "the writer waited its time");
        check(ReadText(path) == before, at + "the file is unchanged");

        // A writer already waiting gets the lock soon after the holder dies.
        kvtest::SetEnv("KV_LOCK_TIMEOUT_MS", "10000");
        long waited = -1;
        Clock::time_point done;
        std::thread waiter([&] {
            DataFile other(nullptr, path);
            waited = other.Set(OLESTR("Flag"), OLESTR("v"),
                               _stringx("w" + std::to_string(round)).c_str());
            done = Clock::now();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + round % 7 * 10));
        start = Clock::now();
        held->Kill();
        waiter.join();
        waiting.Add(Ms(done - start));
        check(waited == 0, at + "the waiting writer succeeded");

        // A writer that comes after the holder died succeeds at once.
        held = std::make_unique<ChildProcess>(holder);
        check(held->WaitReady(), at + "the second holder took the lock");
        kvtest::SetEnv("KV_LOCK_TIMEOUT_MS", timeout.c_str());
        held->Kill();
        start = Clock::now();
        check(writer.Set(OLESTR("Flag"), OLESTR("v"),
                         _stringx("n" + std::to_string(round)).c_str()) == 0,
              at + "the next writer succeeded");
        next.Add(Ms(Clock::now() - start));
    }
    std::printf("lock: %d rounds, timeout %d ms\n", rounds, timeoutMs);
    std::printf("lock: refused writer gave up after %s\n", refused.Text().c_str());
    // The next writer finds the lock free: its time is that of a save alone,
    // and what the waiting writer took beyond it is the wait for the release.
    std::printf("lock: waiting writer done after the holder's kill in %s\n",
                waiting.Text().c_str());
    std::printf("lock: next writer after the holder's death (a save alone) done in %s\n",
                next.Text().c_str());
    std::printf("lock: %d failed checks\n", check.failed);
    return check.failed ? 1 : 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: kvrepo_torture writers [--processes P] [--items N] [--rounds R]\n"
                 "       kvrepo_torture kills [--rounds N] [--max-delay-ms MS]\n"
                 "       kvrepo_torture lock [--rounds N] [--timeout-ms MS]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || (argc % 2) != 0)
        return Usage();
    const std::string scenario = argv[1];
    std::map<std::string, int> options;
    for (int i = 2; i + 1 < argc; i += 2)
        options[argv[i]] = std::atoi(argv[i + 1]);
    // Each option is taken once; any left over is not one of the scenario's.
    const auto option = [&options](const char* name, int fallback) {
        const auto found = options.find(name);
        if (found == options.end())
            return fallback;
        const int value = std::max(found->second, 1);
        options.erase(found);
        return value;
    };
    if (scenario == "writers") {
        const int processes = option("--processes", 8), items = option("--items", 50);
        const int rounds = option("--rounds", 3);
        return options.empty() ? Writers(processes, items, rounds) : Usage();
    }
    if (scenario == "kills") {
        const int rounds = option("--rounds", 200), delay = option("--max-delay-ms", 40);
        return options.empty() ? Kills(rounds, delay) : Usage();
    }
    if (scenario == "lock") {
        const int rounds = option("--rounds", 20), timeout = option("--timeout-ms", 200);
        return options.empty() ? Lock(rounds, timeout) : Usage();
    }
    return Usage();
}
