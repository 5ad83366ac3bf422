// Directory search: Windows wildcard rules, the entries and attributes a search
// returns, and its errors.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "file_test_util.h"
#include "foundation/platform/errors.h"
#include "foundation/platform/find.h"
#include "loader_test_util.h"

namespace fs = std::filesystem;
using kv::platform::MatchWildcard;
using testing::ElementsAre;

namespace {

TEST(PlatformFindTest, WildcardsFollowTheWindowsRules) {
    // Case-insensitive by the ANSI rule: A-Z and the Latin-1 capitals only.
    EXPECT_TRUE(MatchWildcard("*.MSM", "setup.msm"));
    EXPECT_TRUE(MatchWildcard("\xC3\x89T\xC3\x89*", "\xC3\xA9t\xC3\xA9.kvd"));  // ÉTÉ* / été.kvd
    EXPECT_TRUE(MatchWildcard("\xC3\x9E", "\xC3\xBE"));                         // Þ / þ
    EXPECT_FALSE(MatchWildcard("\xC3\x97", "\xC3\xB7"));                        // × is no capital
    EXPECT_FALSE(MatchWildcard("\xCE\xA9", "\xCF\x89"));  // Ω / ω: not Latin-1
    EXPECT_FALSE(MatchWildcard("*.msm", "setup.msi"));

    // "?" is exactly one character, also a multibyte one.
    EXPECT_TRUE(MatchWildcard("?.txt", "\xC3\xA9.txt"));
    EXPECT_FALSE(MatchWildcard("?.txt", "ab.txt"));
    EXPECT_FALSE(MatchWildcard("a?", "a"));
    EXPECT_TRUE(MatchWildcard("a?c*", "abc"));
    EXPECT_TRUE(MatchWildcard("*a*b*", "xxaxxbxx"));
    EXPECT_FALSE(MatchWildcard("*a*b", "xxaxxbxx"));

    // "*.*" matches every name; a trailing ".*" also matches a name without the dot.
    for (const char* name : {"README", "a.b.c", ".hidden", ".", "..", "x."})
        EXPECT_TRUE(MatchWildcard("*.*", name)) << name;
    EXPECT_TRUE(MatchWildcard("a.*", "a"));
    EXPECT_FALSE(MatchWildcard("a.*", "ab"));

    // No wildcard: that one name, in any case, and nothing longer.
    EXPECT_TRUE(MatchWildcard("Readme.TXT", "readme.txt"));
    EXPECT_FALSE(MatchWildcard("readme.txt", "readme.txt2"));
    EXPECT_FALSE(MatchWildcard("readme.txt", "readme"));
    // Bytes that are not UTF-8 match only themselves.
    EXPECT_TRUE(MatchWildcard("a\xFF", "A\xFF"));
    EXPECT_FALSE(MatchWildcard("a\xFF", "a\xFE"));
    EXPECT_FALSE(MatchWildcard("", "a"));
}

class FindTest : public testing::Test {
protected:
    // Every entry the search returns, in order; `error` is the last error after it.
    std::vector<WIN32_FIND_DATAA> Search(const std::string& searchPath) {
        std::vector<WIN32_FIND_DATAA> found;
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA(searchPath.c_str(), &data);
        error = GetLastError();
        if (search == INVALID_HANDLE_VALUE)
            return found;
        do
            found.push_back(data);
        while (FindNextFileA(search, &data));
        error = GetLastError();
        EXPECT_TRUE(FindClose(search));
        return found;
    }
    std::vector<std::string> Names(const std::string& searchPath) {
        std::vector<std::string> names;
        for (const auto& data : Search(searchPath))
            names.push_back(data.cFileName);
        return names;
    }

    kvtest::TempTree tree;
    DWORD error = 0;
};

TEST_F(FindTest, ReturnsMatchingEntriesWithAttributesAndSizes) {
    const fs::path dir = tree / "Dir";
    fs::create_directories(dir / "Sub");
    kvtest::WriteBytes(dir / "a.msm", std::string(3000, 'x'));
    kvtest::WriteBytes(dir / "B.MSM", "");
    kvtest::WriteBytes(dir / "c.txt", "c");
    kvtest::WriteBytes(dir / ".hidden", "");
    kvtest::WriteBytes(dir / "locked.txt", "");
    kvtest::SetPerms(dir / "locked.txt", fs::perms::owner_read);
    kvtest::WriteBytes(dir / "big.bin", "");
    fs::resize_file(dir / "big.bin", (5ull << 30) + 7);  // sparse
    fs::create_symlink(dir / "a.msm", dir / "link.msm");
    fs::create_symlink(dir / "gone", dir / "dangling.msm");

    EXPECT_THAT(Names((dir / "*.msm").string()),
                ElementsAre("B.MSM", "a.msm", "dangling.msm", "link.msm"));
    EXPECT_EQ(error, DWORD(ERROR_NO_MORE_FILES));
    // Either separator; a name without wildcards finds that entry in any case.
    EXPECT_THAT(Names(tree.root().string() + "\\Dir\\*.MSM"),
                ElementsAre("B.MSM", "a.msm", "dangling.msm", "link.msm"));
    EXPECT_THAT(Names((dir / "SUB").string()), ElementsAre("Sub"));
    EXPECT_THAT(Names((dir / "?.txt").string()), ElementsAre("c.txt"));

    std::map<std::string, WIN32_FIND_DATAA> all;
    for (const auto& data : Search((dir / "*").string()))
        all[data.cFileName] = data;
    EXPECT_EQ(Names((dir / "*.*").string()).size(), all.size());
    EXPECT_EQ(Names((dir / "*").string()).front(), ".");
    ASSERT_EQ(all.size(), 11u);  // a dangling link is listed as itself
    EXPECT_EQ(all["dangling.msm"].dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT,
              DWORD(FILE_ATTRIBUTE_REPARSE_POINT));
    EXPECT_EQ(all["."].dwFileAttributes, DWORD(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(all[".."].dwFileAttributes, DWORD(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(all["Sub"].dwFileAttributes, DWORD(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(all["Sub"].nFileSizeLow, 0u);
    EXPECT_EQ(all[".hidden"].dwFileAttributes, DWORD(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(all["locked.txt"].dwFileAttributes, DWORD(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(all["a.msm"].dwFileAttributes, DWORD(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(all["a.msm"].nFileSizeLow, 3000u);
    EXPECT_EQ(all["link.msm"].dwFileAttributes, DWORD(FILE_ATTRIBUTE_REPARSE_POINT));
    EXPECT_EQ(all["link.msm"].nFileSizeLow, 3000u);
    EXPECT_EQ(all["big.bin"].nFileSizeHigh, 1u);
    EXPECT_EQ(all["big.bin"].nFileSizeLow, (1u << 30) + 7);
}

TEST_F(FindTest, TellsAMissingFolderFromNoMatch) {
    fs::create_directories(tree / "Empty");
    kvtest::WriteBytes(tree / "file.txt", "");
    EXPECT_TRUE(Names((tree / "Empty" / "*.msm").string()).empty());
    EXPECT_EQ(error, DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(Names((tree / "Missing" / "*").string()).empty());
    EXPECT_EQ(error, DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(Names((tree / "file.txt" / "*").string()).empty());
    EXPECT_EQ(error, DWORD(ERROR_PATH_NOT_FOUND));

    WIN32_FIND_DATAA data;
    EXPECT_FALSE(FindNextFileA(INVALID_HANDLE_VALUE, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(FindClose(nullptr));
}

}  // namespace
