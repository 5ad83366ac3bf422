#include <gmock/gmock.h>

#include "repo_util.h"

namespace {

using namespace kvtest;
using testing::ElementsAre;

// Exposes the item's protected helpers.
class Item : public CRepositoryItem {
public:
    using CRepositoryItem::CRepositoryItem;
    using CRepositoryItem::GetNewRepoItemPath;
    using CRepositoryItem::GetRepoItemType;
};

class ItemTest : public RepoTest {
protected:
    // An item as the catalogue makes it for the stored dialog.
    std::unique_ptr<Item> Stored() {
        auto item = std::make_unique<Item>(&repository, true, _stringx(), &status);
        item->PutProperty(OLESTR("Key"), OLESTR("Dialogs"));
        item->PutProperty(OLESTR("FileName"), OLESTR("Stored.kvd"));
        return item;
    }
    Item New(const OLECHAR* displayPath) { return Item(&repository, false, displayPath, &status); }

    const std::string dataFile =
        Data("Repo/Repository.xml",
             Group("Dialogs", "Dialogs", "*.kvd",
                   "<ItemAttrib FileName=\"stored.kvd\" DisplayName=\"Stored\" Author=\"Ana\"/>"));
    CRepository repository{OLESTR("Local"), _stringx(dataFile), true,
                           _stringx(List(Entry("Local", dataFile, "1", "DisplayName=\"My Repo\""))),
                           &status};
};

TEST_F(ItemTest, CachesComeBeforeTheFileAndTheWrittenCacheFirst) {
    auto item = Stored();
    item->CachePropertyValue(OLESTR("Author"), OLESTR("memory"), true);
    EXPECT_EQ(Prop(*item, OLESTR("Author")), "memory");
    item->CachePropertyValue(OLESTR("Author"), OLESTR("written"), false);
    EXPECT_EQ(Prop(*item, OLESTR("Author")), "written");
    EXPECT_EQ(Prop(*item, OLESTR("DisplayName")), "Stored");  // read from the file
    EXPECT_EQ(Prop(*item, OLESTR("displayname")), "<-101>");
    _stringx value(OLESTR("kept"));
    EXPECT_EQ(item->GetPropertyValue(OLESTR("DisplayName"), value, false), 0);
    EXPECT_EQ(U8(value), "kept");
    EXPECT_TRUE(item->GetPropertyExists(OLESTR("DisplayName"), true));
    EXPECT_FALSE(item->GetPropertyExists(OLESTR("DisplayName"), false));
    item->PutProperty(OLESTR("Empty"), _stringx());
    EXPECT_TRUE(item->GetPropertyExists(OLESTR("Empty"), false));
    EXPECT_TRUE(status.messages.empty());
}

TEST_F(ItemTest, FileNamesAreLowerCasedAndTypesFoundInTableOrder) {
    Item item = New(OLESTR("<KVREPOSITORY>\\Dialogs\\*.kvd"));
    item.PutProperty(OLESTR("FileName"), OLESTR("MyDialog.KVD"));
    item.PutProperty(OLESTR("filename"), OLESTR("MyDialog.KVD"));
    EXPECT_EQ(Prop(item, OLESTR("FileName")), "mydialog.kvd");
    EXPECT_EQ(Prop(item, OLESTR("filename")), "MyDialog.KVD");  // only under the exact name
    // By the ANSI rule: ASCII and Latin-1 capitals only.
    item.PutProperty(OLESTR("FileName"),
                     OLESTR("\u00C9T\u00DE \u00D7\u00DF\u0178\u0416\u20AC\u0100"));
    EXPECT_EQ(FromU8(Prop(item, OLESTR("FileName"))),
              OLESTR("\u00E9t\u00FE \u00D7\u00DF\u0178\u0416\u20AC\u0100"));

    const std::pair<const OLECHAR*, const char*> types[] = {
        {OLESTR("C:\\Work\\SqlScripts\\Dialogs\\x.sql"), "SqlScripts"},
        {OLESTR("C:\\Work\\dialogs\\x.kvd"), ""},
        {OLESTR("<KVREPOSITORY>\\KVScripts\\setup.txt"), "KVScripts"},
        {OLESTR("MyTemplatesDialogs"), "Dialogs"}};
    for (const auto& [path, type] : types)
        EXPECT_EQ(U8(Item::GetRepoItemType(_stringx(path))), type) << type;
    EXPECT_EQ(U8(item.GetNewRepoItemPath(OLESTR("<KVREPOSITORY>\\Dialogs\\a.kvd"))),
              "Dialogs/RepoItem");
    EXPECT_EQ(U8(item.GetNewRepoItemPath(OLESTR("nothing"))), "/RepoItem");
}

TEST_F(ItemTest, ExistingItemsComputeTheirPathsNewOnesKeepTheirDisplayPath) {
    auto item = Stored();
    EXPECT_EQ(Prop(*item, OLESTR("DisplayPath")), "<KVREPOSITORY>\\Dialogs\\stored.kvd");
    EXPECT_EQ(U8(item->GetItemXPath()), "Dialogs/RepoItem/ItemAttrib[@FileName=\"stored.kvd\"]");
    EXPECT_EQ(Prop(*item, OLESTR("ParentRepo")), "My Repo");

    std::filesystem::remove(dataFile);  // a new item's display path never reads the file
    Item fresh = New(OLESTR("<KVREPOSITORY>\\MergeModules\\*.msm"));
    EXPECT_EQ(Prop(fresh, OLESTR("DisplayPath")), "<KVREPOSITORY>\\MergeModules\\*.msm");
    EXPECT_EQ(U8(fresh.GetRepoItemType()), "MergeModules");
    EXPECT_FALSE(fresh.GetExists());
    EXPECT_TRUE(status.messages.empty());
}

TEST_F(ItemTest, NoPropertyLookupRecursesWhateverIsCached) {
    Item bare(&repository, true, _stringx(), &status);  // nothing cached
    EXPECT_EQ(Prop(bare, OLESTR("Key")), "<-101>");
    EXPECT_EQ(Prop(bare, OLESTR("FileName")), "<-101>");
    EXPECT_EQ(Prop(bare, OLESTR("DisplayPath")), "<KVREPOSITORY>\\\\");
    EXPECT_EQ(U8(bare.GetItemXPath()), "/RepoItem/ItemAttrib[@FileName=\"\"]");
    EXPECT_FALSE(bare.GetPropertyExists(OLESTR("Anything"), true));
    EXPECT_EQ(bare.CommitCachedProperties(), 0);
    Item orphan(nullptr, true, _stringx(), nullptr);
    EXPECT_EQ(Prop(orphan, OLESTR("ParentRepo")), "<unset>");
    EXPECT_EQ(Prop(orphan, OLESTR("Key")), "<-101>");
}

TEST_F(ItemTest, CommitWritesTheWrittenCacheAndKeepsBothCaches) {
    Item item = New(OLESTR("<KVREPOSITORY>\\Dialogs\\*.kvd"));
    item.PutProperty(OLESTR("FileName"), OLESTR("New.kvd"));
    item.PutProperty(OLESTR("DisplayName"), OLESTR("New dialog"));
    ASSERT_EQ(item.CommitCachedProperties(), 0);
    const std::string saved = ReadText(dataFile);
    EXPECT_NE(saved.find("<ItemAttrib DisplayName=\"New dialog\" FileName=\"new.kvd\"/>"),
              std::string::npos)
        << saved;
    EXPECT_EQ(saved.find("DisplayPath"), std::string::npos);  // in memory only
    WriteText(dataFile, "<Repository/>");
    EXPECT_EQ(Prop(item, OLESTR("DisplayName")), "New dialog");  // still cached
}

TEST_F(ItemTest, CopiesCarryBothCaches) {
    Item fresh = New(OLESTR("<KVREPOSITORY>\\Dialogs\\*.kvd"));
    fresh.PutProperty(OLESTR("Title"), OLESTR("T"));
    std::unique_ptr<CRepositoryItem> copy(fresh.Copy());
    EXPECT_FALSE(copy->GetExists());
    EXPECT_EQ(Prop(*copy, OLESTR("DisplayPath")), "<KVREPOSITORY>\\Dialogs\\*.kvd");
    EXPECT_EQ(Prop(*copy, OLESTR("Title")), "T");

    auto stored = Stored();
    copy.reset(stored->Copy());
    EXPECT_TRUE(copy->GetExists());
    EXPECT_EQ(Prop(*copy, OLESTR("Author")), "Ana");  // from the file, through the copied key

    // Reading the element's attributes into another item replaces its written cache.
    Item target(&repository, true, _stringx(), &status);
    target.PutProperty(OLESTR("Author"), OLESTR("Old"));
    target.PutProperty(OLESTR("Extra"), OLESTR("x"));
    stored->CopyProperties(&target, false);
    EXPECT_EQ(Prop(target, OLESTR("Author")), "Ana");
    EXPECT_EQ(Prop(target, OLESTR("DisplayName")), "Stored");
    EXPECT_EQ(Prop(target, OLESTR("Extra")), "<-101>");
    Item assigned = New(OLESTR("x"));
    assigned = *stored;
    EXPECT_TRUE(assigned.GetExists());
    EXPECT_EQ(Prop(assigned, OLESTR("FileName")), "stored.kvd");
}

// Items across repositories, as a caller lists them.
class ItemAccessTest : public RepoTest {
protected:
    // A repository entry whose folder holds one dialog per letter of `dialogs`.
    std::string Repo(const std::string& key, const std::string& dialogs, bool local = true) {
        for (char c : dialogs)
            WriteText(tree / key / "Dialogs" / (std::string(1, c) + ".kvd"), "dialog");
        return Entry(key, Data(key + "/Repository.xml", Group("Dialogs", "Dialogs", "*.kvd")),
                     local ? "1" : "0", "DisplayName=\"" + key + "\"");
    }
    CRepositories* Load(const std::string& entries, const char* filter = "*") {
        List(entries);
        CRepositories* repositories = nullptr;
        EXPECT_EQ(manager.GetRepositories(filter, &repositories, true), 0);
        return repositories;
    }
    static std::vector<std::string> Names(CRepositoryItems* items) {
        return Describe(items, {OLESTR("ParentRepo"), OLESTR("FileName")});
    }
};

TEST_F(ItemAccessTest, GatheringCopiesItemsFromLocalOrAllRepositoriesInListOrder) {
    CRepositories* repositories = Load(Repo("A", "ab") + Repo("N", "n", false) + Repo("C", "c"));
    CRepositoryItems* local = nullptr;
    EXPECT_EQ(repositories->GetRepositoryItems("Dialogs/*", 0, &local), 0);
    EXPECT_THAT(Names(local), ElementsAre("A | a.kvd", "A | b.kvd", "C | c.kvd"));
    EXPECT_EQ(repositories->MoveNext(), nullptr);  // the list's cursor is at the end
    CRepositoryItems* all = nullptr;               // the first collection is deleted now
    EXPECT_EQ(repositories->GetRepositoryItems("Dialogs/*", 1, &all), 0);
    EXPECT_THAT(Names(all), ElementsAre("A | a.kvd", "A | b.kvd", "N | n.kvd", "C | c.kvd"));
    EXPECT_TRUE(status.messages.empty());
}

TEST_F(ItemAccessTest, GatheringStopsAtTheFirstFailingRepository) {
    const std::string broken = WriteText(tree / "B" / "Repository.xml", "<Repository>");
    CRepositories* repositories = Load(Repo("A", "a") + Entry("B", broken) + Repo("C", "c") +
                                       "<Repository Key=\"E\" Local=\"1\"/>");
    CRepositoryItems* items = nullptr;
    EXPECT_EQ(repositories->GetRepositoryItems("Dialogs/*", 1, &items), kv::status::kNotOpened);
    EXPECT_THAT(Names(items), ElementsAre("A | a.kvd"));
    EXPECT_THAT(status.messages, ElementsAre("Error opening XML file " + broken));
    repositories = Load(Repo("A", "a") + "<Repository Key=\"E\" Local=\"1\"/>", "E");
    EXPECT_EQ(repositories->GetRepositoryItems("Dialogs/*", 1, &items),
              kv::status::kNoDataFilePath);
}

}  // namespace
