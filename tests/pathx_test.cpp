#include "foundation/folderpath.h"
#include "foundation/pathx.h"
#include "foundation/platform/text.h"
#include "test_util.h"

namespace {

// The text rules of tests/data/paths.txt: each row a rule, what it is given
// and what it gives.
TEST(PathRules, GiveWhatTheTableSays) {
    for (const auto& row : kvtest::DataRows("paths.txt")) {
        std::string rule = row[0];
        const std::size_t only = rule.find('@');  // a row for one platform
        if (only != std::string::npos && rule.substr(only + 1) != kvtest::kPlatform)
            continue;
        rule = rule.substr(0, only);
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
    const char separator = static_cast<char>(kv::platform::kPathSeparator);
    EXPECT_EQ(U8(p / _stringx(OLESTR("\\x.kvd"))),
              std::string("/srv/repo") + separator + "Dialogs" + separator + "x.kvd");
}

TEST(FolderPath, MissingFoldersAreCreated) {
    kvtest::TempTree tree;
    kvtest::WriteText(tree / "A" / "file", "x");
    const std::filesystem::path abc = tree / "A" / "B" / "C";
    kv::pathx path{_stringx(abc.string())};
    EXPECT_EQ(kv::CreateFolderPath(path), 0);
    EXPECT_EQ(U8(path), abc.string() + static_cast<char>(kv::platform::kPathSeparator));
    EXPECT_TRUE(std::filesystem::is_directory(abc));
    kv::pathx blocked{_stringx((tree / "A" / "file" / "sub").string())};
    EXPECT_EQ(kv::CreateFolderPath(blocked), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    kv::pathx invalid{_stringx("D:\\bad?")};
    EXPECT_EQ(kv::CreateFolderPath(invalid), E_INVALIDARG);
}

}  // namespace
