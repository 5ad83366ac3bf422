#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "repository/repositories.h"
#include "repository/repositoryitems.h"
#include "repository/repositorymgr.h"
#include "xml_test_util.h"

namespace {

using kvtest::ReadText;
using kvtest::WriteText;
using testing::ElementsAre;

// Exposes the item's protected helpers.
class Item : public CRepositoryItem {
public:
    using CRepositoryItem::CRepositoryItem;
    using CRepositoryItem::GetDisplayPath;
    using CRepositoryItem::GetNewRepoItemPath;
    using CRepositoryItem::GetRepoItemType;
};

std::string Prop(CRepositoryItem& item, const char16_t* name, long expected = 0) {
    _stringx value(u"<unset>");
    EXPECT_EQ(item.GetProperty(_stringx(name), &value), expected) << U8(_stringx(name));
    return U8(value);
}

class ItemTest : public testing::Test {
protected:
    void SetUp() override {
        dataFile = WriteText(tree / "Repo" / "Repository.xml",
                             "<Repository><Dialogs><RepoItem Name=\"Dialogs\" Key=\"Dialogs\" "
                             "Wildcard=\"*.kvd\"><ItemAttrib FileName=\"stored.kvd\" "
                             "DisplayName=\"Stored\" Author=\"Ana\"/></RepoItem></Dialogs>"
                             "</Repository>");
        listFile = WriteText(tree / "Repos.xml",
                             "<Repositories><Repository Key=\"Local\" Local=\"1\" DisplayName=\"My "
                             "Repo\" Path=\"" +
                                 dataFile + "\"/></Repositories>");
        repository = std::make_unique<CRepository>(_stringx(u"Local"), _stringx(dataFile), true,
                                                   _stringx(listFile), &status);
    }
    // An item as the catalogue makes it for the stored dialog.
    std::unique_ptr<Item> Stored() {
        auto item = std::make_unique<Item>(repository.get(), true, _stringx(), &status);
        item->PutProperty(_stringx(u"Key"), _stringx(u"Dialogs"));
        item->PutProperty(_stringx(u"FileName"), _stringx(u"Stored.kvd"));
        return item;
    }

