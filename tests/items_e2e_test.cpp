// Two repositories on disk, one data file written by a Windows tool, listed
// through the manager the way a caller lists them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "repository/repositoryitems.h"
#include "repository/repositorymgr.h"
#include "test_util.h"

namespace {

using kvtest::WriteText;
using testing::ElementsAre;

std::string Utf16LeWithBom(const std::basic_string<OLECHAR>& text) {
    std::string bytes = "\xFF\xFE";
    for (OLECHAR c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

std::vector<std::string> Describe(CRepositoryItems* items) {
    std::vector<std::string> lines;
    for (CRepositoryItem* item = items->MoveFirst(); item; item = items->MoveNext()) {
        std::string line;
        for (const OLECHAR* name :
             {OLESTR("ParentRepo"), OLESTR("DisplayPath"), OLESTR("DisplayName")}) {
            _stringx value(OLESTR("-"));
            item->GetProperty(_stringx(name), &value);
            line += (line.empty() ? "" : " | ") + U8(value);
        }
        lines.push_back(line);
    }
    return lines;
}

TEST(ItemsEndToEnd, ListingOneAndAllRepositoriesThroughTheManager) {
    kvtest::TempTree tree;
    // A local repository written by this library's own conventions.
    WriteText(tree / "Local" / "Repository.xml",
              "<Repository><Dialogs><RepoItem Name=\"Dialogs\" Key=\"Dialogs\" Wildcard=\"*.kvd\">"
              "<ItemAttrib FileName=\"welcome.kvd\" DisplayName=\"Welcome\"/></RepoItem></Dialogs>"
              "<SqlScripts><RepoItem Name=\"Sql\" Key=\"SqlScripts\" Wildcard=\"*.sql\"/>"
              "</SqlScripts></Repository>");
    WriteText(tree / "Local" / "Dialogs" / "Welcome.kvd", "d");
    WriteText(tree / "Local" / "Dialogs" / "About.kvd", "d");
    WriteText(tree / "Local" / "Sql" / "init.sql", "s");
    // A shared repository whose data file a Windows tool saved: UTF-16 with a
    // byte-order mark, CRLF, backslash folders, non-ASCII names.
    WriteText(
        tree / "Shared" / "Repository.xml",
        Utf16LeWithBom(
            OLESTR("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Repository>\r\n") OLESTR(
                "  <Dialogs>\r\n") OLESTR("    <RepoItem Name=\"Team\\Dialogs\" Key=\"Dialogs\" ")
                OLESTR("Wildcard=\"*.kvd\">\r\n")
                    OLESTR("      <ItemAttrib FileName=\"\u00e9quipe.kvd\" ")
                        OLESTR("DisplayName=\"\u00c9quipe \u20ac\"/>\r\n")
                            OLESTR("    </RepoItem>\r\n  </Dialogs>\r\n</Repository>\r\n")));
    WriteText(tree / "Shared" / "Team" / "Dialogs" / "\xC3\x89quipe.kvd", "d");
    const std::string list =
        WriteText(tree / "Repos.xml",
                  "<Repositories><Repository Key=\"Local\" Local=\"1\" DisplayName=\"Mine\" "
                  "Path=\"##TestingRepositoriesDir##\\Local\\Repository.xml\"/>"
                  "<Repository Key=\"Network\" Local=\"0\" DisplayName=\"Team\" "
                  "Path=\"##TestingRepositoriesDir##\\Shared\\Repository.xml\"/></Repositories>");

    kvtest::RecordingStatus status;
    CRepositoryMgr manager(list.c_str(), &status);
    CRepository* shared = manager.GetRepository("Network", false);
    ASSERT_NE(shared, nullptr);
    CRepositoryItems* raw = nullptr;
    ASSERT_EQ(shared->GetItems("Dialogs/*", &raw), 0);
    std::unique_ptr<CRepositoryItems> one(raw);
    EXPECT_THAT(Describe(one.get()),
                ElementsAre("Team | <KVREPOSITORY>\\Dialogs\\\xC3\xA9quipe.kvd | "
                            "\xC3\x89quipe \xE2\x82\xAC"));

    CRepositories* repositories = nullptr;
    ASSERT_EQ(manager.GetRepositories("*", &repositories, false), 0);
    CRepositoryItems* all = nullptr;
    ASSERT_EQ(repositories->GetRepositoryItems("Dialogs/*", 1, &all), 0);
    EXPECT_THAT(Describe(all), ElementsAre("Mine | <KVREPOSITORY>\\Dialogs\\about.kvd | About.kvd",
                                           "Mine | <KVREPOSITORY>\\Dialogs\\welcome.kvd | Welcome",
                                           "Team | <KVREPOSITORY>\\Dialogs\\\xC3\xA9quipe.kvd | "
                                           "\xC3\x89quipe \xE2\x82\xAC"));
    ASSERT_EQ(repositories->GetRepositoryItems("SqlScripts/*", 0, &all), 0);
    EXPECT_THAT(Describe(all),
                ElementsAre("Mine | <KVREPOSITORY>\\SqlScripts\\init.sql | init.sql"));
    EXPECT_TRUE(status.messages.empty());
}

TEST(ItemsEndToEnd, ADisplayPathFindsItsFileWhateverTheFilesCase) {
    kvtest::TempTree tree;
    const std::string data = WriteText(
        tree / "Repo" / "Repository.xml",
        "<Repository><Dialogs><RepoItem Name=\"Dialogs\" Key=\"Dialogs\" Wildcard=\"*.kvd\"/>"
        "</Dialogs><Templates><RepoItem Name=\"Templates\" Key=\"Templates\" "
        "Wildcard=\"*.kvt\"/></Templates></Repository>");
    WriteText(tree / "Repo" / "Dialogs" / "Welcome.KVD", "d");
    WriteText(tree / "Repo" / "Templates" / "base" / "Base.KVT", "t");
    CRepository repository(_stringx(OLESTR("Local")), _stringx(data), true, _stringx(), nullptr);
    for (const char* path :
         {"<KVREPOSITORY>\\Dialogs\\welcome.kvd", "<KVREPOSITORY>\\Templates\\base.kvt"}) {
        CRepositoryItems* raw = nullptr;
        ASSERT_EQ(repository.GetItems(path, &raw), 0);
        std::unique_ptr<CRepositoryItems> items(raw);
        ASSERT_EQ(items->GetCount(), 1) << path;
        _stringx local;
        items->GetFirst()->CreateLocalCopy(&local);
        EXPECT_TRUE(std::filesystem::exists(U8(local))) << U8(local);
    }
    CRepositoryItems* raw = nullptr;
    ASSERT_EQ(repository.GetItems("<KVREPOSITORY>\\Dialogs\\*.kvd", &raw), 0);
    std::unique_ptr<CRepositoryItems> wildcard(raw);
    EXPECT_EQ(wildcard->GetCount(), 0);  // a named lookup takes no wildcards
}

}  // namespace
