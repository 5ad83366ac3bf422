// The layer's file functions where the saves, locks and components do not
// reach them: the dispositions the library opens with, the read-only rule that
// holds whoever runs the process (root included), a full device, renames and
// replacements, temporary names and the final path of a handle.

#include <regex>
#include <set>

#include "win32/errors.h"
#include "win32/fileio.h"
#include "win32/files.h"
#include "test_util.h"

using namespace kvtest;

namespace {

// Opens a file and closes it at the end of the scope.
class Handle {
public:
    Handle(const fs::path& path, DWORD access, DWORD disposition = OPEN_EXISTING)
        : m_handle(CreateFileA(Ansi(path), access,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               disposition, 0, nullptr)),
          m_error(m_handle == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS) {}
    ~Handle() { CloseHandle(m_handle); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    operator HANDLE() const { return m_handle; }
    DWORD error() const { return m_error; }

private:
    HANDLE m_handle;
    DWORD m_error;
};

DWORD OpenError(const fs::path& path, DWORD access, DWORD disposition) {
    return Handle(path, access, disposition).error();
}

TEST(FileIo, DispositionsCreateTruncateOrKeepAndReadOnlyFilesAreNeverWritten) {
    TempTree tree;
    const fs::path path = tree / "f";
    // {access, disposition, error, content afterwards}, in turn on one path.
    const std::tuple<DWORD, DWORD, DWORD, const char*> steps[] = {
        {GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND, nullptr},
        {GENERIC_WRITE, TRUNCATE_EXISTING, ERROR_FILE_NOT_FOUND, nullptr},
        {GENERIC_WRITE, CREATE_ALWAYS, ERROR_SUCCESS, ""},
        {GENERIC_WRITE, TRUNCATE_EXISTING, ERROR_SUCCESS, ""},
        {GENERIC_WRITE, OPEN_EXISTING, ERROR_SUCCESS, "content"},
    };
    for (const auto& [access, disposition, error, after] : steps) {
        if (fs::exists(path))
            WriteText(path, "content");
        EXPECT_EQ(OpenError(path, access, disposition), error) << disposition;
        EXPECT_EQ(fs::exists(path) ? ReadText(path) : "<none>", after ? after : "<none>");
    }
    EXPECT_EQ(Perms(tree / "f"), DefaultFilePerms(tree.root()));
    EXPECT_EQ(OpenError(tree / "no/f", GENERIC_WRITE, CREATE_ALWAYS), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(OpenError(tree.root(), GENERIC_READ, OPEN_EXISTING), DWORD(ERROR_ACCESS_DENIED));

    // A read-only file is opened for writing by no one, root included.
    SetPerms(path, kReadOnly);
    for (DWORD disposition : {OPEN_EXISTING, CREATE_ALWAYS, TRUNCATE_EXISTING})
        EXPECT_EQ(OpenError(path, GENERIC_WRITE, disposition), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadText(path), "content");
    EXPECT_EQ(OpenError(path, GENERIC_READ, OPEN_EXISTING), DWORD(ERROR_SUCCESS));
}

TEST(FileIo, TransfersReportTheirErrorsAndTheFinalPathResolvesLinks) {
    TempTree tree;
    WriteText(tree / "real/data", "12345");
    DWORD count = 99;
    char buffer[MAX_PATH];
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(Fails(WriteFile(Handle("/dev/full", GENERIC_WRITE), "data", 4, &count, nullptr)),
                  DWORD(ERROR_DISK_FULL));
        EXPECT_EQ(count, 0u);
    }

    // Through links where they can be made; the final path is the file's.
    if (!kNoSymlinks) {
        fs::create_directory_symlink("real", tree / "dirlink");
        fs::create_symlink(tree / "dirlink/data", tree / "filelink");
    }
    Handle linked(kNoSymlinks ? tree / "real" / "data" : tree / "filelink", GENERIC_READ);
    const std::string expected = (tree / "real" / "data").string();
    EXPECT_EQ(GetFinalPathNameByHandleA(linked, buffer, MAX_PATH, 0), expected.size());
    EXPECT_EQ(std::string(buffer), expected);
    // Too small (no room for the terminator): the size needed, with it.
    EXPECT_EQ(GetFinalPathNameByHandleA(linked, buffer, DWORD(expected.size()), 0),
              expected.size() + 1);
}

// What a save does when it puts its temporary file in place.
TEST(FileIo, MoveAndReplaceNeverOverwriteAReadOnlyFile) {
    TempTree tree;
    const std::string from = WriteText(tree / "from", "new"), to = WriteText(tree / "to", "old");
    EXPECT_EQ(Fails(MoveFileExA(from.c_str(), to.c_str(), 0)), DWORD(ERROR_ALREADY_EXISTS));
    SetPerms(to, kReadOnly);
    EXPECT_EQ(Fails(MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)),
              DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Fails(ReplaceFileA(to.c_str(), from.c_str(), nullptr, 0, nullptr, nullptr)),
              DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadText(from), "new");
    EXPECT_EQ(ReadText(to), "old");
    // A replaced file deleted meanwhile: the save moves its file into place instead.
    EXPECT_EQ(Fails(ReplaceFileA(Ansi(tree / "gone"), from.c_str(), nullptr, 0, nullptr, nullptr)),
              DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(MoveFileExA(from.c_str(), (tree.root().string() + "\\new").c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(ReadText(tree / "new"), "new");
}

TEST(FileIo, TempFileNamesAreUniqueCreatedAndWellFormed) {
    TempTree tree;
#ifdef _WIN32
    // The system's names; Wine writes their hexadecimal digits in lower case.
    const std::regex form(R"(\.kv([0-9A-F]{4,8})\.tmp)", std::regex::icase);
#else
    const std::regex form(R"(\.kv([0-9A-F]{4,8})\.tmp)");
#endif
    std::set<std::string> seen;
    char result[MAX_PATH];
    for (int i = 0; i < 300; ++i) {
        const UINT unique = GetTempFileNameA(Ansi(tree.root()), ".kvrepo", 0, result);
        const fs::path path(result);
        std::smatch match;
        const std::string name = path.filename().string();
        ASSERT_TRUE(std::regex_match(name, match, form)) << name;
        EXPECT_EQ(std::stoul(match[1].str(), nullptr, 16), unique);
        EXPECT_EQ(path.parent_path(), tree.root());
        EXPECT_TRUE(seen.insert(name).second) << name;
    }
    EXPECT_EQ(Names(tree.root()).size(), 300u);
    EXPECT_EQ(ReadText(tree / *seen.begin()), "");
    EXPECT_EQ(GetTempFileNameA(Ansi(tree / "missing"), ".kv", 0, result), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    // A name that would not fit the caller's buffer is refused, not cut.
    const std::string deep = Ansi(tree.root()).operator const char*() + std::string(MAX_PATH, 'd');
    EXPECT_EQ(GetTempFileNameA(deep.c_str(), ".kv", 0, result), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILENAME_EXCED_RANGE));
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
    OVERLAPPED high = at(1ull << 62), low = at(0);
    ASSERT_TRUE(LockFileEx(first, exclusive, 0, 4, 0, &high));
    EXPECT_EQ(DWORD(ERROR_LOCK_VIOLATION), Fails(LockFileEx(second, exclusive, 0, 1, 0, &high)));
    EXPECT_EQ(DWORD(ERROR_LOCK_VIOLATION),
              Fails(LockFileEx(second, exclusive, 0, 0xFFFFFFFF, 0xFFFFFFFF, &low)));
    // Every byte before it is free.
    EXPECT_TRUE(LockFileEx(reader, LOCKFILE_FAIL_IMMEDIATELY, 0, 0, 0x40000000, &low));
#ifndef _WIN32
    // POSIX takes an exclusive lock only through a handle open for writing;
    // Windows takes one through any handle, and has no check for a missing
    // OVERLAPPED nor for an empty range.
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), Fails(LockFileEx(reader, exclusive, 0, 1, 0, &high)));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER),
              Fails(LockFileEx(second, exclusive, 0, 1, 0, nullptr)));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), Fails(LockFileEx(second, exclusive, 0, 0, 0, &high)));
#endif

    { Handle third(path, GENERIC_READ); }  // closing another handle leaves the lock
    EXPECT_FALSE(LockFileEx(second, exclusive, 0, 1, 0, &high));
    ASSERT_TRUE(UnlockFileEx(first, 0, 4, 0, &high));
    {
        Handle closing(path, GENERIC_WRITE);
        ASSERT_TRUE(LockFileEx(closing, exclusive, 0, 1, 0, &high));
        EXPECT_FALSE(LockFileEx(first, exclusive, 0, 1, 0, &high));
    }
    EXPECT_TRUE(LockFileEx(first, exclusive, 0, 1, 0, &high));  // closing released it
}

}  // namespace