    kvtest::TempTree tree;
    kvtest::RecordingStatus status;
    std::string dataFile, listFile;
    std::unique_ptr<CRepository> repository;
};

TEST_F(ItemTest, CachesComeBeforeTheFileAndTheWrittenCacheFirst) {
    auto item = Stored();
    item->CachePropertyValue(_stringx(u"Author"), _stringx(u"memory"), true);
    EXPECT_EQ(Prop(*item, u"Author"), "memory");
    item->CachePropertyValue(_stringx(u"Author"), _stringx(u"written"), false);
    EXPECT_EQ(Prop(*item, u"Author"), "written");
    EXPECT_EQ(Prop(*item, u"DisplayName"), "Stored");  // read from the file
    EXPECT_EQ(Prop(*item, u"displayname", -101), "<unset>");

    _stringx value(u"kept");
    EXPECT_EQ(item->GetPropertyValue(_stringx(u"DisplayName"), value, false), 0);
    EXPECT_EQ(U8(value), "kept");
    EXPECT_TRUE(item->GetPropertyExists(_stringx(u"DisplayName"), true));
    EXPECT_FALSE(item->GetPropertyExists(_stringx(u"DisplayName"), false));
    item->PutProperty(_stringx(u"Empty"), _stringx());
    EXPECT_TRUE(item->GetPropertyExists(_stringx(u"Empty"), false));
    EXPECT_TRUE(status.messages.empty());
}

TEST_F(ItemTest, FileNamesAreLowerCasedOnlyUnderTheirExactName) {
    Item item(repository.get(), false, _stringx(u"<KVREPOSITORY>\\Dialogs\\*.kvd"), &status);
    item.PutProperty(_stringx(u"FileName"), _stringx(u"MyDialog.KVD"));
    item.PutProperty(_stringx(u"filename"), _stringx(u"MyDialog.KVD"));
    item.PutProperty(_stringx(u"Other"), _stringx(u"\u00C9T\u00C9"));
    EXPECT_EQ(Prop(item, u"FileName"), "mydialog.kvd");
    EXPECT_EQ(Prop(item, u"filename"), "MyDialog.KVD");
    item.PutProperty(_stringx(u"FileName"), _stringx(u"\u00C9T\u00C9 \u00D7 \u0416.kvd"));
    EXPECT_EQ(_stringx(Prop(item, u"FileName").c_str()),
              _stringx(u"\u00E9t\u00E9 \u00D7 \u0416.kvd"));
}

TEST_F(ItemTest, TypesComeFromTheFirstNameInTableOrder) {
    EXPECT_EQ(U8(Item::GetRepoItemType(_stringx(u"C:\\Work\\SqlScripts\\Dialogs\\x.sql"))),
              "SqlScripts");
    EXPECT_EQ(U8(Item::GetRepoItemType(_stringx(u"C:\\Work\\dialogs\\x.kvd"))), "");
    EXPECT_EQ(U8(Item::GetRepoItemType(_stringx(u"<KVREPOSITORY>\\KVScripts\\setup.txt"))),
              "KVScripts");
    EXPECT_EQ(U8(Item::GetRepoItemType(_stringx(u"MyTemplatesDialogs"))), "Dialogs");
    Item item(repository.get(), false, _stringx(), &status);
    EXPECT_EQ(U8(item.GetNewRepoItemPath(_stringx(u"<KVREPOSITORY>\\Dialogs\\a.kvd"))),
              "Dialogs/RepoItem");
    EXPECT_EQ(U8(item.GetNewRepoItemPath(_stringx(u"nothing"))), "/RepoItem");
}

TEST_F(ItemTest, ExistingItemsComputeTheirPaths) {
    auto item = Stored();
    EXPECT_EQ(Prop(*item, u"DisplayPath"), "<KVREPOSITORY>\\Dialogs\\stored.kvd");
    EXPECT_EQ(U8(item->GetItemXPath()), "Dialogs/RepoItem/ItemAttrib[@FileName=\"stored.kvd\"]");
    EXPECT_EQ(U8(item->GetRepoItemType()), "Dialogs");
    EXPECT_EQ(Prop(*item, u"ParentRepo"), "My Repo");

    Item templ(repository.get(), true, _stringx(), &status);
    templ.PutProperty(_stringx(u"Key"), _stringx(u"Templates"));
    templ.PutProperty(_stringx(u"FileName"), _stringx(u"base"));
    EXPECT_EQ(U8(templ.GetDisplayPath()), "<KVREPOSITORY>\\Templates\\base");
    EXPECT_EQ(U8(templ.GetItemXPath()), "Templates/RepoItem/ItemAttrib[@FileName=\"base\"]");
}

TEST_F(ItemTest, NewItemsKeepTheirDisplayPathInMemory) {
    std::filesystem::remove(dataFile);  // a display path never reads the file
    Item item(repository.get(), false, _stringx(u"<KVREPOSITORY>\\MergeModules\\*.msm"), &status);
    EXPECT_EQ(Prop(item, u"DisplayPath"), "<KVREPOSITORY>\\MergeModules\\*.msm");
    EXPECT_EQ(U8(item.GetRepoItemType()), "MergeModules");
    EXPECT_FALSE(item.GetExists());
    EXPECT_TRUE(status.messages.empty());
}

TEST_F(ItemTest, NoPropertyLookupRecursesWhateverIsCached) {
    // An existing item with nothing cached: every lookup ends, none crashes.
    Item bare(repository.get(), true, _stringx(), &status);
    EXPECT_EQ(Prop(bare, u"Key", -101), "<unset>");
    EXPECT_EQ(Prop(bare, u"FileName", -101), "<unset>");
    EXPECT_EQ(Prop(bare, u"DisplayPath"), "<KVREPOSITORY>\\\\");
    EXPECT_EQ(U8(bare.GetItemXPath()), "/RepoItem/ItemAttrib[@FileName=\"\"]");
    EXPECT_FALSE(bare.GetPropertyExists(_stringx(u"Anything"), true));
    EXPECT_EQ(bare.CommitCachedProperties(), 0);

    Item orphan(nullptr, true, _stringx(), nullptr);
    EXPECT_EQ(Prop(orphan, u"ParentRepo"), "<unset>");
    EXPECT_EQ(Prop(orphan, u"Key", -101), "<unset>");
}

TEST_F(ItemTest, CommitWritesTheWrittenCacheAndKeepsBothCaches) {
    Item item(repository.get(), false, _stringx(u"<KVREPOSITORY>\\Dialogs\\*.kvd"), &status);
    item.PutProperty(_stringx(u"FileName"), _stringx(u"New.kvd"));
    item.PutProperty(_stringx(u"DisplayName"), _stringx(u"New dialog"));
    ASSERT_EQ(item.CommitCachedProperties(), 0);
    const std::string saved = ReadText(dataFile);
    EXPECT_NE(saved.find("<ItemAttrib DisplayName=\"New dialog\" FileName=\"new.kvd\"/>"),
              std::string::npos)
        << saved;
    EXPECT_EQ(saved.find("DisplayPath"), std::string::npos);  // in-memory only

    WriteText(dataFile, "<Repository/>");
    EXPECT_EQ(Prop(item, u"DisplayName"), "New dialog");  // still cached
}

TEST_F(ItemTest, CopiesCarryBothCaches) {
    Item fresh(repository.get(), false, _stringx(u"<KVREPOSITORY>\\Dialogs\\*.kvd"), &status);
    fresh.PutProperty(_stringx(u"Title"), _stringx(u"T"));
    std::unique_ptr<CRepositoryItem> copy(fresh.Copy());
    EXPECT_FALSE(copy->GetExists());
    EXPECT_EQ(Prop(*copy, u"DisplayPath"), "<KVREPOSITORY>\\Dialogs\\*.kvd");
    EXPECT_EQ(Prop(*copy, u"Title"), "T");

    auto stored = Stored();
    std::unique_ptr<CRepositoryItem> copy2(stored->Copy());
    EXPECT_TRUE(copy2->GetExists());
    EXPECT_EQ(Prop(*copy2, u"DisplayPath"), "<KVREPOSITORY>\\Dialogs\\stored.kvd");
    EXPECT_EQ(Prop(*copy2, u"Author"), "Ana");  // from the file, through the copied key

    // Reading the element's attributes into another object replaces its written cache.
    Item target(repository.get(), true, _stringx(), &status);
    target.PutProperty(_stringx(u"Author"), _stringx(u"Old"));
    target.PutProperty(_stringx(u"Extra"), _stringx(u"x"));
    stored->CopyProperties(&target, false);
    EXPECT_EQ(Prop(target, u"Author"), "Ana");
    EXPECT_EQ(Prop(target, u"DisplayName"), "Stored");
    EXPECT_EQ(Prop(target, u"Extra", -101), "<unset>");

    Item assigned(repository.get(), false, _stringx(u"x"), &status);
    assigned = *stored;
    EXPECT_TRUE(assigned.GetExists());
    EXPECT_EQ(Prop(assigned, u"FileName"), "stored.kvd");
}

// Items across repositories, as a caller lists them.
class ItemAccessTest : public testing::Test {
protected:
    std::string Repo(const std::string& name, const std::string& dialogs) {
        const std::string data = WriteText(
            tree / name / "Repository.xml",
            "<Repository><Dialogs><RepoItem Name=\"Dialogs\" Key=\"Dialogs\" Wildcard=\"*.kvd\"/>"
            "</Dialogs></Repository>");
        for (char c : dialogs)
            WriteText(tree / name / "Dialogs" / (std::string(1, c) + ".kvd"), "dialog");
        return data;
    }
    std::string List(const std::string& entries) {
        return WriteText(tree / "Repos.xml", "<Repositories>" + entries + "</Repositories>");
    }
    static std::string Entry(const std::string& key, const std::string& path, bool local) {
        return "<Repository Key=\"" + key + "\" Local=\"" + (local ? "1" : "0") + "\" Path=\"" +
               path + "\" DisplayName=\"" + key + "\"/>";
    }
    static std::vector<std::string> Names(CRepositoryItems* items) {
        std::vector<std::string> names;
        for (CRepositoryItem* item = items->MoveFirst(); item; item = items->MoveNext())
            names.push_back(Prop(*item, u"ParentRepo") + ":" + Prop(*item, u"FileName"));
        return names;
    }

