#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "repository/repositoryitems.h"
#include "repository/repositorymgr.h"
#include "xml_test_util.h"

namespace {

namespace fs = std::filesystem;
using kvtest::ReadText;
using kvtest::WriteText;
using testing::ElementsAre;

// Records every question and answers as told.
class AskingStatus : public kvtest::RecordingStatus {
public:
    bool OnOverwriteFile(const _stringx& path) override {
        asked.push_back("file " + U8(path));
        return allowFiles;
    }
    bool OnOverwriteFolder(const _stringx& path) override {
        asked.push_back("folder " + U8(path));
        return allowFolders;
    }
    std::vector<std::string> asked;
    bool allowFiles = true, allowFolders = true;
};

constexpr const char* kData =
    "<Repository>"
    "<Dialogs><RepoItem Name=\"Dialogs\" Key=\"Dialogs\" Wildcard=\"*.kvd\">"
    "<ItemAttrib FileName=\"old.kvd\" LocalCopy=\"%OUTSIDE%\"/></RepoItem></Dialogs>"
    "<Templates><RepoItem Name=\"Templates\" Key=\"Templates\" Wildcard=\"*.kvt\"/></Templates>"
    "</Repository>";

class PublishingTest : public testing::Test {
protected:
    void SetUp() override {
        std::string data = kData;
        data.replace(data.find("%OUTSIDE%"), 9, (tree / "outside.txt").string());
        dataFile = WriteText(tree / "Repo" / "Repository.xml", data);
        const std::string list = WriteText(
            tree / "Repos.xml", "<Repositories><Repository Key=\"Local\" Local=\"1\" Path=\"" +
                                    dataFile + "\"/></Repositories>");
        manager = std::make_unique<CRepositoryMgr>(list.c_str(), &status);
        repository = manager->GetRepository("Local", false);
        ASSERT_NE(repository, nullptr);
    }
    std::unique_ptr<CRepositoryItem> NewItem(const char* displayPath) {
        CRepositoryItem* item = nullptr;
        repository->CreateRepositoryItem(displayPath, &item);
        return std::unique_ptr<CRepositoryItem>(item);
    }
    std::string Work(const std::string& name, const std::string& content = "content") {
        return WriteText(tree / "Work" / name, content);
    }
    fs::path Repo(const std::string& relative) const { return tree / "Repo" / relative; }

