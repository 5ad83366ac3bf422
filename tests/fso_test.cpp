// The file-system component "scrrun.dll" (recursive folder copy and delete)
// and the layer's file copy and folder functions it is built on.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "file_test_util.h"
#include "foundation/componentloader.h"
#include "foundation/platform/errors.h"
#include "foundation/platform/fileio.h"
#include "foundation/platform/scripting.h"
#include "loader_test_util.h"

namespace fs = std::filesystem;
using kvtest::Names;
using kvtest::Perms;
using kvtest::ReadBytes;
using kvtest::SetPerms;
using kvtest::TempTree;
using kvtest::WriteBytes;

namespace {

constexpr fs::perms kReadOnly = fs::perms::owner_read | fs::perms::group_read;
constexpr fs::perms kReadWrite = fs::perms::owner_read | fs::perms::owner_write;
const char kNonAscii[] =
    "\xC3\x9C"
    "ber-\xC3\x9F-\xE2\x82\xAC.txt";  // Über-ß-€.txt

// The error a failed call left, next to its result.
DWORD Fails(BOOL result) {
    return result ? ERROR_SUCCESS : GetLastError();
}

// Everything below `root`: relative path -> content and permission bits of a
// file, "/" for a folder.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(entry.path(), root).string();
        entries[name] = entry.is_directory() ? "/"
                                             : ReadBytes(entry.path()) + " " +
                                                   std::to_string(int(Perms(entry.path())));
    }
    return entries;
}

// src/{a.txt, ro.txt (read-only), empty/, sub/deeper/<non-ASCII name>}
fs::path MakeSource(const TempTree& tree) {
    const fs::path source = tree / "src";
    fs::create_directories(source / "sub" / "deeper");
    fs::create_directory(source / "empty");
    WriteBytes(source / "a.txt", "a");
    WriteBytes(source / "ro.txt", "ro");
    SetPerms(source / "ro.txt", kReadOnly);
    WriteBytes(source / "sub" / "deeper" / kNonAscii, "deep");
    return source;
}

class FileSystemObject : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, kv::ComponentLoader::Process().CreateInstance(
                            u"scrrun.dll", CLSID_FileSystemObject, IID_IFileSystem, &m_fso));
    }
    HRESULT Copy(const fs::path& from, const std::string& to, bool overwrite = true) {
        const _stringx source(from.string()), target(to);
        return m_fso->CopyFolder(source.bstr(), target.bstr(),
                                 overwrite ? VARIANT_TRUE : VARIANT_FALSE);
    }
    HRESULT Delete(const fs::path& folder, bool force) {
        const _stringx path(folder.string());
        return m_fso->DeleteFolder(path.bstr(), force ? VARIANT_TRUE : VARIANT_FALSE);
    }

    TempTree m_tree;
    CComPtr<Scripting::IFileSystem> m_fso;
};

}  // namespace

TEST(FileCopy, CopiesContentAndModeAndRefusesWithoutTouchingTheTarget) {
    TempTree tree;
    const std::string from = (tree / "from").string(), to = (tree / "to").string();
    WriteBytes(from, "new");
    SetPerms(from, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    ASSERT_TRUE(CopyFileA(from.c_str(), to.c_str(), TRUE));
    EXPECT_EQ("new", ReadBytes(to));
    EXPECT_EQ(Perms(from), Perms(to));

    // Refused: the target stays as it was (root included) and no temporary is left.
    SetPerms(to, kReadWrite);
    WriteBytes(to, "old");
    EXPECT_EQ(ERROR_FILE_EXISTS, Fails(CopyFileA(from.c_str(), to.c_str(), TRUE)));
    SetPerms(to, kReadOnly);
    EXPECT_EQ(ERROR_ACCESS_DENIED, Fails(CopyFileA(from.c_str(), to.c_str(), FALSE)));
    EXPECT_EQ("old", ReadBytes(to));
    EXPECT_EQ((std::vector<std::string>{"from", "to"}), Names(tree.root()));

    SetPerms(to, kReadWrite);
    EXPECT_TRUE(CopyFileA(from.c_str(), to.c_str(), FALSE));
    EXPECT_EQ("new", ReadBytes(to));

    fs::create_directory(tree / "dir");
    const std::string dir = (tree / "dir").string();
    EXPECT_EQ(ERROR_ACCESS_DENIED, Fails(CopyFileA(from.c_str(), dir.c_str(), FALSE)));
    EXPECT_EQ(ERROR_ACCESS_DENIED, Fails(CopyFileA(dir.c_str(), (dir + "2").c_str(), FALSE)));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              Fails(CopyFileA((tree / "missing").c_str(), (dir + "/x").c_str(), FALSE)));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND,
              Fails(CopyFileA(from.c_str(), (tree / "missing" / "x").c_str(), FALSE)));
}