    kvtest::TempTree tree;
    kvtest::RecordingStatus status;
};

TEST_F(ItemAccessTest, ARepositoryListsItsItemsForTheCaller) {
    const std::string list = List(Entry("A", Repo("A", "xy"), true));
    CRepositoryMgr manager(list.c_str(), &status);
    CRepository* repo = manager.GetRepository("A", false);
    ASSERT_NE(repo, nullptr);

    CRepositoryItems* raw = nullptr;
    EXPECT_EQ(repo->GetItems("Dialogs", &raw), 0);
    std::unique_ptr<CRepositoryItems> bare(raw);
    EXPECT_EQ(bare->GetCount(), 0);
    EXPECT_EQ(repo->GetItems("Dialogs/*", &raw), 0);
    std::unique_ptr<CRepositoryItems> all(raw);
    EXPECT_THAT(Names(all.get()), ElementsAre("A:x.kvd", "A:y.kvd"));

    CRepositoryItem* created = nullptr;
    EXPECT_EQ(repo->CreateRepositoryItem(nullptr, &created), 0);
    std::unique_ptr<CRepositoryItem> item(created);
    EXPECT_EQ(U8(item->GetItemXPath()), "/RepoItem/ItemAttrib[@FileName=\"\"]");  // no type
    EXPECT_FALSE(item->GetExists());
}

TEST_F(ItemAccessTest, GatheringCopiesItemsFromLocalOrAllRepositoriesInListOrder) {
    const std::string list =
        List(Entry("A", Repo("A", "ab"), true) + Entry("N", Repo("N", "n"), false) +
             Entry("C", Repo("C", "c"), true));
    CRepositoryMgr manager(list.c_str(), &status);
    CRepositories* repositories = nullptr;
    ASSERT_EQ(manager.GetRepositories("*", &repositories, false), 0);

    CRepositoryItems* local = nullptr;
    EXPECT_EQ(repositories->GetRepositoryItems("Dialogs/*", 0, &local), 0);
    EXPECT_THAT(Names(local), ElementsAre("A:a.kvd", "A:b.kvd", "C:c.kvd"));
    EXPECT_EQ(repositories->MoveNext(), nullptr);  // the list's cursor is at the end

    CRepositoryItems* all = nullptr;  // the first collection is deleted now
    EXPECT_EQ(repositories->GetRepositoryItems("Dialogs/*", 1, &all), 0);
    EXPECT_THAT(Names(all), ElementsAre("A:a.kvd", "A:b.kvd", "N:n.kvd", "C:c.kvd"));
    EXPECT_TRUE(status.messages.empty());
}

TEST_F(ItemAccessTest, GatheringStopsAtTheFirstFailingRepository) {
    const std::string broken = WriteText(tree / "B" / "Repository.xml", "<Repository>");
    const std::string list =
        List(Entry("A", Repo("A", "a"), true) + Entry("B", broken, true) +
             Entry("C", Repo("C", "c"), true) + "<Repository Key=\"E\" Local=\"1\"/>");
    CRepositoryMgr manager(list.c_str(), &status);
    CRepositories* repositories = nullptr;
    ASSERT_EQ(manager.GetRepositories("*", &repositories, true), 0);
    CRepositoryItems* items = nullptr;
    EXPECT_EQ(repositories->GetRepositoryItems("Dialogs/*", 1, &items), -103);
    EXPECT_THAT(Names(items), ElementsAre("A:a.kvd"));
    EXPECT_THAT(status.messages, ElementsAre("Error opening XML file " + broken));

    ASSERT_EQ(manager.GetRepositories("E", &repositories, true), 0);
    EXPECT_EQ(repositories->GetRepositoryItems("Dialogs/*", 1, &items), -3);
}

}  // namespace
