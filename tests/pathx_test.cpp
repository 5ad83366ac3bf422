#include "foundation/folderpath.h"
#include "foundation/pathx.h"
#include "test_util.h"

namespace {

using kvtest::FlatPairs;

TEST(PathJoin, PutsExactlyOneSeparatorBetweenTheParts) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"C:\\Repo\\", "\\Items", "C:/Repo/Items"},
        {"C:\\Repo", "Items", "C:/Repo/Items"},
        {"/srv/repo", "Sub\\x.kvd", "/srv/repo/Sub/x.kvd"},
        {"C:\\Repo", "", "C:/Repo"},
        {"", "Items", "/Items"},  // a separator is inserted, as on Windows
        {"", "", ""},
        {"/a/", "//b", "/a//b"},  // only one leading separator is dropped
    };
    for (const auto& [left, right, joined] : cases)
        EXPECT_EQ(U8(kv::PathJoin(_stringx(left), _stringx(right))), joined) << left << right;

    kv::pathx p(OLESTR("/srv/repo"));
    p /= _stringx(OLESTR("Dialogs"));
    EXPECT_EQ(U8(p / _stringx(OLESTR("\\x.kvd"))), "/srv/repo/Dialogs/x.kvd");
}

// Folder and last component split at the last separator of either kind; the
// last component keeps a trailing separator.
TEST(PathParts, SplitAtTheLastSeparatorOfEitherKind) {
    for (const auto& [path, folder] :
         FlatPairs({"C:\\R\\x.xml", "C:\\R", "C:\\x.xml", "C:", "\\\\srv\\share\\x.xml",
                    "\\\\srv\\share", "/srv\\mixed/x.xml", "/srv\\mixed", "x.xml", "",
                    "C:\\R\\Templates\\", "C:\\R\\Templates"}))
        EXPECT_EQ(U8(kv::PathFolderPart(_stringx(path))), folder) << path;
    for (const auto& [path, last] :
         FlatPairs({"C:\\R\\x.xml", "x.xml", "C:\\R\\Templates\\", "Templates\\", "/r/Templates/",
                    "Templates/", "Only\\", "Only\\", "", ""}))
        EXPECT_EQ(U8(kv::PathLastComponent(_stringx(path))), last) << path;
}

TEST(PathContainment, DotsResolveAsTextAndOnlyStrictlyBelowIsInside) {
    for (const auto& [path, normal] :
         FlatPairs({"/srv/repo/./Dialogs/../x.kvd", "/srv/repo/x.kvd", "/srv/repo/../../../etc",
                    "/etc", "C:\\Repo\\..\\Other\\\\x", "C:/Other/x", "a/../../b", "../b",
                    "\\\\srv\\share\\a\\..\\b", "//srv/share/b"}))
        EXPECT_EQ(U8(kv::PathNormalize(_stringx(path))), normal) << path;

    const _stringx repo(OLESTR("/srv/repo"));
    EXPECT_TRUE(kv::PathIsInside(repo, OLESTR("/srv/repo/Dialogs/x.kvd")));
    EXPECT_TRUE(kv::PathIsInside(OLESTR("/srv/repo/"), OLESTR("/srv/repo\\x")));
    for (const OLECHAR* outside :
         {OLESTR("/srv/repo"), OLESTR("/srv/repo/Dialogs/../../x"), OLESTR("/srv/repository/x"),
          OLESTR("/etc/passwd"), OLESTR("relative/x")})
        EXPECT_FALSE(kv::PathIsInside(repo, _stringx(outside))) << U8(outside);
    EXPECT_FALSE(kv::PathIsInside(OLESTR("rel"), OLESTR("rel/../../x")));
}

TEST(FolderPath, ValidPathsAreCompletedAndMissingFoldersCreated) {
    const auto valid = [](const std::string& path) {
        kv::pathx p{_stringx(path)};
        return kv::IsValidFolderPath(p, true) ? U8(p) : "<invalid>";
    };
    for (const auto& [path, completed] :
         FlatPairs({"D:\\Repo", "D:\\Repo", "D", "D:\\", "D:Repo", "D:\\Repo", "D\\Repo",
                    "D:\\Repo", " \tD:\\Repo\n", "D:\\Repo", "\\\\server\\share",
                    "\\\\server\\share", "/srv/Shared Repos/x", "/srv/Shared Repos/x"}))
        EXPECT_EQ(valid(path), completed) << path;
    for (const char* bad : {"\\\\1server\\share", "D:\\Re?po", "D:\\Re\\\\po", "", "   ", "1:\\x",
                            "DX", "D:\\a/b", "D:\\a:b", "/srv//x", "/srv/a|b", "//srv"})
        EXPECT_EQ(valid(bad), "<invalid>") << bad;

    kvtest::TempTree tree;
    kvtest::WriteText(tree / "A" / "file", "x");
    kv::pathx path{_stringx((tree / "A/B/C").string())};
    EXPECT_EQ(kv::CreateFolderPath(path), 0);
    EXPECT_EQ(U8(path), (tree / "A/B/C").string() + "/");
    EXPECT_TRUE(std::filesystem::is_directory(tree / "A/B/C"));
    kv::pathx blocked{_stringx((tree / "A/file/sub").string())};
    EXPECT_EQ(kv::CreateFolderPath(blocked), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    kv::pathx invalid{_stringx("D:\\bad?")};
    EXPECT_EQ(kv::CreateFolderPath(invalid), E_INVALIDARG);
}

}  // namespace
