#include <gmock/gmock.h>

#include "repo_util.h"

namespace {

using namespace kvtest;
using testing::ElementsAre;

class RepositoriesTest : public RepoTest {
protected:
    // A data file in folder `name` with one merge-module group.
    std::string DataFile(const std::string& name, const std::string& folder = "MM") {
        return Data(name + "/Repository.xml", Group("MergeModules", folder, "*.msm"));
    }
    // "key" (with ":local" when local) of each repository the manager loads, in order.
    std::vector<std::string> Keys(const char* filter, bool includeMissing = false) {
        CRepositories* loaded = nullptr;
        EXPECT_EQ(manager.GetRepositories(filter, &loaded, includeMissing), 0);
        std::vector<std::string> keys;
        for (CRepository* r = loaded->MoveFirst(); r; r = loaded->MoveNext())
            keys.push_back(U8(r->GetKey()) + (r->GetLocal() ? ":local" : ""));
        return keys;
    }
};

TEST_F(RepositoriesTest, KeyFilterIsExactAndKeepsDocumentOrder) {
    List("<!-- shared -->" + Entry("Local", DataFile("A")) + Entry("Network", DataFile("B"), "0") +
         Entry("Local", DataFile("C")));
    for (const char* all : {static_cast<const char*>(nullptr), "", "*"})
        EXPECT_THAT(Keys(all), ElementsAre("Local:local", "Network", "Local:local"));
    EXPECT_THAT(Keys("Network"), ElementsAre("Network"));
    EXPECT_THAT(Keys("local"), ElementsAre());
    EXPECT_THAT(Keys("Net"), ElementsAre());
    // The comment reads as an entry without attributes: no key, no data file.
    EXPECT_THAT(Keys("*", true), ElementsAre("", "Local:local", "Network", "Local:local"));
    EXPECT_EQ(U8(manager.GetRepository("Local", false)->GetRepoDataFilePath()),
              (tree / "A/Repository.xml").string());  // the first of two
    EXPECT_TRUE(status.messages.empty());

    WriteText(list, "<Something><Repository Key=\"A\"/></Something>");
    EXPECT_THAT(Keys("*", true), ElementsAre());
    std::filesystem::remove(list);
    CRepositories* loaded = nullptr;
    EXPECT_EQ(manager.GetRepositories("*", &loaded, true), kv::status::kNotOpened);
    EXPECT_EQ(loaded->GetCount(), 0);  // stays loaded, empty
    EXPECT_THAT(status.messages, ElementsAre("Error opening XML file " + list));
}

TEST_F(RepositoriesTest, MissingDataFilesAreSkippedUnlessAskedFor) {
    std::filesystem::create_directories(tree / "Folder.xml");
    List(Entry("Present", DataFile("A")) + Entry("Gone", (tree / "gone.xml").string()) +
         Entry("Folder", (tree / "Folder.xml").string()) + "<Repository Key=\"NoPath\"/>");
    EXPECT_THAT(Keys("*"), ElementsAre("Present:local"));
    EXPECT_THAT(Keys("*", true),
                ElementsAre("Present:local", "Gone:local", "Folder:local", "NoPath"));
    EXPECT_TRUE(manager.GetRepository("NoPath", true)->GetRepoDataFilePath().empty());
}

TEST_F(RepositoriesTest, LocalIsExactlyTheTextOneAndThePlaceholderIsReplacedOnce) {
    WriteText(tree / "R1/Repository.xml", "<Repository/>");
    const std::string data = DataFile("A");
    List(Entry("a", data, "1") + Entry("b", data, "true") + Entry("c", data, "01") +
         Entry("d", data, "1 ") + Entry("e", data, "") +
         Entry("R1", "##TestingRepositoriesDir##\\R1\\Repository.xml") +
         Entry("Twice", "##TestingRepositoriesDir##\\##TestingRepositoriesDir##\\Repository.xml"));
    EXPECT_THAT(Keys("*"), ElementsAre("a:local", "b", "c", "d", "e", "R1:local"));

    const std::string folder = tree.root().string();  // the list file's folder
    EXPECT_EQ(U8(manager.GetRepository("R1", false)->GetRepoDataFilePath()),
              folder + "\\R1\\Repository.xml");
    EXPECT_EQ(U8(manager.GetRepository("Twice", true)->GetRepoDataFilePath()),
              folder + "\\##TestingRepositoriesDir##\\Repository.xml");
}

TEST_F(RepositoriesTest, PropertiesLiveInTheListFileAndLeaveTheFieldsAlone) {
    const std::string data = DataFile("A", "Merge Modules");
    List(Entry("A", data, "1", "DisplayName=\"Team A\""));
    CRepository* repo = manager.GetRepository("A", false);
    ASSERT_NE(repo, nullptr);
    EXPECT_EQ(Prop(*repo, OLESTR("DisplayName")), "Team A");
    EXPECT_EQ(Prop(*repo, OLESTR("Owner")), "<-101>");
    EXPECT_EQ(repo->PutProperty(OLESTR("Owner"), OLESTR("J\u00FCrgen")), 0);
    EXPECT_EQ(repo->PutProperty(OLESTR("Path"), OLESTR("/elsewhere.xml")), 0);
    EXPECT_EQ(repo->PutProperty(OLESTR("Local"), OLESTR("0")), 0);
    EXPECT_EQ(Prop(*repo, OLESTR("Owner")), "J\xC3\xBCrgen");
    EXPECT_EQ(Prop(*repo, OLESTR("Path")), "/elsewhere.xml");
    EXPECT_EQ(U8(repo->GetRepoDataFilePath()), data);  // the fields stay
    EXPECT_TRUE(repo->GetLocal());

    // MMSearchPath comes from the data file; Key needs no file at all.
    EXPECT_EQ(Prop(*repo, OLESTR("MMSearchPath")), (tree / "A" / "Merge Modules").string());
    WriteText(data, "<Repository><Dialogs/></Repository>");
    EXPECT_EQ(Prop(*repo, OLESTR("MMSearchPath")), "");
    std::filesystem::remove(list);
    EXPECT_EQ(Prop(*repo, OLESTR("Key")), "A");
    EXPECT_TRUE(status.messages.empty());

    // A repository without a key has no entry to address.
    List("<Repository Path=\"" + data + "\" DisplayName=\"x\"/>");
    CRepository* keyless = manager.GetRepository(nullptr, false);
    ASSERT_NE(keyless, nullptr);
    EXPECT_EQ(Prop(*keyless, OLESTR("Key")), "");
    EXPECT_EQ(Prop(*keyless, OLESTR("DisplayName")), "<-101>");
}

// Under the sanitizers: no leak and no double free.
TEST_F(RepositoriesTest, ReloadsReplaceTheListAndCopiesNeverDeleteIt) {
    List(Entry("A", DataFile("A")) + Entry("A", DataFile("B")));
    CRepositories* first = nullptr;
    CRepositories* loaded = nullptr;
    ASSERT_EQ(manager.GetRepositories("*", &first, false), 0);
    ASSERT_EQ(manager.GetRepositories("*", &loaded, false), 0);  // the first is gone now
    EXPECT_EQ(loaded->GetCount(), 2);
    ASSERT_EQ(manager.GetRepositories("*", &loaded, false), 0);
    WriteText(tree / "A" / "MM" / "a.msm", "");
    CRepositoryItems* gathered = nullptr;
    ASSERT_EQ(loaded->GetRepositoryItems("MergeModules/*", 1, &gathered), 0);
    {
        // A view gathers items of its own and leaves the list's alone.
        CRepositories view(*loaded);
        EXPECT_EQ(view.MoveFirst(), loaded->GetFirst());
        EXPECT_EQ(U8(view.GetRepoDataFilePath()), list);
        CRepositoryItems* viewItems = nullptr;
        ASSERT_EQ(view.GetRepositoryItems("MergeModules/*", 1, &viewItems), 0);
        ASSERT_EQ(view.GetRepositoryItems("MergeModules/*", 1, &viewItems), 0);
        EXPECT_NE(viewItems, gathered);
        EXPECT_EQ(viewItems->GetCount(), 1);
        CRepositories assigned(*loaded);
        assigned = view;
        view = *loaded;
    }
    EXPECT_EQ(gathered->GetCount(), 1);
    EXPECT_EQ(U8(gathered->GetFirst()->GetRepository()->GetKey()), "A");  // still alive

    // A key or path taken from the list being replaced is a safe argument.
    EXPECT_NE(manager.GetRepository(loaded->GetFirst()->GetKey().narrow(), false), nullptr);
    CRepositories* reloaded = nullptr;
    ASSERT_EQ(manager.GetRepositories("*", &reloaded, false), 0);
    ASSERT_EQ(manager.GetRepositories(reloaded->GetFirst()->GetKey().narrow(), &reloaded, false),
              0);
    EXPECT_EQ(reloaded->GetCount(), 2);

    CRepositoryMgr copy(manager);  // a list of its own
    CRepositoryMgr assigned(nullptr, nullptr);
    assigned = manager;
    EXPECT_EQ(U8(copy.GetRepoDataFilePath()), list);
    EXPECT_NE(copy.GetRepository("A", false), nullptr);
    EXPECT_NE(assigned.GetRepository("A", false), nullptr);
    CRepositoryMgr neverLoaded(list.c_str(), nullptr);
}

}  // namespace
