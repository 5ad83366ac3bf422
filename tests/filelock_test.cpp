// Data-file locks: exclusive between lock objects and processes, released
// when the holder dies, following a file that a save replaced, and, with the
// crash-safe save, losing no update among concurrent writers.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "file_test_util.h"
#include "foundation/filelock.h"
#include "foundation/filesave.h"
#include "loader_test_util.h"
#include "posix_test_util.h"

namespace fs = std::filesystem;
using kv::DataFileLock;
using kvtest::TempTree;
using kvtest::WriteBytes;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

namespace {

_stringx PathText(const fs::path& path) {
    return _stringx(path.c_str());
}

milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

}  // namespace

TEST(DataFileLock, MissingFileIsNotFound) {
    TempTree tree;
    DataFileLock lock;
    EXPECT_EQ(lock.Acquire(PathText(tree / "missing.xml"), milliseconds(0)),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(lock.Held());
}

TEST(DataFileLock, SecondLockWaitsItsTimeoutThenFails) {
    TempTree tree;
    const fs::path path = tree / "data.xml";
    WriteBytes(path, "x");
    DataFileLock first;
    ASSERT_EQ(first.Acquire(PathText(path)), ERROR_SUCCESS);
    EXPECT_TRUE(first.Held());

    DataFileLock second;
    const auto start = Clock::now();
    EXPECT_EQ(second.Acquire(PathText(path), milliseconds(150)),
              static_cast<DWORD>(ERROR_LOCK_VIOLATION));
    const milliseconds waited = Since(start);
    EXPECT_GE(waited, milliseconds(150));
    EXPECT_LT(waited, milliseconds(1000));
    EXPECT_FALSE(second.Held());

    // Other handles of the file coming and going leave the lock alone.
    std::string bytes;
    ASSERT_EQ(kv::ReadWholeFile(PathText(path), bytes), ERROR_SUCCESS);
    EXPECT_EQ(second.Acquire(PathText(path), milliseconds(0)),
              static_cast<DWORD>(ERROR_LOCK_VIOLATION));

    first.Release();
    first.Release();  // releasing twice is harmless
    EXPECT_FALSE(first.Held());
    SetLastError(777);
    EXPECT_EQ(second.Acquire(PathText(path), milliseconds(0)), ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), 777u);  // success leaves the last error alone
}

TEST(DataFileLock, WaiterGetsTheLockSoonAfterItIsReleased) {
    TempTree tree;
    const fs::path path = tree / "data.xml";
    WriteBytes(path, "x");
    auto first = std::make_unique<DataFileLock>();
    ASSERT_EQ(first->Acquire(PathText(path)), ERROR_SUCCESS);

    DWORD result = ERROR_GEN_FAILURE;
    Clock::time_point acquired;
    std::thread waiter([&] {
        DataFileLock second;
        result = second.Acquire(PathText(path), milliseconds(5000));
        acquired = Clock::now();
    });
    std::this_thread::sleep_for(milliseconds(300));
    const auto released = Clock::now();
    first.reset();  // the destructor releases
    waiter.join();
    EXPECT_EQ(result, ERROR_SUCCESS);
    // Polling backs off to at most about 50 ms.
    EXPECT_LT(std::chrono::duration_cast<milliseconds>(acquired - released), milliseconds(200));
}

TEST(DataFileLock, LockOfADeadProcessIsFreeAtOnce) {
    TempTree tree;
    const fs::path path = tree / "data.xml";
    WriteBytes(path, "x");
    kvtest::ChildProcess holder([&](const std::function<void()>& ready) {
        DataFileLock lock;
        if (lock.Acquire(PathText(path), milliseconds(2000)) != ERROR_SUCCESS)
            return 1;
        ready();
        std::this_thread::sleep_for(std::chrono::seconds(30));
        return 0;
    });
    ASSERT_TRUE(holder.Started());
    ASSERT_TRUE(holder.WaitReady());

    DataFileLock lock;
    EXPECT_EQ(lock.Acquire(PathText(path), milliseconds(200)),
              static_cast<DWORD>(ERROR_LOCK_VIOLATION));
    holder.Kill();
    const auto start = Clock::now();
    EXPECT_EQ(lock.Acquire(PathText(path), milliseconds(2000)), ERROR_SUCCESS);
    EXPECT_LT(Since(start), milliseconds(100));
}

