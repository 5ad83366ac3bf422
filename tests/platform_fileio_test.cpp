// The layer's file functions: opening, reading and writing, file identity,
// renames and replacements, temporary names, locks, and the read-only rule that
// holds whoever runs the process (root included).

#include <regex>
#include <set>

#include "win32/errors.h"
#include "win32/fileio.h"
#include "win32/files.h"
#include "test_util.h"

namespace fs = std::filesystem;
using kvtest::kReadOnly;
using kvtest::Perms;
using kvtest::ReadText;
using kvtest::SetPerms;
using kvtest::TempTree;
using kvtest::WriteText;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;

// Opens a file and closes it at the end of the scope.
class Handle {
public:
    Handle(const fs::path& path, DWORD access, DWORD disposition = OPEN_EXISTING)
        : m_handle(CreateFileA(path.c_str(), access, kShareAll, nullptr, disposition, 0, nullptr)),
          m_error(GetLastError()) {}
    ~Handle() {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    operator HANDLE() const { return m_handle; }
    // ERROR_SUCCESS when the file opened, otherwise the last error of the open.
    DWORD error() const { return m_handle != INVALID_HANDLE_VALUE ? ERROR_SUCCESS : m_error; }

private:
    HANDLE m_handle;
    DWORD m_error;
};

DWORD OpenError(const fs::path& path, DWORD access, DWORD disposition) {
    return Handle(path, access, disposition).error();
}

// The error a failed call left, next to its result.
DWORD Fails(BOOL result) {
    return result ? ERROR_SUCCESS : GetLastError();
}

BY_HANDLE_FILE_INFORMATION InfoOf(const fs::path& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    EXPECT_TRUE(GetFileInformationByHandle(Handle(path, GENERIC_READ), &info)) << path;
    return info;
}

std::string IdOf(const fs::path& path) {
    const BY_HANDLE_FILE_INFORMATION info = InfoOf(path);
    return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) +
           ":" + std::to_string(info.nFileIndexLow);
}

TEST(FileIo, DispositionsCreateTruncateOrKeep) {
    TempTree tree;
    const fs::path path = tree / "f";
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), OpenError(path, GENERIC_READ, OPEN_EXISTING));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), OpenError(path, GENERIC_WRITE, TRUNCATE_EXISTING));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(DWORD(ERROR_SUCCESS), OpenError(path, GENERIC_WRITE, CREATE_NEW));
    EXPECT_EQ(Perms(path), kvtest::DefaultFilePerms(tree.root()));
    WriteText(path, "content");
    EXPECT_EQ(DWORD(ERROR_FILE_EXISTS), OpenError(path, GENERIC_WRITE, CREATE_NEW));
    EXPECT_EQ(DWORD(ERROR_SUCCESS), OpenError(path, GENERIC_WRITE, OPEN_ALWAYS));
    EXPECT_EQ(ReadText(path), "content");
    EXPECT_EQ(DWORD(ERROR_SUCCESS), OpenError(path, GENERIC_WRITE, CREATE_ALWAYS));
    EXPECT_EQ(ReadText(path), "");
    WriteText(path, "content");
    EXPECT_EQ(DWORD(ERROR_SUCCESS), OpenError(path, GENERIC_WRITE, TRUNCATE_EXISTING));
    EXPECT_EQ(ReadText(path), "");
    EXPECT_EQ(DWORD(ERROR_SUCCESS), OpenError(tree / "new", GENERIC_WRITE, OPEN_ALWAYS));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), OpenError(path, GENERIC_READ, 0));

    EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), OpenError(tree / "no/f", GENERIC_READ, OPEN_EXISTING));
    EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), OpenError(tree / "no/f", GENERIC_WRITE, CREATE_ALWAYS));
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), OpenError(tree.root(), GENERIC_READ, OPEN_EXISTING));
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), OpenError(tree.root(), GENERIC_WRITE, OPEN_EXISTING));
}

// Root could write any file; the layer refuses what Windows refuses.
TEST(FileIo, ReadOnlyFileIsNeverOpenedForWritingNorTruncated) {
    TempTree tree;
    const fs::path path = tree / "ro.txt";
    WriteText(path, "original");
    SetPerms(path, kReadOnly);
    for (DWORD disposition : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS, TRUNCATE_EXISTING})
        EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), OpenError(path, kReadWrite, disposition));
    // Truncating is writing, even through a handle asked for reading only.
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), OpenError(path, GENERIC_READ, CREATE_ALWAYS));
    EXPECT_EQ(ReadText(path), "original");
    EXPECT_EQ(DWORD(ERROR_SUCCESS), OpenError(path, GENERIC_READ, OPEN_EXISTING));
}

