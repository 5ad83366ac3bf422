// Whole-file reads and crash-safe saves: the target holds the old bytes or the
// new ones, whole, whatever fails; links stay links; permissions and owners
// are kept; nothing is left behind.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "file_test_util.h"
#include "foundation/filesave.h"
#include "loader_test_util.h"
#include "posix_test_util.h"
#include "test_util.h"

namespace fs = std::filesystem;
using kv::ReadWholeFile;
using kv::SaveFileAtomically;
using kvtest::Names;
using kvtest::Perms;
using kvtest::ReadBytes;
using kvtest::SetPerms;
using kvtest::TempTree;
using kvtest::WriteBytes;

namespace {

DWORD Save(const fs::path& path, const std::string& bytes) {
    return SaveFileAtomically(_stringx(path.c_str()), bytes.data(), bytes.size());
}

// Bytes that differ from position to position, so that a mix of two versions
// or a shifted copy shows.
std::string Pattern(char seed, std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(seed + i * 31 + i / 251);
    return bytes;
}

}  // namespace

// --- reading ---

TEST(FileSave, ReadWholeFileReadsEveryByte) {
    TempTree tree;
    const std::string binary = Pattern('\0', 200 * 1024 + 3);
    WriteBytes(tree / "bin", binary);
    std::string bytes = "stale";
    ASSERT_EQ(ReadWholeFile(_stringx((tree / "bin").c_str()), bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, binary);

    WriteBytes(tree / "empty", "");
    ASSERT_EQ(ReadWholeFile(_stringx((tree / "empty").c_str()), bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, "");
}

TEST(FileSave, ReadWholeFileFailureLeavesTheBytes) {
    TempTree tree;
    std::string bytes = "unchanged";
    EXPECT_EQ(ReadWholeFile(_stringx((tree / "missing").c_str()), bytes),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(bytes, "unchanged");
    EXPECT_EQ(ReadWholeFile(_stringx(tree.root().c_str()), bytes),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(bytes, "unchanged");
}

// --- saving ---

TEST(FileSave, NewFileGetsTheBytesAndDefaultPermissions) {
    TempTree tree;
    const fs::path path = tree / "new.xml";
    const std::string content = Pattern('n', 5000);
    SetLastError(4321);
    ASSERT_EQ(Save(path, content), ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), 4321u);  // success leaves the last error alone
    EXPECT_EQ(ReadBytes(path), content);
    EXPECT_EQ(Names(tree.root()), std::vector<std::string>{"new.xml"});
    EXPECT_EQ(Perms(path), kvtest::DefaultFilePerms(tree.root()));

    ASSERT_EQ(Save(path, ""), ERROR_SUCCESS);
    EXPECT_EQ(ReadBytes(path), "");
}

TEST(FileSave, ReplacedFileKeepsModeAndOwner) {
    TempTree tree;
    const fs::path path = tree / "data.xml";
    WriteBytes(path, "old");
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    SetPerms(path, mode);
    const kvtest::Owner owner{1234, 1234};
    const bool privileged = kvtest::ChangeOwner(path.c_str(), owner);

    const std::string content = Pattern('r', 70000);
    ASSERT_EQ(Save(path, content), ERROR_SUCCESS);
    EXPECT_EQ(ReadBytes(path), content);
    EXPECT_EQ(Perms(path), mode);
    if (privileged) {
        EXPECT_EQ(kvtest::OwnerOf(path.c_str()), owner);
    }
    EXPECT_EQ(Names(tree.root()), std::vector<std::string>{"data.xml"});
}

TEST(FileSave, SaveThroughALinkWritesTheTargetAndKeepsTheLink) {
    TempTree tree;
    fs::create_directory(tree / "real");
    fs::create_directory(tree / "links");
    const fs::path target = tree / "real" / "data.xml";
    WriteBytes(target, "old");
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write;
    SetPerms(target, mode);
    // A chain of links, one of them relative.
    fs::create_symlink("../real/data.xml", tree / "links" / "first.xml");
    fs::create_symlink(tree / "links" / "first.xml", tree / "links" / "second.xml");

    ASSERT_EQ(Save(tree / "links" / "second.xml", "new"), ERROR_SUCCESS);
    EXPECT_TRUE(fs::is_symlink(tree / "links" / "second.xml"));
    EXPECT_TRUE(fs::is_symlink(tree / "links" / "first.xml"));
    EXPECT_EQ(ReadBytes(target), "new");
    EXPECT_EQ(Perms(target), mode);
    // The temporary file lived beside the target, and is gone.
    EXPECT_EQ(Names(tree / "real"), std::vector<std::string>{"data.xml"});
    EXPECT_EQ(Names(tree / "links"), (std::vector<std::string>{"first.xml", "second.xml"}));
}

TEST(FileSave, BareNameIsInTheCurrentFolderAndBackslashesSeparate) {
    TempTree tree;
    const fs::path previous = fs::current_path();
    fs::current_path(tree.root());
    const DWORD created = SaveFileAtomically(_stringx("bare.xml"), "one", 3);
    const DWORD replaced = SaveFileAtomically(_stringx("bare.xml"), "two", 3);
    fs::current_path(previous);
    EXPECT_EQ(created, ERROR_SUCCESS);
    EXPECT_EQ(replaced, ERROR_SUCCESS);
    EXPECT_EQ(ReadBytes(tree / "bare.xml"), "two");

    fs::create_directory(tree / "sub");
    const std::string windowsPath = tree.root().string() + "\\sub\\w.xml";
    ASSERT_EQ(SaveFileAtomically(_stringx(windowsPath.c_str()), "w", 1), ERROR_SUCCESS);
    EXPECT_EQ(ReadBytes(tree / "sub" / "w.xml"), "w");
    EXPECT_EQ(Names(tree.root()), (std::vector<std::string>{"bare.xml", "sub"}));
}

// --- failing, and leaving nothing behind ---

TEST(FileSave, MissingFolderFailsAndCreatesNothing) {
    TempTree tree;
    EXPECT_EQ(Save(tree / "missing" / "data.xml", "x"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(Names(tree.root()).empty());
}

// Root included: CI runs as root.
TEST(FileSave, ReadOnlyTargetIsRefusedAndKeptWhole) {
    TempTree tree;
    const fs::path path = tree / "data.xml";
    const std::string old = Pattern('o', 10000);
    WriteBytes(path, old);
    SetPerms(path, fs::perms::owner_read | fs::perms::group_read);

    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(Save(path, "new"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(Perms(path), fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(Names(tree.root()), std::vector<std::string>{"data.xml"});
}

TEST(FileSave, FolderTargetIsRefused) {
    TempTree tree;
    fs::create_directory(tree / "data.xml");
    EXPECT_EQ(Save(tree / "data.xml", "x"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(fs::is_directory(tree / "data.xml"));
    EXPECT_EQ(Names(tree.root()), std::vector<std::string>{"data.xml"});
}

TEST(FileSave, FolderWithoutWriteAccessFailsAndKeepsTheFile) {
    TempTree tree;
    if (kvtest::IgnoresPermissions(tree.root()))
        GTEST_SKIP() << "this process writes regardless of permissions (root)";
    const fs::path folder = tree / "locked";
    fs::create_directory(folder);
    WriteBytes(folder / "data.xml", "old");
    SetPerms(folder, fs::perms::owner_read | fs::perms::owner_exec);
    const DWORD error = Save(folder / "data.xml", "new");
    SetPerms(folder, fs::perms::owner_all);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadBytes(folder / "data.xml"), "old");
    EXPECT_EQ(Names(folder), std::vector<std::string>{"data.xml"});
}

// A saver killed at any moment leaves the old version or the new one, whole.
TEST(FileSave, KilledSaverLeavesOneWholeVersion) {
    TempTree tree;
    const fs::path path = tree / "data.xml";
    const std::string a = Pattern('A', 150 * 1024);
    const std::string b = Pattern('B', 160 * 1024);
    WriteBytes(path, a);
    std::mt19937 random(20240601);
    int seenA = 0;
    int seenB = 0;
    for (int round = 0; round < 100; ++round) {
        // The saver alternates from its first save on; it is killed some time
        // after that save, at any point of a later one.
        kvtest::ChildProcess saver([&](const std::function<void()>& ready) {
            for (unsigned i = static_cast<unsigned>(round);; ++i) {
                const std::string& bytes = i % 2 ? b : a;
                if (Save(path, bytes) != ERROR_SUCCESS)
                    return 1;
                if (i == static_cast<unsigned>(round))
                    ready();
            }
        });
        ASSERT_TRUE(saver.Started());
        ASSERT_TRUE(saver.WaitReady()) << "the first save failed";
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 5000));
        saver.Kill();
        const std::string now = ReadBytes(path);
        ASSERT_TRUE(now == a || now == b) << "round " << round << ": " << now.size() << " bytes";
        ++(now == a ? seenA : seenB);
    }
    EXPECT_GT(seenA, 0);
    EXPECT_GT(seenB, 0);
}
