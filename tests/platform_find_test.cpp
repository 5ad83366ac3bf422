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

// The patterns and names of tests/data/wildcards.txt match as it says.
TEST(PlatformFind, WildcardsFollowTheWindowsRules) {
    // The texts are UTF-8 where they are valid UTF-8, and bytes elsewhere.
    const auto ansi = [](const std::string& text) {
        return U8(FromU8(text)) == text ? AnsiText(text) : text;
    };
    for (const auto& row : kvtest::DataRows("wildcards.txt"))
        EXPECT_EQ(kv::platform::MatchWildcard(ansi(row[0]).c_str(), ansi(row[1]).c_str()),
                  row[2] == "yes")
            << row[0] << " " << row[1];
}

// Every entry a search returns, in order; `error` is the last error after it.
std::vector<WIN32_FIND_DATAA> Search(const fs::path& searchPath, DWORD& error) {
    std::vector<WIN32_FIND_DATAA> found;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(kvtest::Ansi(searchPath), &data);
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
    DWORD error = 0;
    std::vector<std::string> names;
    for (const auto& data : Search(searchPath, error))
        names.push_back(data.cFileName);
    return names;
}

TEST(PlatformFind, ReturnsMatchingEntriesWithTheirAttributes) {
    if (kvtest::kNoSymlinks)
        GTEST_SKIP() << kvtest::kNoSymlinks;
    kvtest::TempTree tree;
    const fs::path dir = tree / "Dir";
    fs::create_directories(dir / "Sub");
    for (const char* name : {"B.MSM", "c.txt", ".hidden", "locked.txt", "a.msm"})
        kvtest::WriteText(dir / name, "");
    kvtest::SetPerms(dir / "locked.txt", fs::perms::owner_read);
    fs::create_symlink(dir / "a.msm", dir / "link.msm");
    fs::create_symlink(dir / "gone", dir / "dangling.msm");

    // Either separator; a name without wildcards finds that entry in any case.
    EXPECT_THAT(Names(tree.root().string() + "\\Dir\\*.MSM"),
                ElementsAre("B.MSM", "a.msm", "dangling.msm", "link.msm"));
    EXPECT_THAT(Names(dir / "SUB"), ElementsAre("Sub"));

    DWORD error = 0;
    std::map<std::string, WIN32_FIND_DATAA> all;
    for (const auto& data : Search(dir / "*", error))
        all[data.cFileName] = data;
    EXPECT_EQ(error, DWORD(ERROR_NO_MORE_FILES));
    EXPECT_EQ(Names(dir / "*.*").size(), all.size());
    ASSERT_EQ(all.size(), 10u);  // with "." and "..", and a dangling link as itself
    const std::pair<const char*, DWORD> attributes[] = {
        {"dangling.msm", FILE_ATTRIBUTE_REPARSE_POINT},
        {"Sub", FILE_ATTRIBUTE_DIRECTORY},
        {".hidden", FILE_ATTRIBUTE_HIDDEN},
        {"locked.txt", FILE_ATTRIBUTE_READONLY},
        {"a.msm", FILE_ATTRIBUTE_NORMAL},
        {"link.msm", FILE_ATTRIBUTE_REPARSE_POINT}};
    for (const auto& [name, attribute] : attributes)
        EXPECT_EQ(all[name].dwFileAttributes, attribute) << name;

    // No match, a missing folder, a file as the folder.
    fs::create_directories(tree / "Empty");
    for (const auto& [path, expected] :
         {std::pair<fs::path, DWORD>{tree / "Empty/*.msm", ERROR_FILE_NOT_FOUND},
          {tree / "Missing/*", ERROR_PATH_NOT_FOUND},
          {dir / "c.txt/*", ERROR_PATH_NOT_FOUND}}) {
        EXPECT_TRUE(Search(path, error).empty());
        EXPECT_EQ(error, expected) << path;
    }
}

}  // namespace