TEST(FileIo, ReadStopsShortOnlyAtTheEndAndTransfersReportTheirErrors) {
    TempTree tree;
    std::string content(100000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 7);
    WriteText(tree / "data", content);
    Handle handle(tree / "data", GENERIC_READ);
    LONGLONG size = 0;
    ASSERT_TRUE(GetFileSizeEx(handle, &size));
    EXPECT_EQ(size, 100000);
    std::string back;
    std::vector<DWORD> counts;
    char buffer[30000];
    DWORD count = 0;
    do {
        ASSERT_TRUE(ReadFile(handle, buffer, sizeof buffer, &count, nullptr));
        counts.push_back(count);
        back.append(buffer, count);
    } while (count != 0 && counts.size() < 10);
    EXPECT_EQ(counts, (std::vector<DWORD>{30000, 30000, 30000, 10000, 0}));
    EXPECT_EQ(back, content);

    count = 99;
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), Fails(WriteFile(handle, "x", 1, &count, nullptr)));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED),
              Fails(ReadFile(Handle(tree / "data", GENERIC_WRITE), buffer, 4, &count, nullptr)));
    for (HANDLE bad : {INVALID_HANDLE_VALUE, HANDLE(nullptr)}) {
        EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), Fails(ReadFile(bad, buffer, 4, &count, nullptr)));
        EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), Fails(CloseHandle(bad)));
    }
    if (fs::exists("/dev/full")) {
        count = 99;
        EXPECT_EQ(DWORD(ERROR_DISK_FULL),
                  Fails(WriteFile(Handle("/dev/full", GENERIC_WRITE), "data", 4, &count, nullptr)));
        EXPECT_EQ(count, 0u);
    }
}

// Locks compare file identities; saves resolve links through the final path.
TEST(FileIo, InformationIdentifiesTheFileAndTheFinalPathResolvesLinks) {
    TempTree tree;
    WriteText(tree / "real/a", "12345");
    fs::create_hard_link(tree / "real/a", tree / "hard");
    EXPECT_EQ(IdOf(tree / "hard"), IdOf(tree / "real/a"));
    EXPECT_NE(IdOf(tree / "real/a"), IdOf(WriteText(tree / "b", "")));
    EXPECT_EQ(InfoOf(tree / "hard").nFileSizeLow, 5u);

    fs::create_directory_symlink("real", tree / "dirlink");
    fs::create_symlink(tree / "dirlink/a", tree / "filelink");
    Handle handle(tree / "filelink", GENERIC_READ);
    const std::string expected = (tree / "real/a").string();
    char buffer[MAX_PATH];
    EXPECT_EQ(GetFinalPathNameByHandleA(handle, buffer, MAX_PATH, 0), expected.size());
    EXPECT_EQ(std::string(buffer), expected);
    // Too small (no room for the terminator): the size needed, with it.
    EXPECT_EQ(GetFinalPathNameByHandleA(handle, buffer, DWORD(expected.size()), 0),
              expected.size() + 1);
}