    kvtest::TempTree tree;
    AskingStatus status;
    std::string dataFile;
    std::unique_ptr<CRepositoryMgr> manager;
    CRepository* repository = nullptr;
};

std::string Prop(CRepositoryItem& item, const char16_t* name) {
    _stringx value(u"<unset>");
    item.GetProperty(_stringx(name), &value);
    return U8(value);
}

TEST_F(PublishingTest, ADialogFromATmpFileLandsAsKvdAndIsFoundAgain) {
    auto item = NewItem("<KVREPOSITORY>\\Dialogs\\*.kvd");
    EXPECT_EQ(item->AddFile(_stringx(Work("New Dialog.tmp", "dialog v1"))), 0);
    EXPECT_EQ(Prop(*item, u"FileName"), "new dialog.kvd");
    item->PutProperty(_stringx(u"DisplayName"), _stringx(u"New Dialog"));
    item->PutProperty(_stringx(u"Author"), _stringx(u"Ana"));
    ASSERT_EQ(item->Commit(), 0);
    EXPECT_TRUE(item->GetExists());
    EXPECT_EQ(ReadText(Repo("Dialogs/New Dialog.kvd")), "dialog v1");
    EXPECT_TRUE(status.asked.empty());

    CRepositoryItems* raw = nullptr;
    ASSERT_EQ(repository->GetItems("Dialogs/*", &raw), 0);
    std::unique_ptr<CRepositoryItems> items(raw);
    ASSERT_EQ(items->GetCount(), 1);
    CRepositoryItem* found = items->GetFirst();
    EXPECT_EQ(Prop(*found, u"Author"), "Ana");
    EXPECT_EQ(Prop(*found, u"DisplayName"), "New Dialog");
    EXPECT_EQ(Prop(*found, u"DisplayPath"), "<KVREPOSITORY>\\Dialogs\\new dialog.kvd");
    _stringx local;
    EXPECT_EQ(found->CreateLocalCopy(&local), 0);
    EXPECT_EQ(U8(local), Repo("Dialogs/New Dialog.kvd").string());
}

TEST_F(PublishingTest, TmpBecomesTheTypesExtensionOnlyWhereOneIsKnown) {
    const std::string tmp = Work("x.tmp");
    const std::pair<const char*, const char*> cases[] = {
        {"<KVREPOSITORY>\\SystemSearches\\*.ini", "x.ini"},
        {"<KVREPOSITORY>\\SqlScripts\\*.sql", "x.sql"},
        {"<KVREPOSITORY>\\Templates\\*.kvt", "x.tmp"},
        {"<KVREPOSITORY>\\MergeModules\\*.msm", "x.tmp"},
    };
    for (const auto& [display, expected] : cases) {
        auto item = NewItem(display);
        item->AddFile(_stringx(tmp));
        EXPECT_EQ(Prop(*item, u"FileName"), expected) << display;
    }
    auto upper = NewItem("<KVREPOSITORY>\\SystemSearches\\*.ini");
    upper->AddFile(_stringx(Work("Search.TMP")));
    EXPECT_EQ(Prop(*upper, u"FileName"), "search.tmp");
}

TEST_F(PublishingTest, AnExistingFileIsReplacedOnlyWithConsent) {
    WriteText(Repo("Dialogs/a.kvd"), "old");
    auto item = NewItem("<KVREPOSITORY>\\Dialogs\\*.kvd");
    item->AddFile(_stringx(Work("a.kvd", "new")));
    status.allowFiles = false;
    EXPECT_EQ(item->Commit(), -109);
    EXPECT_EQ(ReadText(Repo("Dialogs/a.kvd")), "old");
    EXPECT_FALSE(item->GetExists());  // a failed commit can be repeated
    status.allowFiles = true;
    EXPECT_EQ(item->Commit(), 0);
    EXPECT_EQ(ReadText(Repo("Dialogs/a.kvd")), "new");
    const std::string question = "file " + Repo("Dialogs/a.kvd").string();
    EXPECT_THAT(status.asked, ElementsAre(question, question));
}

TEST_F(PublishingTest, AFolderInTheWayFailsWithTheSystemsCodeAndMissingFoldersAreMade) {
    fs::create_directories(Repo("Dialogs/b.kvd"));
    auto blocked = NewItem("<KVREPOSITORY>\\Dialogs\\*.kvd");
    blocked->AddFile(_stringx(Work("b.kvd")));
    EXPECT_EQ(blocked->Commit(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(status.asked.empty());

    auto deep = NewItem("<KVREPOSITORY>/Dialogs/Sub/Deeper/*.kvd");
    deep->AddFile(_stringx(Work("c.kvd")));
    EXPECT_EQ(deep->Commit(), 0);
    EXPECT_TRUE(fs::exists(Repo("Dialogs/Sub/Deeper/c.kvd")));
}

TEST_F(PublishingTest, AWholeFolderTemplateReplacesItsFolderWithConsent) {
    const std::string source = Work("Base/Base.kvt", "template");
    Work("Base/Parts/part.txt", "part");
    WriteText(Repo("Templates/Base/stale.txt"), "stale");
    fs::permissions(Repo("Templates/Base/stale.txt"), fs::perms::owner_read);
    auto item = NewItem("<KVREPOSITORY>\\Templates\\*.kvt");
    item->AddFile(_stringx(source));

    status.allowFolders = false;
    EXPECT_EQ(item->Commit(), -110);
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
    const std::string foo = Work("Foo.kvt", "foo");
    Work("Foo/inc.txt", "inc");
    auto item = NewItem("<KVREPOSITORY>\\Templates\\*.kvt");
    item->AddFile(_stringx(foo));
    EXPECT_EQ(item->Commit(), 0);
    EXPECT_EQ(ReadText(Repo("Templates/Foo.kvt")), "foo");
    EXPECT_EQ(ReadText(Repo("Templates/Foo/inc.txt")), "inc");
    EXPECT_FALSE(fs::exists(Repo("Templates/Foo/stale.txt")));
    EXPECT_TRUE(status.asked.empty());

    auto lone = NewItem("<KVREPOSITORY>\\Templates\\*.kvt");
    lone->AddFile(_stringx(Work("Lone.kvt")));
    EXPECT_EQ(lone->Commit(), 0);
    EXPECT_TRUE(fs::exists(Repo("Templates/Lone.kvt")));
    EXPECT_FALSE(fs::exists(Repo("Templates/Lone")));
}

TEST_F(PublishingTest, DeleteRemovesTheFileOnceAndNothingElse) {
    auto item = NewItem("<KVREPOSITORY>\\Dialogs\\*.kvd");
    item->AddFile(_stringx(Work("x.tmp")));
    EXPECT_EQ(item->CommitCachedProperties(), 0);
    WriteText(Repo("Dialogs/x.kvd"), "x");
    const std::string data = ReadText(dataFile);
    EXPECT_EQ(item->Delete(false), 0);
    EXPECT_TRUE(fs::exists(Repo("Dialogs/x.kvd")));
    EXPECT_EQ(item->Delete(true), 0);
    EXPECT_FALSE(fs::exists(Repo("Dialogs/x.kvd")));
    EXPECT_EQ(item->Delete(true), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadText(dataFile), data);
    EXPECT_EQ(Prop(*item, u"FileName"), "x.kvd");
}

TEST_F(PublishingTest, LoadedItemsDeleteTheirLocalCopy) {
    WriteText(Repo("Dialogs/mine.kvd"), "x");
    CRepositoryItems* raw = nullptr;
    ASSERT_EQ(repository->GetItems("<KVREPOSITORY>\\Dialogs\\mine.kvd", &raw), 0);
    std::unique_ptr<CRepositoryItems> items(raw);
    ASSERT_EQ(items->GetCount(), 1);
    EXPECT_EQ(items->GetFirst()->Delete(true), 0);
    EXPECT_FALSE(fs::exists(Repo("Dialogs/mine.kvd")));
}

TEST_F(PublishingTest, NothingOutsideTheRepositoryIsTouched) {
    const std::string outside = WriteText(tree / "outside.txt", "keep");
    const std::string data = ReadText(dataFile);

    // A display path that climbs out: refused before the data file is written.
    auto climbing = NewItem("<KVREPOSITORY>\\..\\Dialogs\\*.kvd");
    climbing->AddFile(_stringx(Work("outside.txt", "evil")));
    EXPECT_EQ(climbing->Commit(), E_ACCESSDENIED);
    EXPECT_EQ(climbing->Delete(true), E_ACCESSDENIED);
    EXPECT_EQ(ReadText(dataFile), data);
    EXPECT_FALSE(fs::exists(tree / "Dialogs"));

    // A stored LocalCopy that names a file elsewhere.
    WriteText(Repo("Dialogs/old.kvd"), "x");
    CRepositoryItems* raw = nullptr;
    ASSERT_EQ(repository->GetItems("Dialogs/*", &raw), 0);
    std::unique_ptr<CRepositoryItems> items(raw);
    ASSERT_EQ(items->GetCount(), 1);
    EXPECT_EQ(items->GetFirst()->Delete(true), E_ACCESSDENIED);

    // A key that climbs out, on a loaded item given new content.
    items->GetFirst()->PutProperty(_stringx(u"Key"), _stringx(u"..\\..\\Dialogs"));
    items->GetFirst()->AddFile(_stringx(Work("old.kvd", "evil")));
    EXPECT_EQ(items->GetFirst()->Commit(), E_ACCESSDENIED);

    // A template without a name would take the whole type folder.
    WriteText(Repo("Templates/keep.kvt"), "keep");
    auto nameless = NewItem("<KVREPOSITORY>\\Templates\\*.kvt");
    nameless->AddFile(_stringx(Work(".kvt")));
    EXPECT_EQ(nameless->Commit(), E_ACCESSDENIED);
    EXPECT_TRUE(fs::exists(Repo("Templates/keep.kvt")));
    EXPECT_EQ(ReadText(outside), "keep");
}

}  // namespace
