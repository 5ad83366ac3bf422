// Directory search: Windows wildcard rules, the entries and attributes a search
// returns, and its errors.

#include <gmock/gmock.h>

#include <map>

#include "win32/errors.h"
#include "foundation/platform/find.h"
#include "test_util.h"
#include "win32/fileio.h"
#include "win32/files.h"
#include "win32/find.h"

namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;

TEST(PlatformFind, WildcardsFollowTheWindowsRules) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        // Case-insensitive by the ANSI rule: A-Z and the Latin-1 capitals only.
        {"*.MSM", "setup.msm", true},
        {"\xC3\x89T\xC3\x89*", "\xC3\xA9t\xC3\xA9.kvd", true},  // ÉTÉ* / été.kvd
        {"\xC3\x97", "\xC3\xB7", false},                        // × is no capital
        {"\xCE\xA9", "\xCF\x89", false},                        // Ω / ω: not Latin-1
        {"*.msm", "setup.msi", false},
        // "?" is exactly one character, also a multibyte one.
        {"?.txt", "\xC3\xA9.txt", true},
        {"?.txt", "ab.txt", false},
        {"*a*b*", "xxaxxbxx", true},
        {"*a*b", "xxaxxbxx", false},
        // "*.*" matches every name; a trailing ".*" also a name without the dot.
        {"*.*", "README", true},
        {"a.*", "a", true},
        {"a.*", "ab", false},
        // No wildcard: that one name in any case, nothing longer or shorter.
        {"Readme.TXT", "readme.txt", true},
        {"readme.txt", "readme.txt2", false},
        // Bytes that are not UTF-8 match only themselves.
        {"a\xFF", "A\xFF", true},
        {"a\xFF", "a\xFE", false},
        {"", "a", false},
    };
    for (const auto& [pattern, name, matches] : cases)
        EXPECT_EQ(kv::platform::MatchWildcard(pattern, name), matches) << pattern << " " << name;
}

class FindTest : public testing::Test {
protected:
    // Every entry the search returns, in order; `error` is the last error after it.
    std::vector<WIN32_FIND_DATAA> Search(const fs::path& searchPath) {
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
    std::vector<std::string> Names(const fs::path& searchPath) {
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
    for (const char* name : {"B.MSM", "c.txt", ".hidden", "locked.txt", "big.bin"})
        kvtest::WriteText(dir / name, "");
    kvtest::WriteText(dir / "a.msm", std::string(3000, 'x'));
    kvtest::SetPerms(dir / "locked.txt", fs::perms::owner_read);
    fs::resize_file(dir / "big.bin", (5ull << 30) + 7);  // sparse
    fs::create_symlink(dir / "a.msm", dir / "link.msm");
    fs::create_symlink(dir / "gone", dir / "dangling.msm");

    EXPECT_THAT(Names(dir / "*.msm"), ElementsAre("B.MSM", "a.msm", "dangling.msm", "link.msm"));
    EXPECT_EQ(error, DWORD(ERROR_NO_MORE_FILES));
    // Either separator; a name without wildcards finds that entry in any case.
    EXPECT_EQ(Names(tree.root().string() + "\\Dir\\*.MSM").size(), 4u);
    EXPECT_THAT(Names(dir / "SUB"), ElementsAre("Sub"));
    EXPECT_THAT(Names(dir / "?.txt"), ElementsAre("c.txt"));

    std::map<std::string, WIN32_FIND_DATAA> all;
    for (const auto& data : Search(dir / "*"))
        all[data.cFileName] = data;
    EXPECT_EQ(Names(dir / "*.*").size(), all.size());
    EXPECT_EQ(Names(dir / "*").front(), ".");
    ASSERT_EQ(all.size(), 11u);  // a dangling link is listed as itself
    const auto attributes = [&](const char* name) { return all[name].dwFileAttributes; };
    EXPECT_EQ(attributes("dangling.msm") & FILE_ATTRIBUTE_REPARSE_POINT,
              DWORD(FILE_ATTRIBUTE_REPARSE_POINT));
    EXPECT_EQ(attributes(".."), DWORD(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(attributes("Sub"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(attributes(".hidden"), DWORD(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(attributes("locked.txt"), DWORD(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(attributes("a.msm"), DWORD(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(attributes("link.msm"), DWORD(FILE_ATTRIBUTE_REPARSE_POINT));
    EXPECT_EQ(all["link.msm"].nFileSizeLow, 3000u);
    EXPECT_EQ(all["Sub"].nFileSizeLow, 0u);
    EXPECT_EQ(all["big.bin"].nFileSizeHigh, 1u);
    EXPECT_EQ(all["big.bin"].nFileSizeLow, (1u << 30) + 7);
}

TEST_F(FindTest, TellsAMissingFolderFromNoMatch) {
    fs::create_directories(tree / "Empty");
    kvtest::WriteText(tree / "file.txt", "");
    EXPECT_TRUE(Names(tree / "Empty" / "*.msm").empty());
    EXPECT_EQ(error, DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(Names(tree / "Missing" / "*").empty());
    EXPECT_EQ(error, DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(Names(tree / "file.txt" / "*").empty());
    EXPECT_EQ(error, DWORD(ERROR_PATH_NOT_FOUND));
    WIN32_FIND_DATAA data;
    EXPECT_FALSE(FindNextFileA(INVALID_HANDLE_VALUE, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(FindClose(nullptr));
}

}  // namespace
