// The file-system component "scrrun.dll" (recursive folder copy and delete)
// and the layer's file copy and folder functions it is built on.

#include <map>

#include "win32/errors.h"
#include "win32/fileio.h"
#include "win32/scripting.h"
#include "test_util.h"
#include "foundation/platform/comptr.h"

using namespace kvtest;

namespace {

const char kNonAscii[] =
    "\xC3\x9C"
    "ber-\xC3\x9F-\xE2\x82\xAC.txt";  // Über-ß-€.txt

// Everything below `root`: relative path -> content and permission bits of a
// file, "/" for a folder.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        entries[fs::relative(entry.path(), root).string()] =
            entry.is_directory()
                ? "/"
                : ReadText(entry.path()) + " " + std::to_string(int(Perms(entry.path())));
    return entries;
}

// The rest of CopyFileA is seen through the component and publishing.
TEST(FileCopy, ARefusedCopyLeavesTheTargetAndNoTemporaryFile) {
    TempTree tree;
    const std::string from = WriteText(tree / "from", "new"), to = WriteText(tree / "to", "old");
    SetPerms(to, kReadOnly);  // root included
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), Fails(CopyFileA(Ansi(from), Ansi(to), FALSE)));
    EXPECT_EQ("old", ReadText(to));
    EXPECT_EQ((std::vector<std::string>{"from", "to"}), Names(tree.root()));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND),
              Fails(CopyFileA(Ansi(tree / "missing"), Ansi(tree / "x"), FALSE)));
}

// The component as publishing calls it: copies overwrite, and deletions are
// forced (a folder is deleted before one is copied in its place).
class FileSystemObject : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, kv::ComponentLoader::Process().CreateInstance(
                            OLESTR("scrrun.dll"), CLSID_FileSystemObject, IID_IFileSystem, &m_fso));
        // src/{a.txt, ro.txt (read-only), empty/, sub/deeper/<non-ASCII name>}
        WriteText(m_source / "a.txt", "a");
        WriteText(m_source / "ro.txt", "ro");
        SetPerms(m_source / "ro.txt", kReadOnly);
        WriteText(m_source / "sub/deeper" / kNonAscii, "deep");
        fs::create_directory(m_source / "empty");
    }
    HRESULT Copy(const fs::path& from, const fs::path& to) {
        return m_fso->CopyFolder(_stringx(from.string()).bstr(), _stringx(to.string()).bstr(),
                                 VARIANT_TRUE);
    }
    HRESULT Delete(const fs::path& folder) {
        return m_fso->DeleteFolder(_stringx(folder.string()).bstr(), VARIANT_TRUE);
    }

    TempTree m_tree;
    const fs::path m_source = m_tree / "src";
    CComPtr<Scripting::IFileSystem> m_fso;
};

TEST_F(FileSystemObject, CopiesTreesIntoNewAndExistingFolders) {
    const auto expected = Snapshot(m_source);
    ASSERT_EQ(S_OK, Copy(m_source, m_tree / "copy"));
    EXPECT_EQ(expected, Snapshot(m_tree / "copy"));
    fs::create_directory(m_tree / "into");  // under the source's own name
    ASSERT_EQ(S_OK, Copy(m_source, m_tree.root().string() + "/into\\"));
    EXPECT_EQ(expected, Snapshot(m_tree / "into/src"));

    WriteText(m_tree / "file", "f");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), Copy(m_source, m_tree / "file"));
    EXPECT_EQ("f", ReadText(m_tree / "file"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), Copy(m_source, m_tree / "missing/copy"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), Copy(m_tree / "missing", m_tree / "x"));
}

// Links are copied as what they point to; a cycle of links ends the copy, and
// so does a target inside the source.
TEST_F(FileSystemObject, CopiesWhatLinksPointToButNeverIntoItself) {
    if (kvtest::kNoSymlinks)
        GTEST_SKIP() << kvtest::kNoSymlinks;
    WriteText(m_tree / "outside/inner/f", "o");
    fs::create_symlink(m_tree / "outside/inner/f", m_source / "file-link");
    fs::create_directory_symlink(m_tree / "outside", m_source / "folder-link");
    ASSERT_EQ(S_OK, Copy(m_source, m_tree / "copy"));
    EXPECT_FALSE(fs::is_symlink(m_tree / "copy/file-link"));
    EXPECT_EQ("o", ReadText(m_tree / "copy/file-link"));
    EXPECT_EQ("o", ReadText(m_tree / "copy/folder-link/inner/f"));
    const auto before = Snapshot(m_tree.root());
    for (const fs::path& target :
         {m_source, m_source / "", m_source / "sub/copy", m_tree / "x/../src/new"})
        EXPECT_EQ(E_INVALIDARG, Copy(m_source, target)) << target.string();
    EXPECT_EQ(before, Snapshot(m_tree.root()));
    fs::create_directory_symlink(m_tree / "outside", m_tree / "outside/inner/loop");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_CANT_RESOLVE_FILENAME), Copy(m_source, m_tree / "copy2"));
}

TEST_F(FileSystemObject, DeletesReadOnlyContentByForceAndNeverFollowsLinks) {
    if (kvtest::kNoSymlinks)
        GTEST_SKIP() << kvtest::kNoSymlinks;
    WriteText(m_tree / "outside/f", "o");
    SetPerms(m_tree / "outside/f", kReadOnly);
    fs::create_symlink(m_tree / "outside/f", m_source / "sub/file-link");
    fs::create_directory_symlink(m_tree / "outside", m_source / "sub/folder-link");
    EXPECT_EQ(S_OK, Delete(m_source));
    EXPECT_FALSE(fs::exists(m_source));
    EXPECT_EQ("o", ReadText(m_tree / "outside/f"));
    EXPECT_EQ(kReadOnly, Perms(m_tree / "outside/f"));

    fs::create_directory_symlink(m_tree / "outside", m_tree / "link");  // goes as a link
    EXPECT_EQ(S_OK, Delete(m_tree / "link"));
    EXPECT_FALSE(fs::is_symlink(m_tree / "link"));
    EXPECT_TRUE(fs::exists(m_tree / "outside/f"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), Delete(m_tree / "missing"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), Delete(m_tree / "outside/f"));
}

}  // namespace