// A waiter that got the lock on the file a save has since replaced must end
// up holding the new file: a lock on the old one would guard nothing.
TEST(DataFileLock, LockFollowsAReplacedFile) {
    TempTree tree;
    const fs::path path = tree / "data.xml";
    WriteBytes(path, "v1");
    DataFileLock holder;
    ASSERT_EQ(holder.Acquire(PathText(path)), ERROR_SUCCESS);

    DataFileLock waiter;
    DWORD result = ERROR_GEN_FAILURE;
    std::thread thread([&] { result = waiter.Acquire(PathText(path), milliseconds(5000)); });
    std::this_thread::sleep_for(milliseconds(100));  // the waiter polls the old file
    ASSERT_EQ(kv::SaveFileAtomically(PathText(path), "v2", 2), ERROR_SUCCESS);
    holder.Release();
    thread.join();
    ASSERT_EQ(result, ERROR_SUCCESS);

    DataFileLock third;
    EXPECT_EQ(third.Acquire(PathText(path), milliseconds(0)),
              static_cast<DWORD>(ERROR_LOCK_VIOLATION));
    waiter.Release();
    EXPECT_EQ(third.Acquire(PathText(path), milliseconds(0)), ERROR_SUCCESS);
}

TEST(DataFileLock, DefaultTimeoutComesFromTheEnvironment) {
    {
        kvtest::ScopedEnv unset("KV_LOCK_TIMEOUT_MS", nullptr);
        EXPECT_EQ(DataFileLock::DefaultTimeout(), milliseconds(10000));
    }
    {
        kvtest::ScopedEnv set("KV_LOCK_TIMEOUT_MS", "250");
        EXPECT_EQ(DataFileLock::DefaultTimeout(), milliseconds(250));
    }
    for (const char* bad : {"", "soon", "12ms", "-5"}) {
        kvtest::ScopedEnv set("KV_LOCK_TIMEOUT_MS", bad);
        EXPECT_EQ(DataFileLock::DefaultTimeout(), milliseconds(10000)) << bad;
    }
}

TEST(DataFileLock, DefaultTimeoutIsWhatAcquireWaits) {
    TempTree tree;
    const fs::path path = tree / "data.xml";
    WriteBytes(path, "x");
    kvtest::ScopedEnv set("KV_LOCK_TIMEOUT_MS", "100");
    DataFileLock first;
    DataFileLock second;
    ASSERT_EQ(first.Acquire(PathText(path)), ERROR_SUCCESS);
    const auto start = Clock::now();
    EXPECT_EQ(second.Acquire(PathText(path)), static_cast<DWORD>(ERROR_LOCK_VIOLATION));
    EXPECT_LT(Since(start), milliseconds(1000));
}

// Lock, read, save the next number, unlock: four processes, fifty times each.
// A lost update (two writers between one read and one save) shows as a final
// count below 200.
TEST(DataFileLock, ConcurrentWritersLoseNoUpdate) {
    TempTree tree;
    const fs::path path = tree / "counter.txt";
    WriteBytes(path, "0");
    constexpr int kWriters = 4;
    constexpr int kIterations = 50;
    std::vector<std::unique_ptr<kvtest::ChildProcess>> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.push_back(
            std::make_unique<kvtest::ChildProcess>([&](const std::function<void()>& ready) {
                ready();
                for (int i = 0; i < kIterations; ++i) {
                    DataFileLock lock;
                    if (lock.Acquire(PathText(path), milliseconds(10000)) != ERROR_SUCCESS)
                        return 2;
                    std::string bytes;
                    if (kv::ReadWholeFile(PathText(path), bytes) != ERROR_SUCCESS)
                        return 3;
                    const std::string next = std::to_string(std::stoi(bytes) + 1);
                    if (kv::SaveFileAtomically(PathText(path), next.data(), next.size()) !=
                        ERROR_SUCCESS)
                        return 4;
                }
                return 0;
            }));
        ASSERT_TRUE(writers.back()->Started());
    }
    for (auto& writer : writers)
        EXPECT_EQ(writer->Wait(), 0);
    EXPECT_EQ(kvtest::ReadBytes(path), std::to_string(kWriters * kIterations));
}
