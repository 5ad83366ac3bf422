// Whole-file reads and crash-safe saves: the target holds the old bytes or the
// new ones, whole, whatever fails; links stay links; permissions and owners are
// kept; nothing is left behind.

#include <chrono>
#include <thread>

#include "foundation/filesave.h"
#include "foundation/temporaryfiles.h"
#include "process_util.h"
#include "test_util.h"
#include "win32/errors.h"

namespace fs = std::filesystem;
using kvtest::Names;
using kvtest::Perms;
using kvtest::ReadText;
using kvtest::SetPerms;
using kvtest::TempTree;
using kvtest::WriteText;
using Files = std::vector<std::string>;

namespace {

DWORD Save(const fs::path& path, const std::string& bytes) {
    return kv::SaveFileAtomically(_stringx(path.string()), bytes.data(), bytes.size());
}

// Bytes that differ from position to position, so that a mix of two versions
// or a shifted copy shows.
std::string Pattern(char seed, std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(seed + i * 31 + i / 251);
    return bytes;
}

TEST(FileSave, ReadWholeFileReadsEveryByteOrLeavesThemAlone) {
    TempTree tree;
    const std::string binary = Pattern('\0', 200 * 1024 + 3);
    std::string bytes = "stale";
    ASSERT_EQ(kv::ReadWholeFile(_stringx(WriteText(tree / "bin", binary)), bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, binary);
    EXPECT_EQ(kv::ReadWholeFile(_stringx(tree.root().string()), bytes), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(bytes, binary);
}

TEST(FileSave, NewFilesGetDefaultPermissionsReplacedOnesKeepModeAndOwner) {
    TempTree tree;
    const fs::path path = tree / "data.xml";
    const std::string content = Pattern('n', 5000);
    SetLastError(4321);
    ASSERT_EQ(Save(path, content), ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), 4321u);  // success leaves the last error alone
    EXPECT_EQ(ReadText(path), content);
    EXPECT_EQ(Perms(path), kvtest::DefaultFilePerms(tree.root()));

    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    SetPerms(path, mode);
    const fs::perms set = Perms(path);  // on Windows: the read-only attribute only
    kvtest::GiveAway(path.string());    // where the process may
    const std::string owner = kvtest::OwnerOf(path.string());
    const std::string replaced = Pattern('r', 70000);
    ASSERT_EQ(Save(path, replaced), ERROR_SUCCESS);
    EXPECT_EQ(ReadText(path), replaced);
    EXPECT_EQ(Perms(path), set);
    EXPECT_EQ(kvtest::OwnerOf(path.string()), owner);
    ASSERT_EQ(Save(path, ""), ERROR_SUCCESS);
    EXPECT_EQ(ReadText(path), "");
    EXPECT_EQ(Names(tree.root()), Files{"data.xml"});
}

TEST(FileSave, SaveThroughALinkWritesTheTargetAndKeepsTheLink) {
    if (kvtest::kNoSymlinks)
        GTEST_SKIP() << kvtest::kNoSymlinks;
    TempTree tree;
    const fs::path target = tree / "real/data.xml";
    WriteText(target, "old");
    fs::create_directory(tree / "links");
    // A chain of links, one of them relative.
    fs::create_symlink("../real/data.xml", tree / "links/first.xml");
    fs::create_symlink(tree / "links/first.xml", tree / "links/second.xml");
    ASSERT_EQ(Save(tree / "links/second.xml", "new"), ERROR_SUCCESS);
    EXPECT_TRUE(fs::is_symlink(tree / "links/second.xml"));
    EXPECT_TRUE(fs::is_symlink(tree / "links/first.xml"));
    EXPECT_EQ(ReadText(target), "new");
    // The temporary file lived beside the target, and is gone.
    EXPECT_EQ(Names(tree / "real"), Files{"data.xml"});
    EXPECT_EQ(Names(tree / "links"), (Files{"first.xml", "second.xml"}));
}

// Root included: CI runs as root.
TEST(FileSave, FailuresKeepTheTargetWholeAndLeaveNothingBehind) {
    TempTree tree;
    EXPECT_EQ(Save(tree / "missing/data.xml", "x"), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    fs::create_directory(tree / "folder.xml");
    EXPECT_EQ(Save(tree / "folder.xml", "x"), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(fs::is_directory(tree / "folder.xml"));

    const std::string old = Pattern('o', 10000);
    const fs::path path = WriteText(tree / "data.xml", old);
    SetPerms(path, kvtest::kReadOnly);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(Save(path, "new"), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadText(path), old);
    EXPECT_EQ(Perms(path), kvtest::kReadOnly);
    EXPECT_EQ(Names(tree.root()), (Files{"data.xml", "folder.xml"}));
}

// A replacement written by someone else (a DOM's save) is put in place as it
// is; one for a file that was missing does not overwrite a file that appeared
// meanwhile when it is to create, and leaves nothing behind.
TEST(FileSave, AReplacementPutsInPlaceWhatTheWriterWrote) {
    TempTree tree;
    const fs::path path = tree / "sub/data.xml";
    kv::FileReplacement replacement;
    EXPECT_EQ(replacement.Begin(_stringx(path.string())), DWORD(ERROR_PATH_NOT_FOUND));
    fs::create_directories(path.parent_path());
    kvtest::ScopedCwd cwd(path.parent_path());
    ASSERT_EQ(replacement.Begin(_stringx("data.xml")), ERROR_SUCCESS);
    EXPECT_EQ(fs::path(replacement.Temporary()).parent_path(), path.parent_path());
    WriteText(replacement.Temporary(), "mine");
    WriteText(path, "theirs");
    EXPECT_EQ(replacement.Commit(true), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(Names(path.parent_path()), Files{"data.xml"});
    EXPECT_EQ(ReadText(path), "theirs");

    ASSERT_EQ(replacement.Begin(_stringx("data.xml")), ERROR_SUCCESS);
    WriteText(replacement.Temporary(), "mine");
    EXPECT_EQ(replacement.Commit(), ERROR_SUCCESS);
    EXPECT_EQ(ReadText(path), "mine");
    ASSERT_EQ(replacement.Begin(_stringx("data.xml")), ERROR_SUCCESS);
    replacement.Abandon();
    EXPECT_EQ(Names(path.parent_path()), Files{"data.xml"});
}

// A saver killed at any moment leaves the old version or the new one, whole.
TEST(FileSave, KilledSaverLeavesOneWholeVersion) {
    TempTree tree;
    const fs::path path = tree / "data.xml";
    const std::string a = Pattern('A', 150 * 1024);
    const std::string b = Pattern('B', 160 * 1024);
    WriteText(path, a);
    std::mt19937 random(20240601);
    int seen[2] = {0, 0};
    for (int round = 0; round < 100; ++round) {
        // The saver alternates from its first save on; it is killed some time
        // after that save, at any point of a later one.
        kvtest::ChildProcess saver([&](const kvtest::ChildProcess::Ready& ready) {
            for (unsigned i = static_cast<unsigned>(round);; ++i) {
                if (Save(path, i % 2 ? b : a) != ERROR_SUCCESS)
                    return 1;
                if (i == static_cast<unsigned>(round))
                    ready();
            }
        });
        ASSERT_TRUE(saver.WaitReady()) << "the first save failed";
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 5000));
        saver.Kill();
        const std::string now = ReadText(path);
        ASSERT_TRUE(now == a || now == b) << "round " << round << ": " << now.size() << " bytes";
        ++seen[now == b];
    }
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
}

// A temporary file is a leftover only once nobody holds it: a replacement
// holds its own from Begin to Commit (in another process too, until that
// process dies), and the search for leftovers takes only unheld files of the
// temporary files' pattern, never a link.
TEST(Leftovers, OnlyTemporaryFilesThatNobodyHoldsAreTaken) {
    TempTree tree;
    const fs::path path = tree / "data.xml";
    WriteText(path, "old");
    for (const char* name : {".kv1A2B.tmp", "kvcFF.tmp", ".kv12.tmpx", "kv12.tmp", ".kvXYZ.tmp"})
        WriteText(tree / name, "x");
    if (!kvtest::kNoSymlinks)
        fs::create_symlink(path, tree / ".kvABC.tmp");
    kv::FileReplacement mine;
    ASSERT_EQ(mine.Begin(_stringx(path.string())), ERROR_SUCCESS);
    const std::string own = fs::path(mine.Temporary()).filename().string();

    std::vector<_stringx> found;
    kv::FindLeftovers(_stringx(tree.root().string()), false, found);
    EXPECT_EQ(found, (std::vector<_stringx>{_stringx(".kv1A2B.tmp"), _stringx("kvcFF.tmp")}));
    EXPECT_TRUE(fs::exists(tree / ".kv1A2B.tmp"));  // only named
    found.clear();
    kv::FindLeftovers(_stringx(tree.root().string()), true, found);
    EXPECT_EQ(found.size(), 2u);
    EXPECT_FALSE(fs::exists(tree / ".kv1A2B.tmp"));
    EXPECT_FALSE(fs::exists(tree / "kvcFF.tmp"));
    EXPECT_TRUE(fs::exists(tree / own));
    EXPECT_TRUE(kvtest::kNoSymlinks || fs::is_symlink(tree / ".kvABC.tmp"));

    // Let go while another writes it by name, and held again by Commit.
    mine.LetOthersWrite();
    WriteText(mine.Temporary(), "new");
    EXPECT_EQ(mine.Commit(), ERROR_SUCCESS);
    EXPECT_EQ(ReadText(path), "new");

    kvtest::ChildProcess saver([&](const kvtest::ChildProcess::Ready& ready) {
        kv::FileReplacement replacement;
        if (replacement.Begin(_stringx(path.string())) != ERROR_SUCCESS)
            return 1;
        ready();
        std::this_thread::sleep_for(std::chrono::seconds(30));
        return 0;
    });
    ASSERT_TRUE(saver.WaitReady());
    const auto temporaries = [&] {
        Files names;
        for (const std::string& name : Names(tree.root()))
            if (kv::IsTemporaryFileName(_stringx(name)) && !fs::is_symlink(tree / name))
                names.push_back(name);
        return names;
    };
    ASSERT_EQ(temporaries().size(), 1u);
    found.clear();
    kv::FindLeftovers(_stringx(tree.root().string()), true, found);
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(temporaries().size(), 1u);
    saver.Kill();
    kv::FindLeftovers(_stringx(tree.root().string()), true, found);
    EXPECT_EQ(found.size(), 1u);
    EXPECT_TRUE(temporaries().empty());
}

}  // namespace
