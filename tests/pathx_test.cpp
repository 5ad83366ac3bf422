#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "foundation/folderpath.h"
#include "foundation/pathx.h"
#include "test_util.h"

namespace {

using kv::PathFolderPart;
using kv::PathJoin;
using kv::PathLastComponent;

std::string Join(const char* left, const char* right) {
    return U8(PathJoin(_stringx(left), _stringx(right)));
}

TEST(PathJoin, PutsExactlyOneSeparatorBetweenTheParts) {
    EXPECT_EQ(Join("C:\\Repo\\", "\\Items"), "C:/Repo/Items");
    EXPECT_EQ(Join("C:\\Repo", "Items"), "C:/Repo/Items");
    EXPECT_EQ(Join("C:\\Repo\\", "Items"), "C:/Repo/Items");
    EXPECT_EQ(Join("C:\\Repo", "\\Items"), "C:/Repo/Items");
    EXPECT_EQ(Join("/srv/repo/", "/Dialogs/x.kvd"), "/srv/repo/Dialogs/x.kvd");
    EXPECT_EQ(Join("/srv/repo", "Sub\\x.kvd"), "/srv/repo/Sub/x.kvd");
}

TEST(PathJoin, EmptyPartsJoinAsTheyAre) {
    EXPECT_EQ(Join("C:\\Repo", ""), "C:/Repo");
    EXPECT_EQ(Join("", "Items"), "/Items");  // a separator is inserted, as on Windows
    EXPECT_EQ(Join("", ""), "");
}

TEST(PathJoin, OnlyOneLeadingSeparatorOfTheRightPartIsDropped) {
    EXPECT_EQ(Join("/a/", "//b"), "/a//b");
}

TEST(PathFolderPart, IsTheTextBeforeTheLastSeparator) {
    EXPECT_EQ(U8(PathFolderPart(_stringx("C:\\R\\x.xml"))), "C:\\R");
    EXPECT_EQ(U8(PathFolderPart(_stringx("C:\\x.xml"))), "C:");
    EXPECT_EQ(U8(PathFolderPart(_stringx("\\\\srv\\share\\x.xml"))), "\\\\srv\\share");
    EXPECT_EQ(U8(PathFolderPart(_stringx("/srv/repo/Repository.xml"))), "/srv/repo");
    EXPECT_EQ(U8(PathFolderPart(_stringx("/srv\\mixed/x.xml"))), "/srv\\mixed");
    EXPECT_EQ(U8(PathFolderPart(_stringx("x.xml"))), "");
    EXPECT_EQ(U8(PathFolderPart(_stringx("C:\\R\\Templates\\"))), "C:\\R\\Templates");
}

TEST(PathLastComponent, KeepsATrailingSeparator) {
    EXPECT_EQ(U8(PathLastComponent(_stringx("C:\\R\\x.xml"))), "x.xml");
    EXPECT_EQ(U8(PathLastComponent(_stringx("C:\\R\\Templates\\"))), "Templates\\");
    EXPECT_EQ(U8(PathLastComponent(_stringx("/r/Templates/"))), "Templates/");
    EXPECT_EQ(U8(PathLastComponent(_stringx("x.xml"))), "x.xml");
    EXPECT_EQ(U8(PathLastComponent(_stringx("Only\\"))), "Only\\");
    EXPECT_EQ(U8(PathLastComponent(_stringx(""))), "");
}

TEST(Pathx, JoinsWithOperators) {
    kv::pathx p(u"/srv/repo");
    p /= _stringx(u"Dialogs");
    const kv::pathx file = p / _stringx(u"\\x.kvd");
    EXPECT_EQ(U8(file), "/srv/repo/Dialogs/x.kvd");
    EXPECT_EQ(U8(file.folder_part()), "/srv/repo/Dialogs");
    EXPECT_EQ(U8(file.last_component()), "x.kvd");
}

}  // namespace

