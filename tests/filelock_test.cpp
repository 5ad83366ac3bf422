// Data-file locks: exclusive between lock objects and processes, released when
// the holder dies, unmoved by a save that replaced the data file, and clear of
// every byte of the data file. (Concurrent writers through the lock are tested
// with the data-file access.)

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "foundation/filelock.h"
#include "foundation/filesave.h"
#include "process_util.h"
#include "test_util.h"
#include "win32/errors.h"
#include "win32/fileio.h"

namespace fs = std::filesystem;
using kv::DataFileLock;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

namespace {

milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

class DataFileLockTest : public testing::Test {
protected:
    kvtest::TempTree tree;
    const _stringx path{kvtest::WriteText(tree / "data.xml", "x")};
};

// The second lock waits its timeout (by default the environment's) and
// fails; the held lock is on a file of its own, so every byte of the data
// file stays free even where byte-range locks are mandatory.
TEST_F(DataFileLockTest, SecondLockWaitsItsTimeoutThenFails) {
    DataFileLock first, second;
    EXPECT_EQ(first.Acquire(_stringx((tree / "missing.xml").string()), milliseconds(0)),
              DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(first.Held());
    ASSERT_EQ(first.Acquire(path), ERROR_SUCCESS);
    EXPECT_TRUE(first.Held());
    kvtest::ScopedEnv set("KV_LOCK_TIMEOUT_MS", "150");
    const auto start = Clock::now();
    EXPECT_EQ(second.Acquire(path), DWORD(ERROR_LOCK_VIOLATION));
    EXPECT_GE(Since(start), milliseconds(150));
    EXPECT_LT(Since(start), milliseconds(1000));
    EXPECT_FALSE(second.Held());

    // Other handles of the file coming and going leave the lock alone.
    const HANDLE reader = CreateFileA(path.narrow(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    OVERLAPPED below{};
    EXPECT_TRUE(LockFileEx(reader, LOCKFILE_FAIL_IMMEDIATELY, 0, 0, 0x40000000, &below));
    CloseHandle(reader);
    EXPECT_EQ(second.Acquire(path, milliseconds(0)), DWORD(ERROR_LOCK_VIOLATION));
    first.Release();
    first.Release();  // harmless
    EXPECT_FALSE(first.Held());
    SetLastError(777);
    EXPECT_EQ(second.Acquire(path, milliseconds(0)), ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), 777u);  // success leaves the last error alone
}

TEST_F(DataFileLockTest, LockOfADeadProcessIsFreeAtOnce) {
    kvtest::ChildProcess holder([&](const kvtest::ChildProcess::Ready& ready) {
        DataFileLock lock;
        if (lock.Acquire(path, milliseconds(2000)) != ERROR_SUCCESS)
            return 1;
        ready();
        std::this_thread::sleep_for(std::chrono::seconds(30));
        return 0;
    });
    ASSERT_TRUE(holder.WaitReady());
    DataFileLock lock;
    EXPECT_EQ(lock.Acquire(path, milliseconds(200)), DWORD(ERROR_LOCK_VIOLATION));
    holder.Kill();
    const auto start = Clock::now();
    EXPECT_EQ(lock.Acquire(path, milliseconds(2000)), ERROR_SUCCESS);
    EXPECT_LT(Since(start), milliseconds(100));
}

// A save replaces the data file under the lock; the lock, on its own file,
// stays held, and a waiter gets it soon after the holder's destructor
// released it.
TEST_F(DataFileLockTest, ASaveUnderTheLockKeepsItHeld) {
    auto holder = std::make_unique<DataFileLock>();
    DataFileLock waiter, third;
    ASSERT_EQ(holder->Acquire(path), ERROR_SUCCESS);
    DWORD result = ERROR_GEN_FAILURE;
    Clock::time_point acquired;
    std::thread thread([&] {
        result = waiter.Acquire(path, milliseconds(5000));
        acquired = Clock::now();
    });
    std::this_thread::sleep_for(milliseconds(300));  // the waiter polls
    ASSERT_EQ(kv::SaveFileAtomically(path, "v2", 2), ERROR_SUCCESS);
    EXPECT_EQ(third.Acquire(path, milliseconds(0)), DWORD(ERROR_LOCK_VIOLATION));
    const auto released = Clock::now();
    holder.reset();
    thread.join();
    ASSERT_EQ(result, ERROR_SUCCESS);
    // Polling backs off to at most about 50 ms.
    EXPECT_LT(std::chrono::duration_cast<milliseconds>(acquired - released), milliseconds(200));
    EXPECT_EQ(third.Acquire(path, milliseconds(0)), DWORD(ERROR_LOCK_VIOLATION));
    waiter.Release();
    EXPECT_EQ(third.Acquire(path, milliseconds(0)), ERROR_SUCCESS);
}

// The lock file: hidden beside the data file, made once and kept; readable
// as the data file is, writable by whoever may write it and by its owner, so
// that a file made read-only for a while and writable again is locked by its
// writer as before.
// Deleted by hand, it is made again. Where the system keeps to sharing, it
// cannot be deleted while held.
TEST_F(DataFileLockTest, TheLockFileIsHiddenBesideTheDataFileAndKept) {
    const fs::path lockFile = tree / ".data.xml.lock";
    {
        kvtest::SetPerms(tree / "data.xml", fs::perms::owner_read | fs::perms::group_read |
                                                fs::perms::group_write | fs::perms::others_read);
        DataFileLock lock;
        ASSERT_EQ(lock.Acquire(path, milliseconds(0)), ERROR_SUCCESS);
        EXPECT_TRUE(fs::exists(lockFile));
        EXPECT_EQ(kvtest::Names(tree.root()), std::vector<std::string>{"data.xml"});
#ifdef _WIN32
        EXPECT_TRUE(GetFileAttributesA(lockFile.string().c_str()) & FILE_ATTRIBUTE_HIDDEN);
        EXPECT_FALSE(DeleteFileA(lockFile.string().c_str()));
#else
        EXPECT_EQ(kvtest::Perms(lockFile), fs::perms::owner_read | fs::perms::owner_write |
                                               fs::perms::group_read | fs::perms::group_write |
                                               fs::perms::others_read);
#endif
    }
    kvtest::SetPerms(tree / "data.xml", fs::perms::owner_read | fs::perms::owner_write);
    DataFileLock lock, other;
    ASSERT_EQ(lock.Acquire(path, milliseconds(0)), ERROR_SUCCESS);
    lock.Release();
    fs::remove(lockFile);
    ASSERT_EQ(lock.Acquire(path, milliseconds(0)), ERROR_SUCCESS);
    EXPECT_TRUE(fs::exists(lockFile));
    EXPECT_EQ(other.Acquire(path, milliseconds(0)), DWORD(ERROR_LOCK_VIOLATION));
}

// A data file that a save replaces while a writer asks for its lock is
// locked under its own name, never under the name the system gives the
// replaced file (Linux names it "data.xml (deleted)"): writers would lock
// different files.
TEST_F(DataFileLockTest, AFileReplacedMeanwhileIsLockedUnderItsOwnName) {
    std::atomic<bool> stop{false};
    std::thread replacer([&] {
        while (!stop)
            kv::SaveFileAtomically(path, "v", 1);
    });
    for (int i = 0; i < 300; ++i) {
        DataFileLock lock;
        const DWORD result = lock.Acquire(path, milliseconds(1000));
        if (result != ERROR_SUCCESS) {
            ADD_FAILURE() << "Acquire gave " << result;
            break;
        }
    }
    stop = true;
    replacer.join();
    std::vector<std::string> lockFiles;
    for (const auto& entry : fs::directory_iterator(tree.root())) {
        if (kvtest::IsLockFile(entry.path()))
            lockFiles.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(lockFiles, std::vector<std::string>{".data.xml.lock"});
}

#ifndef _WIN32
// A data file reached through a link is locked beside the link's target, so
// that writers that name it by either path exclude each other.
TEST_F(DataFileLockTest, ALinkedDataFileIsLockedBesideItsTarget) {
    fs::create_directories(tree / "elsewhere");
    fs::create_symlink(tree / "data.xml", tree / "elsewhere/link.xml");
    DataFileLock byLink, byName;
    ASSERT_EQ(byLink.Acquire(_stringx((tree / "elsewhere/link.xml").string()), milliseconds(0)),
              ERROR_SUCCESS);
    EXPECT_EQ(byName.Acquire(path, milliseconds(0)), DWORD(ERROR_LOCK_VIOLATION));
    EXPECT_TRUE(fs::exists(tree / ".data.xml.lock"));
    EXPECT_FALSE(fs::exists(tree / "elsewhere/.link.xml.lock"));
}
#endif

TEST_F(DataFileLockTest, DefaultTimeoutComesFromTheEnvironment) {
    for (const char* bad : {static_cast<const char*>(nullptr), "", "soon", "12ms", "-5"}) {
        kvtest::ScopedEnv set("KV_LOCK_TIMEOUT_MS", bad);
        EXPECT_EQ(DataFileLock::DefaultTimeout(), milliseconds(10000)) << (bad ? bad : "unset");
    }
    kvtest::ScopedEnv set("KV_LOCK_TIMEOUT_MS", "100");
    EXPECT_EQ(DataFileLock::DefaultTimeout(), milliseconds(100));
}

}  // namespace