// What a save does when it puts its temporary file in place. (Deleting, and
// the rest of replacing, are seen through the saves and the components.)
TEST(FileIo, MoveAndReplaceNeverOverwriteAReadOnlyFile) {
    TempTree tree;
    const std::string from = WriteText(tree / "from", "new"), to = WriteText(tree / "to", "old");
    EXPECT_EQ(DWORD(ERROR_ALREADY_EXISTS), Fails(MoveFileExA(from.c_str(), to.c_str(), 0)));
    SetPerms(to, kReadOnly);
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED),
              Fails(MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)));
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED),
              Fails(ReplaceFileA(to.c_str(), from.c_str(), nullptr, 0, nullptr, nullptr)));
    EXPECT_EQ(ReadText(from), "new");
    EXPECT_EQ(ReadText(to), "old");
    // A replaced file deleted meanwhile: the save moves its file into place instead.
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), Fails(ReplaceFileA((tree / "gone").c_str(), from.c_str(),
                                                              nullptr, 0, nullptr, nullptr)));
    EXPECT_TRUE(MoveFileExA(from.c_str(), (tree.root().string() + "\\new").c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(ReadText(tree / "new"), "new");
}

TEST(FileIo, TempFileNamesAreUniqueCreatedAndWellFormed) {
    TempTree tree;
    const std::regex form(R"(\.kv([0-9A-F]{4,8})\.tmp)");
    std::set<std::string> seen;
    for (int i = 0; i < 300; ++i) {
        char result[MAX_PATH];
        const UINT unique = GetTempFileNameA(tree.root().c_str(), ".kvrepo", 0, result);
        ASSERT_NE(unique, 0u);
        const fs::path path(result);
        EXPECT_EQ(path.parent_path().string(), tree.root().string());
        const std::string name = path.filename().string();
        std::smatch match;
        ASSERT_TRUE(std::regex_match(name, match, form)) << name;
        EXPECT_EQ(std::stoul(match[1].str(), nullptr, 16), unique);
        EXPECT_TRUE(seen.insert(name).second) << name;
        EXPECT_EQ(fs::file_size(path), 0u);
    }
    EXPECT_EQ(kvtest::Names(tree.root()).size(), 300u);
    // A temporary file renamed to a new name is a new file: default permissions.
    EXPECT_EQ(Perms(tree / *seen.begin()), kvtest::DefaultFilePerms(tree.root()));
    char result[MAX_PATH];
    EXPECT_EQ(GetTempFileNameA((tree / "missing").c_str(), ".kv", 0, result), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

// Byte ranges, anywhere up to the largest offset, lock against other handles
// of the file only where they overlap; the lock stays with its handle while
// others come and go.
TEST(FileIo, RangeLocksBelongToTheirHandle) {
    TempTree tree;
    const fs::path path = tree / "locked";
    WriteText(path, "x");
    Handle first(path, GENERIC_WRITE), second(path, GENERIC_WRITE), reader(path, GENERIC_READ);
    const DWORD exclusive = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    const auto at = [](std::uint64_t offset) {
        OVERLAPPED overlapped{};
        overlapped.Offset = static_cast<DWORD>(offset);
        overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
        return overlapped;
    };
    OVERLAPPED far = at(1ull << 62), near = at(0);
    ASSERT_TRUE(LockFileEx(first, exclusive, 0, 4, 0, &far));
    EXPECT_EQ(DWORD(ERROR_LOCK_VIOLATION), Fails(LockFileEx(second, exclusive, 0, 1, 0, &far)));
    EXPECT_EQ(DWORD(ERROR_LOCK_VIOLATION),
              Fails(LockFileEx(second, exclusive, 0, 0xFFFFFFFF, 0xFFFFFFFF, &near)));
    // Every byte before it is free.
    EXPECT_TRUE(LockFileEx(reader, LOCKFILE_FAIL_IMMEDIATELY, 0, 0, 0x40000000, &near));
    // POSIX takes an exclusive lock only through a handle open for writing.
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), Fails(LockFileEx(reader, exclusive, 0, 1, 0, &far)));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER),
              Fails(LockFileEx(second, exclusive, 0, 1, 0, nullptr)));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), Fails(LockFileEx(second, exclusive, 0, 0, 0, &far)));

    { Handle third(path, GENERIC_READ); }  // closing another handle leaves the lock
    EXPECT_FALSE(LockFileEx(second, exclusive, 0, 1, 0, &far));
    ASSERT_TRUE(UnlockFileEx(first, 0, 4, 0, &far));
    {
        Handle closing(path, GENERIC_WRITE);
        ASSERT_TRUE(LockFileEx(closing, exclusive, 0, 1, 0, &far));
        EXPECT_FALSE(LockFileEx(first, exclusive, 0, 1, 0, &far));
    }
    EXPECT_TRUE(LockFileEx(first, exclusive, 0, 1, 0, &far));  // closing released it
}

// Callers only ever make files normal: writable by the owner, and no more.
TEST(FileIo, NormalAttributeGivesTheOwnerWriteBitBack) {
    TempTree tree;
    const std::string path = WriteText(tree / "f", "");
    SetPerms(path, kReadOnly | fs::perms::others_read);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(Perms(path), kReadOnly | fs::perms::others_read | fs::perms::owner_write);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), DWORD(FILE_ATTRIBUTE_NORMAL));
}

}  // namespace