namespace {

std::string Normalized(const char* path) {
    return U8(kv::PathNormalize(_stringx(path)));
}

TEST(PathNormalize, ResolvesDotsAsText) {
    EXPECT_EQ(Normalized("/srv/repo/./Dialogs/../x.kvd"), "/srv/repo/x.kvd");
    EXPECT_EQ(Normalized("/srv/repo/../../../etc"), "/etc");
    EXPECT_EQ(Normalized("C:\\Repo\\..\\Other\\\\x"), "C:/Other/x");
    EXPECT_EQ(Normalized("a/../../b"), "../b");
    EXPECT_EQ(Normalized("\\\\srv\\share\\a\\..\\b"), "//srv/share/b");
}

TEST(PathIsInside, OnlyStrictlyBelowTheFolder) {
    const _stringx repo(u"/srv/repo");
    EXPECT_TRUE(kv::PathIsInside(repo, _stringx(u"/srv/repo/Dialogs/x.kvd")));
    EXPECT_TRUE(kv::PathIsInside(_stringx(u"/srv/repo/"), _stringx(u"/srv/repo\\x")));
    EXPECT_FALSE(kv::PathIsInside(repo, _stringx(u"/srv/repo")));
    EXPECT_FALSE(kv::PathIsInside(repo, _stringx(u"/srv/repo/Dialogs/../../x")));
    EXPECT_FALSE(kv::PathIsInside(repo, _stringx(u"/srv/repository/x")));
    EXPECT_FALSE(kv::PathIsInside(repo, _stringx(u"/etc/passwd")));
    EXPECT_FALSE(kv::PathIsInside(repo, _stringx(u"relative/x")));
    EXPECT_FALSE(kv::PathIsInside(_stringx(u"rel"), _stringx(u"rel/../../x")));
}

std::string Valid(const char* path) {
    kv::pathx p{_stringx(path)};
    return kv::IsValidFolderPath(p, true) ? U8(p) : "<invalid>";
}

TEST(IsValidFolderPath, CompletesDrivePathsAndRejectsReservedCharacters) {
    EXPECT_EQ(Valid("D:\\Repo"), "D:\\Repo");
    EXPECT_EQ(Valid("D"), "D:\\");
    EXPECT_EQ(Valid("D:"), "D:\\");
    EXPECT_EQ(Valid("D:Repo"), "D:\\Repo");
    EXPECT_EQ(Valid("D\\Repo"), "D:\\Repo");
    EXPECT_EQ(Valid(" \tD:\\Repo\n"), "D:\\Repo");
    EXPECT_EQ(Valid("\\\\server\\share"), "\\\\server\\share");
    EXPECT_EQ(Valid("/srv/Shared Repos/x"), "/srv/Shared Repos/x");
    for (const char* bad : {"\\\\1server\\share", "D:\\Re?po", "D:\\Re\\\\po", "", "   ", "1:\\x",
                            "DX", "D:\\a/b", "D:\\a:b", "/srv//x", "/srv/a|b", "//srv"})
        EXPECT_EQ(Valid(bad), "<invalid>") << bad;
}

TEST(CreateFolderPath, CreatesOnlyWhatIsMissing) {
    const auto root = std::filesystem::temp_directory_path() /
                      ("kvfolders-" + std::to_string(std::random_device()()));
    std::filesystem::create_directories(root / "A");
    kv::pathx path{_stringx((root / "A" / "B" / "C").string())};
    EXPECT_EQ(kv::CreateFolderPath(path), 0);
    EXPECT_EQ(U8(path), (root / "A" / "B" / "C").string() + "/");
    EXPECT_TRUE(std::filesystem::is_directory(root / "A" / "B" / "C"));

    std::ofstream(root / "file") << "x";
    kv::pathx blocked{_stringx((root / "file" / "sub").string())};
    EXPECT_EQ(kv::CreateFolderPath(blocked), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    kv::pathx invalid{_stringx("D:\\bad?")};
    EXPECT_EQ(kv::CreateFolderPath(invalid), E_INVALIDARG);
    std::filesystem::remove_all(root);
}

}  // namespace
