#include <gmock/gmock.h>

#include "process_util.h"
#include "repo_util.h"

namespace {

using namespace kvtest;
using testing::ElementsAre;

class PublishingTest : public RepoTest {
protected:
    void SetUp() override {
        Data("Repo/Repository.xml",
             Group("Dialogs", "Dialogs", "*.kvd",
                   "<ItemAttrib FileName=\"old.kvd\" LocalCopy=\"" + outside + "\"/>") +
                 Group("Templates", "Templates", "*.kvt"));
        List(Entry("Local", dataFile));
        repository = manager.GetRepository("Local", false);
        ASSERT_NE(repository, nullptr);
    }
    // A new item of `displayPath` with the work file `name` (holding `content`) added.
    std::unique_ptr<CRepositoryItem> New(const char* displayPath, const std::string& name,
                                         const std::string& content = "content") {
        return NewItem(repository, displayPath, Work(name, content));
    }
    std::string Work(const std::string& name, const std::string& content = "content") {
        return WriteText(tree / "Work" / name, content);
    }
    // With the system's separators, as the library joins paths.
    fs::path Repo(const std::string& relative) const {
        return (tree / "Repo" / relative).make_preferred();
    }

    const std::string outside = (tree / "outside.txt").string();
    const std::string dataFile = (tree / "Repo/Repository.xml").string();
    CRepository* repository = nullptr;
};

TEST_F(PublishingTest, ATmpFileTakesTheTypesExtensionAndIsFoundAgain) {
    auto item = New("<KVREPOSITORY>\\Dialogs\\*.kvd", "New Dialog.tmp", "dialog v1");
    EXPECT_EQ(Prop(*item, OLESTR("FileName")), "new dialog.kvd");
    item->PutProperty(OLESTR("DisplayName"), OLESTR("New Dialog"));
    item->PutProperty(OLESTR("Author"), OLESTR("Ana"));
    ASSERT_EQ(item->Commit(), 0);
    EXPECT_TRUE(item->GetExists());
    EXPECT_EQ(ReadText(Repo("Dialogs/New Dialog.kvd")), "dialog v1");
    EXPECT_TRUE(status.asked.empty());

    auto items = Items(repository, "Dialogs/*");
    ASSERT_EQ(items->GetCount(), 1);
    EXPECT_THAT(
        Describe(items.get(), {OLESTR("Author"), OLESTR("DisplayName"), OLESTR("DisplayPath")}),
        ElementsAre("Ana | New Dialog | <KVREPOSITORY>\\Dialogs\\new dialog.kvd"));
    _stringx local;
    EXPECT_EQ(items->GetFirst()->CreateLocalCopy(&local), 0);
    EXPECT_EQ(U8(local), Repo("Dialogs/New Dialog.kvd").string());

    // Only where the type has an extension, and only from ".tmp" in lower case.
    for (const auto& [display, file, expected] :
         {std::tuple<const char*, const char*, const char*>{"<KVREPOSITORY>\\SystemSearches\\*.ini",
                                                            "x.tmp", "x.ini"},
          {"<KVREPOSITORY>\\Templates\\*.kvt", "x.tmp", "x.tmp"},
          {"<KVREPOSITORY>\\MergeModules\\*.msm", "x.tmp", "x.tmp"},
          {"<KVREPOSITORY>\\SystemSearches\\*.ini", "Search.TMP", "search.tmp"}})
        EXPECT_EQ(Prop(*New(display, file), OLESTR("FileName")), expected) << display << file;
}

TEST_F(PublishingTest, ExistingFilesAreReplacedOnlyWithConsentAndFoldersInTheWayFail) {
    WriteText(Repo("Dialogs/a.kvd"), "old");
    auto item = New("<KVREPOSITORY>\\Dialogs\\*.kvd", "a.kvd", "new");
    status.allowFiles = false;
    EXPECT_EQ(item->Commit(), kv::status::kFileOverwriteDeclined);
    EXPECT_EQ(ReadText(Repo("Dialogs/a.kvd")), "old");
    EXPECT_FALSE(item->GetExists());  // a failed commit can be repeated
    status.allowFiles = true;
    EXPECT_EQ(item->Commit(), 0);
    EXPECT_EQ(ReadText(Repo("Dialogs/a.kvd")), "new");
    const std::string question = "file " + Repo("Dialogs/a.kvd").string();
    EXPECT_THAT(status.asked, ElementsAre(question, question));

    // A folder in the way: the system's code, no question.
    fs::create_directories(Repo("Dialogs/b.kvd"));
    EXPECT_EQ(New("<KVREPOSITORY>\\Dialogs\\*.kvd", "b.kvd")->Commit(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(status.asked.size(), 2u);
    // Missing folders are made.
    EXPECT_EQ(New("<KVREPOSITORY>/Dialogs/Sub/Deeper/*.kvd", "c.kvd")->Commit(), 0);
    EXPECT_TRUE(fs::exists(Repo("Dialogs/Sub/Deeper/c.kvd")));
}

// A data file reached through a link is changed at its target, by commits and
// by a single write: the link stays a link, the target keeps its mode and (as
// root, which CI is) its owner and group, and no temporary file is left. A
// committed item goes on changing the element it was committed to.
TEST_F(PublishingTest, ALinkedDataFileIsChangedAtItsTargetWithItsModeAndOwner) {
    if (kvtest::kNoSymlinks)
        GTEST_SKIP() << kvtest::kNoSymlinks;
    const fs::path real = tree / "Elsewhere/Repository.xml";
    fs::create_directories(real.parent_path());
    fs::rename(dataFile, real);
    fs::create_symlink(real, dataFile);
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    SetPerms(real, mode);
    const fs::perms set = Perms(real);  // on Windows: the read-only attribute only
    GiveAway(real.string());            // where the process may
    const std::string owner = OwnerOf(real.string());
    const auto author = [this] {
        return Describe(Items(repository, "Dialogs/*").get(), {OLESTR("Author")});
    };

    auto item = New("<KVREPOSITORY>\\Dialogs\\*.kvd", "linked.kvd");
    item->PutProperty(OLESTR("Author"), OLESTR("Ana"));
    ASSERT_EQ(item->Commit(), 0);
    EXPECT_THAT(author(), ElementsAre("Ana"));
    EXPECT_EQ(item->SetAttribValueToXmlFile(item->GetItemXPath(), OLESTR("Author"), OLESTR("Bo")),
              0);
    EXPECT_THAT(author(), ElementsAre("Bo"));
    item->PutProperty(OLESTR("Author"), OLESTR("Cy"));
    EXPECT_EQ(item->Commit(), 0);
    EXPECT_THAT(author(), ElementsAre("Cy"));

    EXPECT_TRUE(fs::is_symlink(dataFile));
    EXPECT_EQ(Perms(real), set);
    EXPECT_EQ(OwnerOf(real.string()), owner);
    EXPECT_EQ(Names(real.parent_path()), std::vector<std::string>{"Repository.xml"});
}

TEST_F(PublishingTest, TemplatesReplaceTheirFolderAFolderTemplateOnlyWithConsent) {
    Work("Base/Parts/part.txt", "part");
    WriteText(Repo("Templates/Base/stale.txt"), "stale");
    fs::permissions(Repo("Templates/Base/stale.txt"), fs::perms::owner_read);
    auto item = New("<KVREPOSITORY>\\Templates\\*.kvt", "Base/Base.kvt", "template");
    status.allowFolders = false;
    EXPECT_EQ(item->Commit(), kv::status::kFolderOverwriteDeclined);
    EXPECT_TRUE(fs::exists(Repo("Templates/Base/stale.txt")));
    status.allowFolders = true;
    EXPECT_EQ(item->Commit(), 0);
    EXPECT_FALSE(fs::exists(Repo("Templates/Base/stale.txt")));  // read-only, deleted by force
    EXPECT_EQ(ReadText(Repo("Templates/Base/Base.kvt")), "template");
    EXPECT_EQ(ReadText(Repo("Templates/Base/Parts/part.txt")), "part");
    EXPECT_THAT(status.asked, testing::Each("folder " + Repo("Templates/Base").string()));

    // A file template brings its companion folder, if any, without a question.
    status.asked.clear();
    WriteText(Repo("Templates/Foo/stale.txt"), "stale");
    Work("Foo/inc.txt", "inc");
    EXPECT_EQ(New("<KVREPOSITORY>\\Templates\\*.kvt", "Foo.kvt", "foo")->Commit(), 0);
    EXPECT_EQ(ReadText(Repo("Templates/Foo.kvt")), "foo");
    EXPECT_EQ(ReadText(Repo("Templates/Foo/inc.txt")), "inc");
    EXPECT_FALSE(fs::exists(Repo("Templates/Foo/stale.txt")));
    EXPECT_EQ(New("<KVREPOSITORY>\\Templates\\*.kvt", "Lone.kvt")->Commit(), 0);
    EXPECT_TRUE(fs::exists(Repo("Templates/Lone.kvt")));
    EXPECT_FALSE(fs::exists(Repo("Templates/Lone")));
    EXPECT_TRUE(status.asked.empty());
}

TEST_F(PublishingTest, DeleteRemovesTheFileOnceAndNothingElse) {
    auto item = New("<KVREPOSITORY>\\Dialogs\\*.kvd", "x.tmp");
    EXPECT_EQ(item->CommitCachedProperties(), 0);
    WriteText(Repo("Dialogs/x.kvd"), "x");
    const std::string data = ReadText(dataFile);
    EXPECT_EQ(item->Delete(false), 0);
    EXPECT_TRUE(fs::exists(Repo("Dialogs/x.kvd")));
    EXPECT_EQ(item->Delete(true), 0);
    EXPECT_FALSE(fs::exists(Repo("Dialogs/x.kvd")));
    EXPECT_EQ(item->Delete(true), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadText(dataFile), data);
    EXPECT_EQ(Prop(*item, OLESTR("FileName")), "x.kvd");

    WriteText(Repo("Dialogs/mine.kvd"), "x");  // a loaded item deletes its local copy
    auto items = Items(repository, "<KVREPOSITORY>\\Dialogs\\mine.kvd");
    ASSERT_EQ(items->GetCount(), 1);
    EXPECT_EQ(items->GetFirst()->Delete(true), 0);
    EXPECT_FALSE(fs::exists(Repo("Dialogs/mine.kvd")));
}

// Containment refuses only a write or delete that would reach outside the
// repository; what an operation meets before such a write comes out as it
// would without it, the data file's failures first.
TEST_F(PublishingTest, FailuresBeforeAWriteOutsideComeOutAsUsual) {
    WriteText(outside, "keep");
    fs::create_directories(Repo("Dialogs"));
    WriteText(Repo("Dialogs/old.kvd"), "x");
    WriteText(Repo("Templates/keep.kvt"), "keep");
    const std::string data = ReadText(dataFile);
    auto climbing = New("<KVREPOSITORY>\\Dialogs\\..\\..\\*.kvd", "outside.txt", "evil");
    SetPerms(dataFile, kReadOnly);
    EXPECT_EQ(climbing->Commit(), kv::status::kNotSaved);
    SetPerms(dataFile, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(status.asked.empty());
    EXPECT_EQ(climbing->Commit(), E_ACCESSDENIED);  // asked, agreed, refused
    EXPECT_EQ(ReadText(dataFile), data);
    status.allowFiles = false;
    EXPECT_EQ(climbing->Commit(), kv::status::kFileOverwriteDeclined);
    EXPECT_NE(ReadText(dataFile), data);  // declined: the data file is written first
    EXPECT_EQ(status.asked.size(), 2u);
    climbing->AddFile(_stringx((tree / "Work/missing.kvd").string()));
    EXPECT_EQ(climbing->Commit(), ERROR_FILE_NOT_FOUND);  // the copy fails as it would

    // A whole-folder template, declined; agreed, refused.
    auto folder = New("<KVREPOSITORY>\\Templates\\..\\..\\*.kvt", "Base/Base.kvt");
    status.allowFolders = false;
    EXPECT_EQ(folder->Commit(), kv::status::kFolderOverwriteDeclined);
    status.allowFolders = true;
    EXPECT_EQ(folder->Commit(), E_ACCESSDENIED);
    EXPECT_FALSE(fs::exists(tree / "Base"));
    // A loaded item whose key climbs out; a template without a name would take
    // the whole type folder.
    auto loaded = Items(repository, "Dialogs/*");
    loaded->GetFirst()->PutProperty(OLESTR("Key"), OLESTR("..\\..\\Dialogs"));
    loaded->GetFirst()->AddFile(_stringx(Work("old.kvd", "evil")));
    EXPECT_EQ(loaded->GetFirst()->Commit(), E_ACCESSDENIED);
    EXPECT_EQ(New("<KVREPOSITORY>\\Templates\\*.kvt", ".kvt")->Commit(), E_ACCESSDENIED);
    EXPECT_TRUE(fs::exists(Repo("Templates/keep.kvt")));
    EXPECT_EQ(ReadText(outside), "keep");
    EXPECT_THAT(status.messages, ElementsAre("Unable to save XML file " + dataFile + "."));

    // A repository without a data file cannot be published to.
    List("<Repository Key=\"Empty\"/>");
    CRepository* empty = manager.GetRepository("Empty", true);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(NewItem(empty, "<KVREPOSITORY>\\Dialogs\\*.kvd", Work("x.kvd"))->Commit(),
              kv::status::kNotOpened);
    EXPECT_EQ(status.messages.back(), "Error opening XML file ");
}

}  // namespace
