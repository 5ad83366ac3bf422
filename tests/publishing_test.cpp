#include <gmock/gmock.h>

#include <memory>

#include "repository/repositoryitems.h"
#include "process_util.h"
#include "repository/repositorymgr.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;
using kvtest::ReadText;
using kvtest::WriteText;
using testing::ElementsAre;

constexpr const char* kData =
    "<Repository>"
    "<Dialogs><RepoItem Name=\"Dialogs\" Key=\"Dialogs\" Wildcard=\"*.kvd\">"
    "<ItemAttrib FileName=\"old.kvd\" LocalCopy=\"%OUTSIDE%\"/></RepoItem></Dialogs>"
    "<Templates><RepoItem Name=\"Templates\" Key=\"Templates\" Wildcard=\"*.kvt\"/></Templates>"
    "</Repository>";

std::string Prop(CRepositoryItem& item, const OLECHAR* name) {
    _stringx value(OLESTR("<unset>"));
    item.GetProperty(_stringx(name), &value);
    return U8(value);
}

class PublishingTest : public testing::Test {
protected:
    void SetUp() override {
        std::string data = kData;
        data.replace(data.find("%OUTSIDE%"), 9, (tree / "outside.txt").string());
        WriteText(dataFile, data);
        repository = manager.GetRepository("Local", false);
        ASSERT_NE(repository, nullptr);
    }
    // A new item of `displayPath`, with the work file `name` added unless empty.
    std::unique_ptr<CRepositoryItem> NewItem(const char* displayPath, const std::string& name = "",
                                             const std::string& content = "content") {
        CRepositoryItem* item = nullptr;
        repository->CreateRepositoryItem(displayPath, &item);
        if (!name.empty())
            item->AddFile(_stringx(Work(name, content)));
        return std::unique_ptr<CRepositoryItem>(item);
    }
    std::string Work(const std::string& name, const std::string& content = "content") {
        return WriteText(tree / "Work" / name, content);
    }
    fs::path Repo(const std::string& relative) const { return tree / "Repo" / relative; }
    std::unique_ptr<CRepositoryItems> Items(const char* path) {
        CRepositoryItems* items = nullptr;
        EXPECT_EQ(repository->GetItems(path, &items), 0);
        return std::unique_ptr<CRepositoryItems>(items);
    }

    kvtest::TempTree tree;
    kvtest::RecordingStatus status;
    const std::string dataFile = (tree / "Repo/Repository.xml").string();
    const std::string list = WriteText(
        tree / "Repos.xml", "<Repositories><Repository Key=\"Local\" Local=\"1\" Path=\"" +
                                dataFile + "\"/></Repositories>");
    CRepositoryMgr manager{list.c_str(), &status};
    CRepository* repository = nullptr;
};

TEST_F(PublishingTest, ADialogFromATmpFileLandsAsKvdAndIsFoundAgain) {
    auto item = NewItem("<KVREPOSITORY>\\Dialogs\\*.kvd");
    EXPECT_EQ(item->AddFile(_stringx(Work("New Dialog.tmp", "dialog v1"))), 0);
    EXPECT_EQ(Prop(*item, OLESTR("FileName")), "new dialog.kvd");
    item->PutProperty(OLESTR("DisplayName"), OLESTR("New Dialog"));
    item->PutProperty(OLESTR("Author"), OLESTR("Ana"));
    ASSERT_EQ(item->Commit(), 0);
    EXPECT_TRUE(item->GetExists());
    EXPECT_EQ(ReadText(Repo("Dialogs/New Dialog.kvd")), "dialog v1");
    EXPECT_TRUE(status.asked.empty());

    auto items = Items("Dialogs/*");
    ASSERT_EQ(items->GetCount(), 1);
    CRepositoryItem* found = items->GetFirst();
    EXPECT_EQ(Prop(*found, OLESTR("Author")), "Ana");
    EXPECT_EQ(Prop(*found, OLESTR("DisplayName")), "New Dialog");
    EXPECT_EQ(Prop(*found, OLESTR("DisplayPath")), "<KVREPOSITORY>\\Dialogs\\new dialog.kvd");
    _stringx local;
    EXPECT_EQ(found->CreateLocalCopy(&local), 0);
    EXPECT_EQ(U8(local), Repo("Dialogs/New Dialog.kvd").string());
}