TEST(FileCopy, FoldersAreCreatedAndRemovedOneAtATime) {
    TempTree tree;
    const std::string dir = (tree / "dir").string();
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    fs::create_directory(tree / "reference");
    EXPECT_EQ(Perms(tree / "reference"), Perms(dir));
    EXPECT_EQ(ERROR_ALREADY_EXISTS, Fails(CreateDirectoryA(dir.c_str(), nullptr)));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, Fails(CreateDirectoryA((dir + "/a/b").c_str(), nullptr)));

    WriteBytes(tree / "dir" / "file", "");
    EXPECT_EQ(ERROR_ALREADY_EXISTS, Fails(CreateDirectoryA((dir + "/file").c_str(), nullptr)));
    EXPECT_EQ(ERROR_DIR_NOT_EMPTY, Fails(RemoveDirectoryA(dir.c_str())));
    EXPECT_EQ(ERROR_DIRECTORY, Fails(RemoveDirectoryA((dir + "/file").c_str())));
    fs::remove(tree / "dir" / "file");
    EXPECT_TRUE(RemoveDirectoryA(dir.c_str()));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Fails(RemoveDirectoryA(dir.c_str())));
}

TEST_F(FileSystemObject, CopiesTreesIntoNewAndExistingFolders) {
    const fs::path source = MakeSource(m_tree);
    const auto expected = Snapshot(source);

    ASSERT_EQ(S_OK, Copy(source, (m_tree / "copy").string()));
    EXPECT_EQ(expected, Snapshot(m_tree / "copy"));
    // Into an existing folder, under the source's own name.
    fs::create_directory(m_tree / "into");
    ASSERT_EQ(S_OK, Copy(source, (m_tree / "into").string() + "\\"));
    EXPECT_EQ(expected, Snapshot(m_tree / "into" / "src"));

    // Over an existing tree: files replaced, others kept; without overwriting,
    // an existing file fails and stays.
    fs::create_directories(m_tree / "old" / "sub");
    WriteBytes(m_tree / "old" / "a.txt", "old");
    WriteBytes(m_tree / "old" / "sub" / "extra", "kept");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_EXISTS),
              Copy(source, (m_tree / "old").string(), false));
    EXPECT_EQ("old", ReadBytes(m_tree / "old" / "a.txt"));
    ASSERT_EQ(S_OK, Copy(source, (m_tree / "old").string()));
    auto merged = expected;
    merged["sub/extra"] = "kept " + std::to_string(int(Perms(m_tree / "old" / "sub" / "extra")));
    EXPECT_EQ(merged, Snapshot(m_tree / "old"));
    // The copied read-only file is not replaced either.
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), Copy(source, (m_tree / "old").string()));

    WriteBytes(m_tree / "file", "f");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), Copy(source, (m_tree / "file").string()));
    EXPECT_EQ("f", ReadBytes(m_tree / "file"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
              Copy(source, (m_tree / "missing" / "copy").string()));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
              Copy(m_tree / "missing", (m_tree / "x").string()));
}

