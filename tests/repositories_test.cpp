#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "repository/repositorymgr.h"
#include "xml_test_util.h"

namespace {

using kvtest::ReadText;
using kvtest::WriteText;
using testing::ElementsAre;

class RepositoriesTest : public testing::Test {
protected:
    // A data file for a repository in folder `name`, with one merge-module group.
    std::string DataFile(const std::string& name, const std::string& mergeModules = "MM") {
        return WriteText(
            tree / name / "Repository.xml",
            "<Repository><MergeModules><RepoItem Name=\"" + mergeModules +
                "\" Key=\"MergeModules\" Wildcard=\"*.msm\"/></MergeModules></Repository>");
    }
    std::string List(const std::string& entries) {
        return WriteText(tree / "Lists" / "Repos.xml", "<?xml version=\"1.0\"?>\n<Repositories>\n" +
                                                           entries + "</Repositories>\n");
    }
    static std::string Entry(const std::string& key, const std::string& path,
                             const std::string& local = "1", const std::string& extra = "") {
        return "  <Repository Key=\"" + key + "\" Path=\"" + path + "\" Local=\"" + local + "\" " +
               extra + "/>\n";
    }
    // The keys of the repositories the manager loads, in order.
    std::vector<std::string> Keys(const char* filter, bool includeMissing = false) {
        CRepositoryMgr manager(listPath.c_str(), &status);
        CRepositories* list = nullptr;
        EXPECT_EQ(manager.GetRepositories(filter, &list, includeMissing), 0);
        std::vector<std::string> keys;
        for (CRepository* r = list->MoveFirst(); r; r = list->MoveNext())
            keys.push_back(U8(r->GetKey()));
        return keys;
    }

