// The layer's file functions: opening, reading and writing, file identity,
// renames and replacements, temporary names, locks, and the read-only rule that
// holds whoever runs the process (root included).

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "file_test_util.h"
#include "foundation/platform/errors.h"
#include "foundation/platform/fileio.h"
#include "foundation/platform/files.h"
#include "loader_test_util.h"
#include "posix_test_util.h"

namespace fs = std::filesystem;
using kvtest::Names;
using kvtest::Perms;
using kvtest::ReadBytes;
using kvtest::SetPerms;
using kvtest::TempTree;
using kvtest::WriteBytes;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr fs::perms kReadOnly = fs::perms::owner_read | fs::perms::group_read;

// Opens a file and closes it at the end of the scope.
class Handle {
public:
    Handle(const fs::path& path, DWORD access, DWORD disposition)
        : m_handle(CreateFileA(path.c_str(), access, kShareAll, nullptr, disposition, 0, nullptr)),
          m_error(GetLastError()) {}
    ~Handle() {
        if (valid())
            CloseHandle(m_handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }
    DWORD error() const { return m_error; }  // last error right after the open

private:
    HANDLE m_handle;
    DWORD m_error;
};

BY_HANDLE_FILE_INFORMATION InfoOf(const fs::path& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    Handle handle(path, GENERIC_READ, OPEN_EXISTING);
    EXPECT_TRUE(handle.valid()) << path;
    EXPECT_TRUE(GetFileInformationByHandle(handle.get(), &info));
    return info;
}

bool SameFileId(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

// --- opening ---

TEST(FileIo, CreateNewMakesADefaultFileAndRefusesAnExistingOne) {
    TempTree tree;
    const fs::path path = tree / "new.bin";
    {
        Handle created(path, GENERIC_WRITE, CREATE_NEW);
        ASSERT_TRUE(created.valid());
    }
    EXPECT_EQ(Perms(path), kvtest::DefaultFilePerms(tree.root()));

    WriteBytes(path, "keep");
    SetLastError(ERROR_SUCCESS);
    Handle again(path, GENERIC_WRITE, CREATE_NEW);
    EXPECT_FALSE(again.valid());
    EXPECT_EQ(again.error(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(ReadBytes(path), "keep");
}

TEST(FileIo, DispositionsCreateTruncateOrKeep) {
    TempTree tree;
    const fs::path path = tree / "f";
    {
        Handle missing(path, GENERIC_READ, OPEN_EXISTING);
        EXPECT_EQ(missing.error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        Handle truncateMissing(path, GENERIC_WRITE, TRUNCATE_EXISTING);
        EXPECT_EQ(truncateMissing.error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
    EXPECT_FALSE(fs::exists(path));
    { Handle openAlways(path, GENERIC_WRITE, OPEN_ALWAYS); }
    EXPECT_TRUE(fs::exists(path));
    WriteBytes(path, "content");
    { Handle openAlways(path, GENERIC_WRITE, OPEN_ALWAYS); }
    EXPECT_EQ(ReadBytes(path), "content");
    { Handle createAlways(path, GENERIC_WRITE, CREATE_ALWAYS); }
    EXPECT_EQ(ReadBytes(path), "");
    WriteBytes(path, "content");
    { Handle truncate(path, GENERIC_WRITE, TRUNCATE_EXISTING); }
    EXPECT_EQ(ReadBytes(path), "");

    Handle bad(path, GENERIC_READ, 0);
    EXPECT_EQ(bad.error(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FileIo, MissingFolderAndFolderErrors) {
    TempTree tree;
    Handle inMissingFolder(tree / "no" / "f", GENERIC_READ, OPEN_EXISTING);
    EXPECT_EQ(inMissingFolder.error(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    Handle createInMissingFolder(tree / "no" / "f", GENERIC_WRITE, CREATE_ALWAYS);
    EXPECT_EQ(createInMissingFolder.error(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    fs::create_directory(tree / "dir");
    Handle readFolder(tree / "dir", GENERIC_READ, OPEN_EXISTING);
    EXPECT_FALSE(readFolder.valid());
    EXPECT_EQ(readFolder.error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    Handle writeFolder(tree / "dir", GENERIC_WRITE, OPEN_EXISTING);
    EXPECT_EQ(writeFolder.error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// Root could write any file; the layer refuses what Windows refuses.
TEST(FileIo, ReadOnlyFileIsNeverOpenedForWritingNorTruncated) {
    TempTree tree;
    const fs::path path = tree / "ro.txt";
    WriteBytes(path, "original");
    SetPerms(path, kReadOnly);

    for (DWORD disposition : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS, TRUNCATE_EXISTING}) {
        Handle write(path, GENERIC_READ | GENERIC_WRITE, disposition);
        EXPECT_FALSE(write.valid()) << disposition;
        EXPECT_EQ(write.error(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << disposition;
    }
    // Truncating is writing, even through a handle asked for reading only.
    Handle truncate(path, GENERIC_READ, CREATE_ALWAYS);
    EXPECT_EQ(truncate.error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadBytes(path), "original");

    Handle read(path, GENERIC_READ, OPEN_EXISTING);
    EXPECT_TRUE(read.valid());
}

// --- reading and writing ---

TEST(FileIo, ReadStopsShortOnlyAtTheEnd) {
    TempTree tree;
    const fs::path path = tree / "data";
    std::string content(100000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 7);
    WriteBytes(path, content);

    Handle handle(path, GENERIC_READ, OPEN_EXISTING);
    ASSERT_TRUE(handle.valid());
    LONGLONG size = 0;
    ASSERT_TRUE(GetFileSizeEx(handle.get(), &size));
    EXPECT_EQ(size, 100000);

    std::string back;
    char buffer[30000];
    DWORD read = 0;
    std::vector<DWORD> counts;
    do {
        ASSERT_TRUE(ReadFile(handle.get(), buffer, sizeof buffer, &read, nullptr));
        counts.push_back(read);
        back.append(buffer, read);
    } while (read != 0);
    EXPECT_EQ(counts, (std::vector<DWORD>{30000, 30000, 30000, 10000, 0}));
    EXPECT_EQ(back, content);
    // At the end, reading keeps answering success with nothing.
    read = 99;
    EXPECT_TRUE(ReadFile(handle.get(), buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(read, 0u);
}

TEST(FileIo, TransferErrors) {
    TempTree tree;
    const fs::path path = tree / "f";
    WriteBytes(path, "abc");
    char buffer[4];
    DWORD count = 99;
    {
        Handle readOnly(path, GENERIC_READ, OPEN_EXISTING);
        EXPECT_FALSE(WriteFile(readOnly.get(), "x", 1, &count, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(count, 0u);
        Handle writeOnly(path, GENERIC_WRITE, OPEN_EXISTING);
        EXPECT_FALSE(ReadFile(writeOnly.get(), buffer, sizeof buffer, &count, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    for (HANDLE bad : {INVALID_HANDLE_VALUE, HANDLE(nullptr)}) {
        EXPECT_FALSE(ReadFile(bad, buffer, sizeof buffer, &count, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(CloseHandle(bad));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

TEST(FileIo, FullDiskIsDiskFull) {
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    Handle full("/dev/full", GENERIC_WRITE, OPEN_EXISTING);
    ASSERT_TRUE(full.valid());
    DWORD written = 99;
    EXPECT_FALSE(WriteFile(full.get(), "data", 4, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(written, 0u);
}

// --- identity and names ---

TEST(FileIo, FileInformationIdentifiesTheFile) {
    TempTree tree;
    WriteBytes(tree / "a", "12345");
    WriteBytes(tree / "b", "");
    const BY_HANDLE_FILE_INFORMATION a1 = InfoOf(tree / "a");
    const BY_HANDLE_FILE_INFORMATION a2 = InfoOf(tree / "a");
    EXPECT_TRUE(SameFileId(a1, a2));
    EXPECT_FALSE(SameFileId(a1, InfoOf(tree / "b")));
    EXPECT_EQ(a1.nFileSizeLow, 5u);
    EXPECT_EQ(a1.nFileSizeHigh, 0u);
    EXPECT_EQ(a1.nNumberOfLinks, 1u);
    EXPECT_EQ(a1.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));

    fs::create_hard_link(tree / "a", tree / ".link");
    const BY_HANDLE_FILE_INFORMATION link = InfoOf(tree / ".link");
    EXPECT_TRUE(SameFileId(a1, link));
    EXPECT_EQ(link.nNumberOfLinks, 2u);

    // A rename over the name leaves another file behind it.
    fs::rename(tree / "b", tree / "a");
    EXPECT_FALSE(SameFileId(a1, InfoOf(tree / "a")));

    WriteBytes(tree / ".hidden", "");
    SetPerms(tree / ".hidden", kReadOnly);
    EXPECT_EQ(InfoOf(tree / ".hidden").dwFileAttributes,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
}

TEST(FileIo, FinalPathResolvesLinks) {
    TempTree tree;
    fs::create_directory(tree / "real");
    WriteBytes(tree / "real" / "file.xml", "x");
    fs::create_directory_symlink("real", tree / "dirlink");
    fs::create_symlink(tree / "dirlink" / "file.xml", tree / "filelink");

    Handle handle(tree / "filelink", GENERIC_READ, OPEN_EXISTING);
    ASSERT_TRUE(handle.valid());
    const std::string expected = (tree / "real" / "file.xml").string();
    char buffer[MAX_PATH];
    EXPECT_EQ(GetFinalPathNameByHandleA(handle.get(), buffer, MAX_PATH, 0), expected.size());
    EXPECT_EQ(std::string(buffer), expected);
    // Too small (no room for the terminator): the size needed, with it.
    EXPECT_EQ(
        GetFinalPathNameByHandleA(handle.get(), buffer, static_cast<DWORD>(expected.size()), 0),
        expected.size() + 1);

    // A file without a name has no final path.
    fs::remove(tree / "real" / "file.xml");
    EXPECT_EQ(GetFinalPathNameByHandleA(handle.get(), buffer, MAX_PATH, 0), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// --- deleting, renaming, replacing ---

TEST(FileIo, DeleteRefusesReadOnlyFilesAndFolders) {
    TempTree tree;
    WriteBytes(tree / "ro", "keep");
    SetPerms(tree / "ro", kReadOnly);
    EXPECT_FALSE(DeleteFileA((tree / "ro").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadBytes(tree / "ro"), "keep");

    fs::create_directory(tree / "dir");
    EXPECT_FALSE(DeleteFileA((tree / "dir").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(fs::is_directory(tree / "dir"));

    EXPECT_FALSE(DeleteFileA((tree / "missing").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // A link is deleted itself, not judged by the file it points at.
    fs::create_symlink(tree / "ro", tree / "link");
    EXPECT_TRUE(DeleteFileA((tree / "link").c_str()));
    EXPECT_FALSE(fs::is_symlink(tree / "link"));
    EXPECT_EQ(ReadBytes(tree / "ro"), "keep");

    WriteBytes(tree / "rw", "");
    SetLastError(1234);
    EXPECT_TRUE(DeleteFileA((tree / "rw").c_str()));
    EXPECT_EQ(GetLastError(), 1234u);  // success leaves the last error alone
    EXPECT_FALSE(fs::exists(tree / "rw"));
}

TEST(FileIo, MoveReplacesOnlyWhenAskedAndNeverAReadOnlyFile) {
    TempTree tree;
    const std::string from = (tree / "from").string();
    const std::string to = (tree / "to").string();
    WriteBytes(from, "new");
    WriteBytes(to, "old");

    EXPECT_FALSE(MoveFileExA(from.c_str(), to.c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ReadBytes(from), "new");
    EXPECT_EQ(ReadBytes(to), "old");

    SetPerms(to, kReadOnly);
    EXPECT_FALSE(MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadBytes(from), "new");
    EXPECT_EQ(ReadBytes(to), "old");

    SetPerms(to, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(
        MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_FALSE(fs::exists(from));
    EXPECT_EQ(ReadBytes(to), "new");

    EXPECT_FALSE(MoveFileExA(from.c_str(), (tree / "other").c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(FileIo, MoveRenamesFoldersButReplacesNone) {
    TempTree tree;
    fs::create_directories(tree / "a" / "inner");
    fs::create_directory(tree / "b");
    EXPECT_FALSE(MoveFileExA((tree / "a").c_str(), (tree / "b").c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(
        MoveFileExA((tree / "a").c_str(), (tree / "b").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(fs::is_directory(tree / "a" / "inner"));

    const std::string windowsTarget = tree.root().string() + "\\c";
    EXPECT_TRUE(MoveFileExA((tree / "a").c_str(), windowsTarget.c_str(), MOVEFILE_WRITE_THROUGH));
    EXPECT_TRUE(fs::is_directory(tree / "c" / "inner"));
}

TEST(FileIo, ReplaceKeepsTheReplacedFilesModeAndOwner) {
    TempTree tree;
    const fs::path replaced = tree / "data.xml";
    const fs::path replacement = tree / "new.tmp";
    WriteBytes(replaced, "old");
    WriteBytes(replacement, "new");
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    SetPerms(replaced, mode);
    SetPerms(replacement, fs::perms::owner_all | fs::perms::others_all);
    const kvtest::Owner owner{1234, 1234};
    const bool privileged = kvtest::ChangeOwner(replaced.c_str(), owner);

    const BY_HANDLE_FILE_INFORMATION newId = InfoOf(replacement);
    ASSERT_TRUE(ReplaceFileA(replaced.c_str(), replacement.c_str(), nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(ReadBytes(replaced), "new");
    EXPECT_FALSE(fs::exists(replacement));
    EXPECT_TRUE(SameFileId(InfoOf(replaced), newId));  // renamed, not copied
    EXPECT_EQ(Perms(replaced), mode);
    if (privileged) {
        EXPECT_EQ(kvtest::OwnerOf(replaced.c_str()), owner);
    }
}

TEST(FileIo, ReplaceRefusesAReadOnlyFileAndBadArguments) {
    TempTree tree;
    const fs::path replaced = tree / "data.xml";
    const fs::path replacement = tree / "new.tmp";
    WriteBytes(replaced, "old");
    WriteBytes(replacement, "new");
    SetPerms(replaced, kReadOnly);
    EXPECT_FALSE(ReplaceFileA(replaced.c_str(), replacement.c_str(), nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadBytes(replaced), "old");
    EXPECT_EQ(ReadBytes(replacement), "new");
    EXPECT_EQ(Perms(replaced), kReadOnly);

    EXPECT_FALSE(ReplaceFileA((tree / "missing").c_str(), replacement.c_str(), nullptr, 0, nullptr,
                              nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetPerms(replaced, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(ReplaceFileA(replaced.c_str(), replacement.c_str(), (tree / "bak").c_str(), 0,
                              nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(ReadBytes(replaced), "old");
}

// --- temporary names ---

TEST(FileIo, TempFileNamesAreUniqueCreatedAndWellFormed) {
    TempTree tree;
    const std::regex form(R"(\.kv([0-9A-F]{4,8})\.tmp)");
    std::set<std::string> seen;
    for (int i = 0; i < 300; ++i) {
        char result[MAX_PATH];
        const UINT unique = GetTempFileNameA(tree.root().c_str(), ".kvrepo", 0, result);
        ASSERT_NE(unique, 0u);
        const fs::path path(result);
        EXPECT_EQ(path.parent_path(), tree.root());
        const std::string name = path.filename().string();
        std::smatch match;
        ASSERT_TRUE(std::regex_match(name, match, form)) << name;
        EXPECT_EQ(std::stoul(match[1].str(), nullptr, 16), unique);
        EXPECT_TRUE(seen.insert(name).second) << name;
        EXPECT_TRUE(fs::is_regular_file(path));
        EXPECT_EQ(fs::file_size(path), 0u);
    }
    EXPECT_EQ(Names(tree.root()).size(), 300u);
    // New files' permissions: a temporary file renamed to a new name is a new file.
    EXPECT_EQ(Perms(tree / *seen.begin()), kvtest::DefaultFilePerms(tree.root()));
}

TEST(FileIo, TempFileNameInAMissingFolderFails) {
    TempTree tree;
    char result[MAX_PATH];
    EXPECT_EQ(GetTempFileNameA((tree / "missing").c_str(), ".kv", 0, result), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

// --- locks ---

TEST(FileIo, LocksBelongToTheirHandle) {
    TempTree tree;
    const fs::path path = tree / "locked";
    WriteBytes(path, "x");
    SetPerms(path, kReadOnly);  // a read-only file can be locked through a reading handle
    Handle first(path, GENERIC_READ, OPEN_EXISTING);
    Handle second(path, GENERIC_READ, OPEN_EXISTING);
    const DWORD exclusive = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    ASSERT_TRUE(LockFileEx(first.get(), exclusive, 0, 1, 0, nullptr));
    EXPECT_FALSE(LockFileEx(second.get(), exclusive, 0, 1, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_LOCK_VIOLATION));
    // Another range of the file is locked too: locks cover whole files here.
    EXPECT_FALSE(LockFileEx(second.get(), exclusive, 0, 1, 1, nullptr));

    // Closing some other handle of the file leaves the lock in place.
    { Handle third(path, GENERIC_READ, OPEN_EXISTING); }
    EXPECT_FALSE(LockFileEx(second.get(), exclusive, 0, 1, 0, nullptr));

    ASSERT_TRUE(UnlockFileEx(first.get(), 0, 1, 0, nullptr));
    EXPECT_TRUE(LockFileEx(second.get(), exclusive, 0, 1, 0, nullptr));
    // A shared lock waits for the exclusive one too; closing releases.
    EXPECT_FALSE(LockFileEx(first.get(), LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_LOCK_VIOLATION));
    HANDLE closing =
        CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(UnlockFileEx(second.get(), 0, 1, 0, nullptr));
    ASSERT_TRUE(LockFileEx(closing, exclusive, 0, 1, 0, nullptr));
    CloseHandle(closing);
    EXPECT_TRUE(LockFileEx(first.get(), exclusive, 0, 1, 0, nullptr));
}

// --- attributes ---

TEST(FileIo, ReadOnlyAttributeClearsEveryWriteBitAndNormalGivesTheOwnersBack) {
    TempTree tree;
    const fs::path path = tree / "f";
    WriteBytes(path, "");
    SetPerms(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                       fs::perms::group_write | fs::perms::others_read | fs::perms::others_write);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Perms(path), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));

    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(Perms(path), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                               fs::perms::others_read);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));

    EXPECT_FALSE(SetFileAttributesA((tree / "missing").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}