TEST_F(FileSystemObject, RefusesToCopyAFolderIntoItself) {
    const fs::path source = MakeSource(m_tree);
    const auto before = Snapshot(m_tree.root());
    for (const std::string& target :
         {source.string(), source.string() + "/", source.string() + "/sub/copy",
          (m_tree / "x" / ".." / "src" / "new").string()})
        EXPECT_EQ(E_INVALIDARG, Copy(source, target)) << target;
    EXPECT_EQ(before, Snapshot(m_tree.root()));
    EXPECT_EQ(S_OK, Copy(source, source.string() + "2"));  // a sibling, not inside
}

TEST_F(FileSystemObject, CopiesWhatLinksPointToButEndsCyclesOfLinks) {
    fs::create_directories(m_tree / "outside" / "inner");
    WriteBytes(m_tree / "outside" / "inner" / "f", "o");
    fs::create_directory(m_tree / "src");
    fs::create_symlink(m_tree / "outside" / "inner" / "f", m_tree / "src" / "file-link");
    fs::create_directory_symlink(m_tree / "outside", m_tree / "src" / "folder-link");
    ASSERT_EQ(S_OK, Copy(m_tree / "src", (m_tree / "copy").string()));
    EXPECT_FALSE(fs::is_symlink(m_tree / "copy" / "file-link"));
    EXPECT_EQ("o", ReadBytes(m_tree / "copy" / "file-link"));
    EXPECT_EQ("o", ReadBytes(m_tree / "copy" / "folder-link" / "inner" / "f"));

    fs::create_directory_symlink(m_tree / "outside", m_tree / "outside" / "inner" / "loop");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_CANT_RESOLVE_FILENAME),
              Copy(m_tree / "src", (m_tree / "copy2").string()));
}

TEST_F(FileSystemObject, DeletesTreesWithReadOnlyContentOnlyWhenForcedAndNeverFollowsLinks) {
    const fs::path source = MakeSource(m_tree);
    fs::create_directory(m_tree / "outside");
    WriteBytes(m_tree / "outside" / "f", "o");
    SetPerms(m_tree / "outside" / "f", kReadOnly);
    fs::create_symlink(m_tree / "outside" / "f", source / "sub" / "file-link");
    fs::create_directory_symlink(m_tree / "outside", source / "sub" / "folder-link");

    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), Delete(source, false));
    EXPECT_EQ("ro", ReadBytes(source / "ro.txt"));
    EXPECT_EQ(S_OK, Delete(source, true));
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ("o", ReadBytes(m_tree / "outside" / "f"));
    EXPECT_EQ(kReadOnly, Perms(m_tree / "outside" / "f"));

    // A link named itself goes as a link.
    fs::create_directory_symlink(m_tree / "outside", m_tree / "link");
    EXPECT_EQ(S_OK, Delete(m_tree / "link", true));
    EXPECT_FALSE(fs::is_symlink(m_tree / "link"));
    EXPECT_TRUE(fs::exists(m_tree / "outside" / "f"));

    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), Delete(m_tree / "missing", true));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), Delete(m_tree / "outside" / "f", true));
}

TEST_F(FileSystemObject, TellsFilesFromFolders) {
    WriteBytes(m_tree / kNonAscii, "");
    const auto exists = [&](auto method, const fs::path& path) {
        const _stringx text(path.string());
        VARIANT_BOOL answer = 1;
        EXPECT_EQ(S_OK, (m_fso.get()->*method)(text.bstr(), &answer));
        return answer;
    };
    using Scripting::IFileSystem;
    EXPECT_EQ(VARIANT_TRUE, exists(&IFileSystem::FolderExists, m_tree.root()));
    EXPECT_EQ(VARIANT_FALSE, exists(&IFileSystem::FolderExists, m_tree / kNonAscii));
    EXPECT_EQ(VARIANT_TRUE, exists(&IFileSystem::FileExists, m_tree / kNonAscii));
    EXPECT_EQ(VARIANT_FALSE, exists(&IFileSystem::FileExists, m_tree.root()));
    EXPECT_EQ(VARIANT_FALSE, exists(&IFileSystem::FileExists, m_tree / "missing"));
}