    kvtest::TempTree tree;
    kvtest::RecordingStatus status;
    std::string listPath;
};

TEST_F(RepositoriesTest, KeyFilterIsExactAndKeepsDocumentOrder) {
    listPath = List(Entry("Local", DataFile("A")) + Entry("Network", DataFile("B"), "0") +
                    Entry("Local", DataFile("C")));
    EXPECT_THAT(Keys(nullptr), ElementsAre("Local", "Network", "Local"));
    EXPECT_THAT(Keys(""), ElementsAre("Local", "Network", "Local"));
    EXPECT_THAT(Keys("*"), ElementsAre("Local", "Network", "Local"));
    EXPECT_THAT(Keys("Network"), ElementsAre("Network"));
    EXPECT_THAT(Keys("local"), ElementsAre());
    EXPECT_THAT(Keys("Net"), ElementsAre());
    EXPECT_TRUE(status.messages.empty());
}

TEST_F(RepositoriesTest, MissingDataFilesAreSkippedUnlessAskedFor) {
    std::filesystem::create_directories(tree / "Folder.xml");
    listPath =
        List(Entry("Present", DataFile("A")) + Entry("Gone", (tree / "gone.xml").string()) +
             Entry("Folder", (tree / "Folder.xml").string()) + "  <Repository Key=\"NoPath\"/>\n");
    EXPECT_THAT(Keys("*"), ElementsAre("Present"));
    EXPECT_THAT(Keys("*", true), ElementsAre("Present", "Gone", "Folder", "NoPath"));

    CRepositoryMgr manager(listPath.c_str(), &status);
    CRepository* noPath = manager.GetRepository("NoPath", true);
    ASSERT_NE(noPath, nullptr);
    EXPECT_TRUE(noPath->GetRepoDataFilePath().empty());
}

TEST_F(RepositoriesTest, ACommentReadsAsAnEntryWithoutAttributes) {
    listPath = List("  <!-- shared repositories -->\n" + Entry("A", DataFile("A")));
    EXPECT_THAT(Keys("*"), ElementsAre("A"));
    EXPECT_THAT(Keys("*", true), ElementsAre("", "A"));
    EXPECT_THAT(Keys("A", true), ElementsAre("A"));
}

TEST_F(RepositoriesTest, LocalIsExactlyTheTextOne) {
    const std::string data = DataFile("A");
    listPath = List(Entry("a", data, "1") + Entry("b", data, "true") + Entry("c", data, "01") +
                    Entry("d", data, "1 ") + Entry("e", data, ""));
    CRepositoryMgr manager(listPath.c_str(), &status);
    CRepositories* list = nullptr;
    ASSERT_EQ(manager.GetRepositories("*", &list, false), 0);
    std::vector<bool> local;
    for (CRepository* r = list->MoveFirst(); r; r = list->MoveNext())
        local.push_back(r->GetLocal());
    EXPECT_THAT(local, ElementsAre(true, false, false, false, false));
    EXPECT_FALSE(CRepository::GetBoolFromStr(_stringx(u"11")));
    EXPECT_FALSE(CRepository::GetBoolFromStr(_stringx()));
    EXPECT_TRUE(CRepository::GetBoolFromStr(_stringx(u"1")));
}

TEST_F(RepositoriesTest, ThePlaceholderStandsForTheListFilesFolderOnce) {
    WriteText(tree / "Lists" / "R1" / "Repository.xml", "<Repository/>");
    listPath = List(
        Entry("R1", "##TestingRepositoriesDir##\\R1\\Repository.xml") +
        Entry("Twice", "##TestingRepositoriesDir##\\##TestingRepositoriesDir##\\Repository.xml"));
    CRepositoryMgr manager(listPath.c_str(), &status);
    CRepository* r1 = manager.GetRepository("R1", false);
    ASSERT_NE(r1, nullptr);
    const std::string folder = (tree / "Lists").string();
    EXPECT_EQ(U8(r1->GetRepoDataFilePath()), folder + "\\R1\\Repository.xml");
    CRepository* twice = manager.GetRepository("Twice", true);
    ASSERT_NE(twice, nullptr);
    EXPECT_EQ(U8(twice->GetRepoDataFilePath()),
              folder + "\\##TestingRepositoriesDir##\\Repository.xml");
}

// The list file as Windows tools write it: UTF-16 with a byte-order mark or
// windows-1252, CRLF line ends, backslash paths.
std::string Utf16Le(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

TEST_F(RepositoriesTest, ListFilesWrittenOnWindowsReadTheSame) {
    WriteText(tree / "Lists" / "Team Share" / "Repository.xml", "<Repository/>");
    const std::u16string utf16 =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Repositories>\r\n"
        u"\t<Repository Key=\"Network\" Local=\"0\" DisplayName=\"\u00C9quipe \u20AC\" "
        u"Path=\"##TestingRepositoriesDir##\\Team Share\\Repository.xml\"/>\r\n"
        u"</Repositories>\r\n";
    const std::string ansi =
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<Repositories>\r\n"
        "\t<Repository Key=\"Network\" Local=\"0\" DisplayName=\"\xC9quipe \x80\" "
        "Path=\"##TestingRepositoriesDir##\\Team Share\\Repository.xml\"/>\r\n"
        "</Repositories>\r\n";
    for (const std::string& bytes : {Utf16Le(utf16), ansi}) {
        listPath = WriteText(tree / "Lists" / "Repos.xml", bytes);
        CRepositoryMgr manager(listPath.c_str(), &status);
        CRepository* repo = manager.GetRepository("Network", false);
        ASSERT_NE(repo, nullptr);
        EXPECT_FALSE(repo->GetLocal());
        _stringx name;
        EXPECT_EQ(repo->GetProperty(_stringx(u"DisplayName"), &name), 0);
        EXPECT_EQ(name, _stringx(u"\u00C9quipe \u20AC"));

        // A property written back keeps the file in its own encoding.
        EXPECT_EQ(repo->PutProperty(_stringx(u"Owner"), _stringx(u"J\u00FCrgen")), 0);
        const std::string saved = ReadText(listPath);
        EXPECT_EQ(saved.substr(0, 2), bytes.substr(0, 2));
        EXPECT_EQ(repo->GetProperty(_stringx(u"Owner"), &name), 0);
        EXPECT_EQ(name, _stringx(u"J\u00FCrgen"));
    }
    EXPECT_TRUE(status.messages.empty());
}

TEST_F(RepositoriesTest, AMissingOrMalformedListFileReportsMessageTwo) {
    listPath = (tree / "none.xml").string();
    CRepositoryMgr manager(listPath.c_str(), &status);
    CRepositories* list = nullptr;
    EXPECT_EQ(manager.GetRepositories("*", &list, true), -103);
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

TEST_F(RepositoriesTest, ADocumentWithoutRepositoriesIsAnEmptyList) {
    listPath = WriteText(tree / "other.xml", "<Something><Repository Key=\"A\"/></Something>");
    EXPECT_THAT(Keys("*", true), ElementsAre());
}

TEST_F(RepositoriesTest, PropertiesLiveInTheListFileAndLeaveTheFieldsAlone) {
    const std::string data = DataFile("A");
    listPath = List(Entry("A", data, "1", "DisplayName=\"Team A\""));
    CRepositoryMgr manager(listPath.c_str(), &status);
    CRepository* repo = manager.GetRepository("A", false);
    ASSERT_NE(repo, nullptr);

    _stringx value(u"unchanged");
    EXPECT_EQ(repo->GetProperty(_stringx(u"DisplayName"), &value), 0);
    EXPECT_EQ(U8(value), "Team A");
    value = _stringx(u"unchanged");
    EXPECT_EQ(repo->GetProperty(_stringx(u"Owner"), &value), -101);
    EXPECT_EQ(U8(value), "unchanged");

    EXPECT_EQ(repo->PutProperty(_stringx(u"Owner"), _stringx(u"Ana")), 0);
    EXPECT_EQ(repo->PutProperty(_stringx(u"Path"), _stringx(u"/elsewhere.xml")), 0);
    EXPECT_EQ(repo->PutProperty(_stringx(u"Local"), _stringx(u"0")), 0);
    EXPECT_EQ(repo->GetProperty(_stringx(u"Owner"), &value), 0);
    EXPECT_EQ(U8(value), "Ana");
    EXPECT_EQ(repo->GetProperty(_stringx(u"Path"), &value), 0);
    EXPECT_EQ(U8(value), "/elsewhere.xml");
    EXPECT_EQ(U8(repo->GetRepoDataFilePath()), data);  // the field stays
    EXPECT_TRUE(repo->GetLocal());
    EXPECT_TRUE(status.messages.empty());
}

TEST_F(RepositoriesTest, KeyNeedsNoFileAndMergeModulePathComesFromTheDataFile) {
    const std::string data = DataFile("A", "Merge Modules");
    listPath = List(Entry("A", data));
    CRepositoryMgr manager(listPath.c_str(), &status);
    CRepository* repo = manager.GetRepository("A", false);
    ASSERT_NE(repo, nullptr);
    _stringx value;
    EXPECT_EQ(repo->GetProperty(_stringx(u"MMSearchPath"), &value), 0);
    EXPECT_EQ(U8(value), (tree / "A" / "Merge Modules").string());

    WriteText(data, "<Repository><Dialogs/></Repository>");
    value = _stringx(u"stale");
    EXPECT_EQ(repo->GetProperty(_stringx(u"MMSearchPath"), &value), 0);
    EXPECT_TRUE(value.empty());

    std::filesystem::remove(listPath);
    EXPECT_EQ(repo->GetProperty(_stringx(u"Key"), &value), 0);
    EXPECT_EQ(U8(value), "A");
}

TEST_F(RepositoriesTest, ARepositoryWithoutKeyHasNoEntryToAddress) {
    listPath = List("  <Repository Path=\"" + DataFile("A") + "\" DisplayName=\"x\"/>\n");
    CRepositoryMgr manager(listPath.c_str(), &status);
    CRepository* repo = manager.GetRepository(nullptr, false);
    ASSERT_NE(repo, nullptr);
    _stringx value(u"unchanged");
    EXPECT_EQ(repo->GetProperty(_stringx(u"Key"), &value), 0);
    EXPECT_TRUE(value.empty());
    EXPECT_EQ(repo->GetProperty(_stringx(u"DisplayName"), &value), -101);
}

TEST_F(RepositoriesTest, ReloadsReplaceTheListAndCopiesStartEmpty) {
    listPath = List(Entry("A", DataFile("A")) + Entry("A", DataFile("B")));
    CRepositoryMgr manager(listPath.c_str(), &status);
    CRepositories* first = nullptr;
    CRepositories* second = nullptr;
    ASSERT_EQ(manager.GetRepositories("*", &first, false), 0);
    ASSERT_EQ(manager.GetRepositories("*", &second, false), 0);  // the first is gone now
    EXPECT_EQ(second->GetCount(), 2);

    CRepository* duplicate = manager.GetRepository("A", false);
    ASSERT_NE(duplicate, nullptr);
    EXPECT_EQ(U8(duplicate->GetRepoDataFilePath()), (tree / "A" / "Repository.xml").string());

    CRepositoryMgr copy(manager);
    CRepositoryMgr assigned(nullptr, nullptr);
    assigned = manager;
    EXPECT_EQ(U8(copy.GetRepoDataFilePath()), listPath);
    EXPECT_NE(copy.GetRepository("A", false), nullptr);  // a list of its own
    CRepositoryMgr neverLoaded(listPath.c_str(), nullptr);
}

TEST_F(RepositoriesTest, ListCopiesAreViewsThatNeverDelete) {
    listPath = List(Entry("A", DataFile("A")));
    CRepositoryMgr manager(listPath.c_str(), &status);
    CRepositories* list = nullptr;
    ASSERT_EQ(manager.GetRepositories("*", &list, false), 0);
    {
        CRepositories view(*list);
        EXPECT_FALSE(view.OwnsElements());
        EXPECT_EQ(view.MoveFirst(), list->GetFirst());
        EXPECT_EQ(U8(view.GetRepoDataFilePath()), listPath);
    }
    EXPECT_EQ(U8(list->GetFirst()->GetKey()), "A");  // still alive
}

TEST_F(RepositoriesTest, WalkingAListAsACallerWould) {
    const std::string local = DataFile("Local Repo");
    const std::string network = DataFile("Network Repo");
    listPath = List(
        Entry("Local", local, "1", "DisplayName=\"Mine\"") +
        Entry("Network", network, "0", "DisplayName=\"Team\"") +
        Entry("Network", (tree / "Gone" / "Repository.xml").string(), "0", "DisplayName=\"Old\""));
    CRepositoryMgr manager(listPath.c_str(), &status);
    CRepositories* list = nullptr;
    ASSERT_EQ(manager.GetRepositories(nullptr, &list, false), 0);
    std::vector<std::string> seen;
    for (CRepository* r = list->MoveFirst(); r; r = list->MoveNext()) {
        _stringx name;
        EXPECT_EQ(r->GetProperty(_stringx(u"DisplayName"), &name), 0);
        seen.push_back(U8(name) + (r->GetLocal() ? " (local) " : " (network) ") +
                       U8(r->GetRepoDataFilePath()));
    }
    EXPECT_THAT(seen, ElementsAre("Mine (local) " + local, "Team (network) " + network));
    EXPECT_EQ(list->MoveNext(), nullptr);

    ASSERT_EQ(manager.GetRepositories("Network", &list, true), 0);
    EXPECT_EQ(list->GetCount(), 2);
    EXPECT_TRUE(status.messages.empty());
}

}  // namespace
