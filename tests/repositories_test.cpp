#include <gmock/gmock.h>

#include "repository/repositoryitems.h"
#include "repository/repositorymgr.h"
#include "test_util.h"

namespace {

using kvtest::WriteText;
using testing::ElementsAre;

class RepositoriesTest : public testing::Test {
protected:
    // A data file in folder `name` with one merge-module group.
    std::string DataFile(const std::string& name, const std::string& mergeModules = "MM") {
        return WriteText(
            tree / name / "Repository.xml",
            "<Repository><MergeModules><RepoItem Name=\"" + mergeModules +
                "\" Key=\"MergeModules\" Wildcard=\"*.msm\"/></MergeModules></Repository>");
    }
    void List(const std::string& entries) {
        WriteText(listPath,
                  "<?xml version=\"1.0\"?>\n<Repositories>\n" + entries + "</Repositories>\n");
    }
    static std::string Entry(const std::string& key, const std::string& path,
                             const std::string& local = "1", const std::string& extra = "") {
        return "  <Repository Key=\"" + key + "\" Path=\"" + path + "\" Local=\"" + local + "\" " +
               extra + "/>\n";
    }
    // "key" (with ":local" when local) of each repository the manager loads, in order.
    std::vector<std::string> Keys(const char* filter, bool includeMissing = false) {
        CRepositories* list = nullptr;
        EXPECT_EQ(manager.GetRepositories(filter, &list, includeMissing), 0);
        std::vector<std::string> keys;
        for (CRepository* r = list->MoveFirst(); r; r = list->MoveNext())
            keys.push_back(U8(r->GetKey()) + (r->GetLocal() ? ":local" : ""));
        return keys;
    }
    std::string Property(CRepository* repo, const OLECHAR* name) {
        _stringx value(OLESTR("<unset>"));
        const long result = repo->GetProperty(_stringx(name), &value);
        return result ? "<" + std::to_string(result) + ">" : U8(value);
    }

