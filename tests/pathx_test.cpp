#include "foundation/folderpath.h"
#include "foundation/pathx.h"
#include "test_util.h"

namespace {

// The text rules of tests/data/paths.txt: each row a rule, what it is given
// and what it gives.
TEST(PathRules, GiveWhatTheTableSays) {
    for (const auto& row : kvtest::DataRows("paths.txt")) {
        const std::string& rule = row[0];
        const _stringx path(row[1]);
        kv::pathx folder{path};
        const std::string given = rule == "join"     ? U8(kv::PathJoin(path, _stringx(row[2])))
                                  : rule == "folder" ? U8(kv::PathFolderPart(path))
                                  : rule == "last"   ? U8(kv::PathLastComponent(path))
                                  : rule == "normal" ? U8(kv::PathNormalize(path))
                                  : rule == "inside"
                                      ? (kv::PathIsInside(path, _stringx(row[2])) ? "yes" : "no")
                                  : kv::IsValidFolderPath(folder, true) ? U8(folder)
                                                                        : "<invalid>";
        EXPECT_EQ(given, row.back()) << rule << " " << testing::PrintToString(row[1]);
    }
    kv::pathx p(OLESTR("/srv/repo"));
    p /= _stringx(OLESTR("Dialogs"));
    EXPECT_EQ(U8(p / _stringx(OLESTR("\\x.kvd"))), "/srv/repo/Dialogs/x.kvd");
}

TEST(FolderPath, MissingFoldersAreCreated) {
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
