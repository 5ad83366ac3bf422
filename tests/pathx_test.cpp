#include <gtest/gtest.h>

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