    kvtest::TempTree tree;
    kvtest::RecordingStatus status;
    std::string listPath = (tree / "Lists" / "Repos.xml").string();
    CRepositoryMgr manager{listPath.c_str(), &status};
};

TEST_F(RepositoriesTest, KeyFilterIsExactAndKeepsDocumentOrder) {
    List("  <!-- shared -->\n" + Entry("Local", DataFile("A")) +
         Entry("Network", DataFile("B"), "0") + Entry("Local", DataFile("C")));
    for (const char* all : {static_cast<const char*>(nullptr), "", "*"})
        EXPECT_THAT(Keys(all), ElementsAre("Local:local", "Network", "Local:local"));
    EXPECT_THAT(Keys("Network"), ElementsAre("Network"));
    EXPECT_THAT(Keys("local"), ElementsAre());
    EXPECT_THAT(Keys("Net"), ElementsAre());
    // The comment reads as an entry without attributes: no key, no data file.
    EXPECT_THAT(Keys("*", true), ElementsAre("", "Local:local", "Network", "Local:local"));
    EXPECT_TRUE(status.messages.empty());

    WriteText(listPath, "<Something><Repository Key=\"A\"/></Something>");
    EXPECT_THAT(Keys("*", true), ElementsAre());
}

TEST_F(RepositoriesTest, MissingDataFilesAreSkippedUnlessAskedFor) {
    std::filesystem::create_directories(tree / "Folder.xml");
    List(Entry("Present", DataFile("A")) + Entry("Gone", (tree / "gone.xml").string()) +
         Entry("Folder", (tree / "Folder.xml").string()) + "  <Repository Key=\"NoPath\"/>\n");
    EXPECT_THAT(Keys("*"), ElementsAre("Present:local"));
    EXPECT_THAT(Keys("*", true),
                ElementsAre("Present:local", "Gone:local", "Folder:local", "NoPath"));
    CRepository* noPath = manager.GetRepository("NoPath", true);
    ASSERT_NE(noPath, nullptr);
    EXPECT_TRUE(noPath->GetRepoDataFilePath().empty());
}

TEST_F(RepositoriesTest, LocalIsExactlyTheTextOneAndThePlaceholderIsReplacedOnce) {
    WriteText(tree / "Lists" / "R1" / "Repository.xml", "<Repository/>");
    const std::string data = DataFile("A");
    List(Entry("a", data, "1") + Entry("b", data, "true") + Entry("c", data, "01") +
         Entry("d", data, "1 ") + Entry("e", data, "") +
         Entry("R1", "##TestingRepositoriesDir##\\R1\\Repository.xml") +
         Entry("Twice", "##TestingRepositoriesDir##\\##TestingRepositoriesDir##\\Repository.xml"));
    EXPECT_THAT(Keys("*"), ElementsAre("a:local", "b", "c", "d", "e", "R1:local"));
    EXPECT_FALSE(CRepository::GetBoolFromStr(OLESTR("11")));
    EXPECT_FALSE(CRepository::GetBoolFromStr(_stringx()));

    const std::string folder = (tree / "Lists").string();  // the list file's folder
    EXPECT_EQ(U8(manager.GetRepository("R1", false)->GetRepoDataFilePath()),
              folder + "\\R1\\Repository.xml");
    EXPECT_EQ(U8(manager.GetRepository("Twice", true)->GetRepoDataFilePath()),
              folder + "\\##TestingRepositoriesDir##\\Repository.xml");
}

// The list file as Windows tools write it: UTF-16 with a byte-order mark or
// windows-1252, CRLF line ends, backslash paths.
TEST_F(RepositoriesTest, ListFilesWrittenOnWindowsReadTheSame) {
    WriteText(tree / "Lists" / "Team Share" / "Repository.xml", "<Repository/>");
    const std::string entry =
        "\t<Repository Key=\"Network\" Local=\"0\" DisplayName=\"%NAME%\" "
        "Path=\"##TestingRepositoriesDir##\\Team Share\\Repository.xml\"/>\r\n";
    const auto file = [&](const char* encoding, const char* name) {
        std::string text = entry;
        text.replace(text.find("%NAME%"), 6, name);
        return "<?xml version=\"1.0\" encoding=\"" + std::string(encoding) +
               "\"?>\r\n<Repositories>\r\n" + text + "</Repositories>\r\n";
    };
    const std::string utf16 = file("UTF-16", "\xC3\x89quipe \xE2\x82\xAC");
    for (const std::string& bytes :
         {kvtest::Utf16Le(_stringx(utf16).c_str()), file("windows-1252", "\xC9quipe \x80")}) {
        WriteText(listPath, bytes);
        CRepository* repo = manager.GetRepository("Network", false);
        ASSERT_NE(repo, nullptr);
        EXPECT_FALSE(repo->GetLocal());
        EXPECT_EQ(Property(repo, OLESTR("DisplayName")), "\xC3\x89quipe \xE2\x82\xAC");
        // A property written back keeps the file in its own encoding.
        EXPECT_EQ(repo->PutProperty(OLESTR("Owner"), OLESTR("J\u00FCrgen")), 0);
        EXPECT_EQ(kvtest::ReadText(listPath).substr(0, 2), bytes.substr(0, 2));
        EXPECT_EQ(Property(repo, OLESTR("Owner")), "J\xC3\xBCrgen");
    }
    EXPECT_TRUE(status.messages.empty());
}

TEST_F(RepositoriesTest, AMissingOrMalformedListFileReportsMessageTwo) {
    CRepositories* list = nullptr;
    EXPECT_EQ(manager.GetRepositories("*", &list, true), kv::status::kNotOpened);
    ASSERT_NE(list, nullptr);  // stays loaded, empty
    EXPECT_EQ(list->GetCount(), 0);
    EXPECT_EQ(manager.GetRepository("*", true), nullptr);
    const std::string bad = WriteText(tree / "bad.xml", "<Repositories><Repository Key=\"A\">");
    CRepositoryMgr broken(bad.c_str(), &status);
    EXPECT_EQ(broken.GetRepository(nullptr, true), nullptr);
    EXPECT_THAT(status.messages,
                ElementsAre("Error opening XML file " + listPath,
                            "Error opening XML file " + listPath, "Error opening XML file " + bad));
}

TEST_F(RepositoriesTest, PropertiesLiveInTheListFileAndLeaveTheFieldsAlone) {
    const std::string data = DataFile("A", "Merge Modules");
    List(Entry("A", data, "1", "DisplayName=\"Team A\""));
    CRepository* repo = manager.GetRepository("A", false);
    ASSERT_NE(repo, nullptr);
    EXPECT_EQ(Property(repo, OLESTR("DisplayName")), "Team A");
    EXPECT_EQ(Property(repo, OLESTR("Owner")), "<-101>");
    EXPECT_EQ(repo->PutProperty(OLESTR("Owner"), OLESTR("Ana")), 0);
    EXPECT_EQ(repo->PutProperty(OLESTR("Path"), OLESTR("/elsewhere.xml")), 0);
    EXPECT_EQ(repo->PutProperty(OLESTR("Local"), OLESTR("0")), 0);
    EXPECT_EQ(Property(repo, OLESTR("Owner")), "Ana");
    EXPECT_EQ(Property(repo, OLESTR("Path")), "/elsewhere.xml");
    EXPECT_EQ(U8(repo->GetRepoDataFilePath()), data);  // the fields stay
    EXPECT_TRUE(repo->GetLocal());

    // MMSearchPath comes from the data file; Key needs no file at all.
    EXPECT_EQ(Property(repo, OLESTR("MMSearchPath")), (tree / "A" / "Merge Modules").string());
    WriteText(data, "<Repository><Dialogs/></Repository>");
    EXPECT_EQ(Property(repo, OLESTR("MMSearchPath")), "");
    std::filesystem::remove(listPath);
    EXPECT_EQ(Property(repo, OLESTR("Key")), "A");
    EXPECT_TRUE(status.messages.empty());

    // A repository without a key has no entry to address.
    List("<Repository Path=\"" + data + "\" DisplayName=\"x\"/>");
    CRepository* keyless = manager.GetRepository(nullptr, false);
    ASSERT_NE(keyless, nullptr);
    EXPECT_EQ(Property(keyless, OLESTR("Key")), "");
    EXPECT_EQ(Property(keyless, OLESTR("DisplayName")), "<-101>");
}

// Under the sanitizers: no leak and no double free.
TEST_F(RepositoriesTest, ReloadsReplaceTheListAndCopiesNeverDeleteIt) {
    List(Entry("A", DataFile("A")) + Entry("A", DataFile("B")));
    CRepositories* first = nullptr;
    CRepositories* list = nullptr;
    ASSERT_EQ(manager.GetRepositories("*", &first, false), 0);
    ASSERT_EQ(manager.GetRepositories("*", &list, false), 0);  // the first is gone now
    EXPECT_EQ(list->GetCount(), 2);
    EXPECT_EQ(U8(manager.GetRepository("A", false)->GetRepoDataFilePath()),
              (tree / "A" / "Repository.xml").string());
    ASSERT_EQ(manager.GetRepositories("*", &list, false), 0);
    WriteText(tree / "A" / "MM" / "a.msm", "");
    CRepositoryItems* gathered = nullptr;
    ASSERT_EQ(list->GetRepositoryItems("MergeModules/*", 1, &gathered), 0);
    {
        // A view gathers items of its own and leaves the list's alone.
        CRepositories view(*list);
        EXPECT_EQ(view.MoveFirst(), list->GetFirst());
        EXPECT_EQ(U8(view.GetRepoDataFilePath()), listPath);
        CRepositoryItems* viewItems = nullptr;
        ASSERT_EQ(view.GetRepositoryItems("MergeModules/*", 1, &viewItems), 0);
        ASSERT_EQ(view.GetRepositoryItems("MergeModules/*", 1, &viewItems), 0);
        EXPECT_NE(viewItems, gathered);
        EXPECT_EQ(viewItems->GetCount(), 1);
        CRepositories assigned(*list);
        assigned = view;
        view = *list;
    }
    EXPECT_EQ(gathered->GetCount(), 1);
    EXPECT_EQ(U8(gathered->GetFirst()->GetRepository()->GetKey()), "A");  // still alive

    // A key or path taken from the list being replaced is a safe argument.
    EXPECT_NE(manager.GetRepository(list->GetFirst()->GetKey().narrow(), false), nullptr);
    CRepositories* reloaded = nullptr;
    ASSERT_EQ(manager.GetRepositories("*", &reloaded, false), 0);
    ASSERT_EQ(manager.GetRepositories(reloaded->GetFirst()->GetKey().narrow(), &reloaded, false),
              0);
    EXPECT_EQ(reloaded->GetCount(), 2);

    CRepositoryMgr copy(manager);  // a list of its own
    CRepositoryMgr assigned(nullptr, nullptr);
    assigned = manager;
    EXPECT_EQ(U8(copy.GetRepoDataFilePath()), listPath);
    EXPECT_NE(copy.GetRepository("A", false), nullptr);
    EXPECT_NE(assigned.GetRepository("A", false), nullptr);
    CRepositoryMgr neverLoaded(listPath.c_str(), nullptr);
}

// Three repositories, as a caller walks them: one local, one network, one
// whose data file is missing.
TEST_F(RepositoriesTest, WalkingAListAsACallerWould) {
    const std::string local = DataFile("Local Repo"), network = DataFile("Network Repo");
    List(Entry("Local", local, "1", "DisplayName=\"Mine\"") +
         Entry("Network", network, "0", "DisplayName=\"Team\"") +
         Entry("Network", (tree / "Gone" / "Repository.xml").string(), "0", "DisplayName=\"Old\""));
    CRepositories* list = nullptr;
    ASSERT_EQ(manager.GetRepositories(nullptr, &list, false), 0);
    std::vector<std::string> seen;
    for (CRepository* r = list->MoveFirst(); r; r = list->MoveNext())
        seen.push_back(Property(r, OLESTR("DisplayName")) +
                       (r->GetLocal() ? " (local) " : " (network) ") +
                       U8(r->GetRepoDataFilePath()));
    EXPECT_THAT(seen, ElementsAre("Mine (local) " + local, "Team (network) " + network));
    EXPECT_EQ(list->MoveNext(), nullptr);
    ASSERT_EQ(manager.GetRepositories("Network", &list, true), 0);
    EXPECT_EQ(list->GetCount(), 2);
    EXPECT_TRUE(status.messages.empty());
}

}  // namespace