TEST_F(PublishingTest, TmpBecomesTheTypesExtensionOnlyWhereOneIsKnown) {
    for (const auto& [display, expected] :
         {std::pair<const char*, const char*>{"<KVREPOSITORY>\\SystemSearches\\*.ini", "x.ini"},
          {"<KVREPOSITORY>\\SqlScripts\\*.sql", "x.sql"},
          {"<KVREPOSITORY>\\Templates\\*.kvt", "x.tmp"},
          {"<KVREPOSITORY>\\MergeModules\\*.msm", "x.tmp"}})
        EXPECT_EQ(Prop(*NewItem(display, "x.tmp"), OLESTR("FileName")), expected) << display;
    EXPECT_EQ(
        Prop(*NewItem("<KVREPOSITORY>\\SystemSearches\\*.ini", "Search.TMP"), OLESTR("FileName")),
        "search.tmp");
}

TEST_F(PublishingTest, ExistingFilesAreReplacedOnlyWithConsentAndFoldersInTheWayFail) {
    WriteText(Repo("Dialogs/a.kvd"), "old");
    auto item = NewItem("<KVREPOSITORY>\\Dialogs\\*.kvd", "a.kvd", "new");
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
    EXPECT_EQ(NewItem("<KVREPOSITORY>\\Dialogs\\*.kvd", "b.kvd")->Commit(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(status.asked.size(), 2u);
    // Missing folders are made.
    EXPECT_EQ(NewItem("<KVREPOSITORY>/Dialogs/Sub/Deeper/*.kvd", "c.kvd")->Commit(), 0);
    EXPECT_TRUE(fs::exists(Repo("Dialogs/Sub/Deeper/c.kvd")));
}

// A data file reached through a link is changed at its target, by commits and
// by a single write: the link stays a link, the target keeps its mode and (as
// root, which CI is) its owner and group, and no temporary file is left. A
// committed item goes on changing the element it was committed to.
TEST_F(PublishingTest, ALinkedDataFileIsChangedAtItsTargetWithItsModeAndOwner) {
    const fs::path real = tree / "Elsewhere/Repository.xml";
    fs::create_directories(real.parent_path());
    fs::rename(dataFile, real);
    fs::create_symlink(real, dataFile);
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    kvtest::SetPerms(real, mode);
    const bool privileged = kvtest::GiveAway(real.c_str());
    const std::string owner = kvtest::OwnerOf(real.c_str());
    const auto author = [this] {
        auto items = Items("Dialogs/*");
        return items->GetCount() == 1 ? Prop(*items->GetFirst(), OLESTR("Author"))
                                      : "<not one item>";
    };

    auto item = NewItem("<KVREPOSITORY>\\Dialogs\\*.kvd", "linked.kvd");
    item->PutProperty(OLESTR("Author"), OLESTR("Ana"));
    ASSERT_EQ(item->Commit(), 0);
    EXPECT_EQ(author(), "Ana");
    EXPECT_EQ(Prop(*item, OLESTR("DisplayPath")), "<KVREPOSITORY>\\Dialogs\\linked.kvd");
    EXPECT_EQ(item->SetAttribValueToXmlFile(item->GetItemXPath(), OLESTR("Author"), OLESTR("Bo")),
              0);
    EXPECT_EQ(author(), "Bo");
    item->PutProperty(OLESTR("Author"), OLESTR("Cy"));
    EXPECT_EQ(item->Commit(), 0);
    EXPECT_EQ(author(), "Cy");
    const std::string saved = ReadText(real);
    EXPECT_EQ(saved.find("FileName=\"linked.kvd\""), saved.rfind("FileName=\"linked.kvd\""));

    EXPECT_TRUE(fs::is_symlink(dataFile));
    EXPECT_EQ(kvtest::Perms(real), mode);
    if (privileged) {
        EXPECT_EQ(kvtest::OwnerOf(real.c_str()), owner);
    }
    EXPECT_EQ(kvtest::Names(real.parent_path()), std::vector<std::string>{"Repository.xml"});
    EXPECT_EQ(ReadText(Repo("Dialogs/linked.kvd")), "content");
}

TEST_F(PublishingTest, AWholeFolderTemplateReplacesItsFolderWithConsent) {
    Work("Base/Parts/part.txt", "part");
    WriteText(Repo("Templates/Base/stale.txt"), "stale");
    fs::permissions(Repo("Templates/Base/stale.txt"), fs::perms::owner_read);
    auto item = NewItem("<KVREPOSITORY>\\Templates\\*.kvt", "Base/Base.kvt", "template");
    status.allowFolders = false;
    EXPECT_EQ(item->Commit(), kv::status::kFolderOverwriteDeclined);
    EXPECT_TRUE(fs::exists(Repo("Templates/Base/stale.txt")));
    status.allowFolders = true;
    EXPECT_EQ(item->Commit(), 0);
    EXPECT_FALSE(fs::exists(Repo("Templates/Base/stale.txt")));  // read-only, deleted by force
    EXPECT_EQ(ReadText(Repo("Templates/Base/Base.kvt")), "template");
    EXPECT_EQ(ReadText(Repo("Templates/Base/Parts/part.txt")), "part");
    EXPECT_THAT(status.asked, testing::Each("folder " + Repo("Templates/Base").string()));
}

TEST_F(PublishingTest, AFileTemplateBringsItsCompanionFolderWithoutAsking) {
    WriteText(Repo("Templates/Foo/stale.txt"), "stale");
    Work("Foo/inc.txt", "inc");
    EXPECT_EQ(NewItem("<KVREPOSITORY>\\Templates\\*.kvt", "Foo.kvt", "foo")->Commit(), 0);
    EXPECT_EQ(ReadText(Repo("Templates/Foo.kvt")), "foo");
    EXPECT_EQ(ReadText(Repo("Templates/Foo/inc.txt")), "inc");
    EXPECT_FALSE(fs::exists(Repo("Templates/Foo/stale.txt")));
    EXPECT_TRUE(status.asked.empty());
    EXPECT_EQ(NewItem("<KVREPOSITORY>\\Templates\\*.kvt", "Lone.kvt")->Commit(), 0);
    EXPECT_TRUE(fs::exists(Repo("Templates/Lone.kvt")));
    EXPECT_FALSE(fs::exists(Repo("Templates/Lone")));
}

TEST_F(PublishingTest, DeleteRemovesTheFileOnceAndNothingElse) {
    auto item = NewItem("<KVREPOSITORY>\\Dialogs\\*.kvd", "x.tmp");
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
    auto items = Items("<KVREPOSITORY>\\Dialogs\\mine.kvd");
    ASSERT_EQ(items->GetCount(), 1);
    EXPECT_EQ(items->GetFirst()->Delete(true), 0);
    EXPECT_FALSE(fs::exists(Repo("Dialogs/mine.kvd")));
}

TEST_F(PublishingTest, NothingOutsideTheRepositoryIsTouched) {
    const std::string outside = WriteText(tree / "outside.txt", "keep");
    const std::string data = ReadText(dataFile);

    // A display path that climbs out: refused before the data file is written.
    auto climbing = NewItem("<KVREPOSITORY>\\..\\Dialogs\\*.kvd", "outside.txt", "evil");
    EXPECT_EQ(climbing->Commit(), E_ACCESSDENIED);
    EXPECT_EQ(climbing->Delete(true), ERROR_FILE_NOT_FOUND);  // nothing there to refuse
    EXPECT_EQ(ReadText(dataFile), data);
    EXPECT_FALSE(fs::exists(tree / "Dialogs"));

    // A stored LocalCopy that names a file elsewhere.
    WriteText(Repo("Dialogs/old.kvd"), "x");
    auto items = Items("Dialogs/*");
    ASSERT_EQ(items->GetCount(), 1);
    CRepositoryItem* loaded = items->GetFirst();
    EXPECT_EQ(loaded->Delete(true), E_ACCESSDENIED);
    // A key that climbs out, on a loaded item given new content.
    loaded->PutProperty(OLESTR("Key"), OLESTR("..\\..\\Dialogs"));
    loaded->AddFile(_stringx(Work("old.kvd", "evil")));
    EXPECT_EQ(loaded->Commit(), E_ACCESSDENIED);

    // A template without a name would take the whole type folder.
    WriteText(Repo("Templates/keep.kvt"), "keep");
    EXPECT_EQ(NewItem("<KVREPOSITORY>\\Templates\\*.kvt", ".kvt")->Commit(), E_ACCESSDENIED);
    EXPECT_TRUE(fs::exists(Repo("Templates/keep.kvt")));
    EXPECT_EQ(ReadText(outside), "keep");
}

// Containment refuses only a write or delete that would reach outside the
// repository; what an operation meets before such a write comes out as it
// would without it, the data file's failures first.
TEST_F(PublishingTest, FailuresBeforeAWriteOutsideComeOutAsUsual) {
    WriteText(list, "<Repositories><Repository Key=\"Empty\"/></Repositories>");
    CRepository* empty = manager.GetRepository("Empty", true);
    ASSERT_NE(empty, nullptr);
    CRepositoryItem* raw = nullptr;
    ASSERT_EQ(empty->CreateRepositoryItem("<KVREPOSITORY>\\Dialogs\\*.kvd", &raw), 0);
    std::unique_ptr<CRepositoryItem> orphan(raw);
    orphan->AddFile(_stringx(Work("x.kvd")));
    EXPECT_EQ(orphan->Commit(), kv::status::kNotOpened);  // no data file to open

    WriteText(list,
              "<Repositories><Repository Key=\"Local\" Path=\"" + dataFile + "\"/></Repositories>");
    repository = manager.GetRepository("Local", false);
    ASSERT_NE(repository, nullptr);
    const std::string outside = WriteText(tree / "outside.kvd", "keep");
    fs::create_directories(Repo("Dialogs"));
    const std::string data = ReadText(dataFile);
    auto climbing = NewItem("<KVREPOSITORY>\\Dialogs\\..\\..\\*.kvd", "outside.kvd", "evil");
    kvtest::SetPerms(dataFile, kvtest::kReadOnly);
    EXPECT_EQ(climbing->Commit(), kv::status::kNotSaved);
    kvtest::SetPerms(dataFile, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(status.asked.empty());
    EXPECT_EQ(climbing->Commit(), E_ACCESSDENIED);  // asked, agreed, refused
    EXPECT_EQ(ReadText(dataFile), data);
    status.allowFiles = false;
    EXPECT_EQ(climbing->Commit(),
              kv::status::kFileOverwriteDeclined);  // declined: the data file is written first
    EXPECT_NE(ReadText(dataFile), data);
    EXPECT_EQ(status.asked.size(), 2u);
    EXPECT_EQ(climbing->Delete(true), E_ACCESSDENIED);
    EXPECT_EQ(ReadText(outside), "keep");
    fs::remove(outside);
    EXPECT_EQ(climbing->Delete(true), ERROR_FILE_NOT_FOUND);
    climbing->AddFile(_stringx((tree / "Work/missing.kvd").string()));
    EXPECT_EQ(climbing->Commit(), ERROR_FILE_NOT_FOUND);  // the copy fails as it would

    // A whole-folder template, declined; agreed, refused.
    Work("Base/Base.kvt");
    auto folder = NewItem("<KVREPOSITORY>\\Templates\\..\\..\\*.kvt", "Base/Base.kvt");
    status.allowFolders = false;
    EXPECT_EQ(folder->Commit(), kv::status::kFolderOverwriteDeclined);
    status.allowFolders = true;
    EXPECT_EQ(folder->Commit(), E_ACCESSDENIED);
    EXPECT_FALSE(fs::exists(tree / "Base"));
    EXPECT_THAT(status.messages, ElementsAre("Error opening XML file ",
                                             "Unable to save XML file " + dataFile + "."));
}

}  // namespace
