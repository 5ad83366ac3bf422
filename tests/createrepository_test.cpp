#include <gmock/gmock.h>
#include <pugixml.hpp>

#include <memory>

#include "foundation/comerror.h"
#include "repository/repositoryitems.h"
#include "repository/repositorymgr.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;
using kvtest::ReadText;
using kvtest::WriteText;
using testing::ElementsAre;

class CreateRepositoryTest : public testing::Test {
protected:
    void List(const std::string& entries) {
        WriteText(list, "<Repositories>" + entries + "</Repositories>");
    }
    long Create(const OLECHAR* key, const fs::path& dataFile) {
        created = reinterpret_cast<CRepository*>(1);
        return manager.CreateRepository(_stringx(key), _stringx(dataFile.string()), &created);
    }
    std::string PathOf(const char* key) {
        CRepository* repository = manager.GetRepository(key, true);
        _stringx path(OLESTR("<none>"));
        if (repository)
            repository->GetProperty(OLESTR("Path"), &path);
        return U8(path);
    }

    kvtest::TempTree tree;
    kvtest::RecordingStatus status;
    const std::string list = (tree / "Repos.xml").string();
    CRepositoryMgr manager{list.c_str(), &status};
    CRepository* created = nullptr;
};

TEST_F(CreateRepositoryTest, PointsTheEntryAtACopyOfTheTemplate) {
    List("<Repository Key=\"Local\" Local=\"1\"/><Repository Key=\"Network\"/>");
    const fs::path local = tree / "New Folder/Deeper/Repository.xml";
    ASSERT_EQ(Create(OLESTR("Local"), local), 0);
    ASSERT_NE(created, nullptr);
    EXPECT_TRUE(created->GetRepoDataFilePath().empty());  // built before Path was written
    EXPECT_TRUE(created->GetLocal());
    EXPECT_EQ(PathOf("Local"), local.string());
    EXPECT_NE(ReadText(local).find("<MergeModules>"), std::string::npos);
    const fs::path network = tree / "Share/Repository.xml";
    ASSERT_EQ(Create(OLESTR("Network"), network), 0);
    EXPECT_EQ(PathOf("Network"), network.string());

    // Again, elsewhere: the one entry follows; the old file stays.
    const fs::path moved = tree / "Moved/Repository.xml";
    ASSERT_EQ(Create(OLESTR("Local"), moved), 0);
    EXPECT_EQ(PathOf("Local"), moved.string());
    EXPECT_TRUE(fs::exists(local));

    // The key may come from the list that the creation reloads.
    CRepository* entry = manager.GetRepository("Network", true);
    ASSERT_NE(entry, nullptr);
    const _stringx again((tree / "Again/Repository.xml").string());
    ASSERT_EQ(manager.CreateRepository(entry->GetKey(), again, &created), 0);
    EXPECT_EQ(PathOf("Network"), U8(again));
    EXPECT_TRUE(status.messages.empty());
}

TEST_F(CreateRepositoryTest, RefusesOtherKeysAndEntriesThatAreMissing) {
    List("<Repository Key=\"Local\"/>");
    const std::string before = ReadText(list);
    const fs::path target = tree / "R/Repository.xml";
    EXPECT_EQ(Create(OLESTR("local"), target), kv::status::kBadRepositoryKey);
    EXPECT_EQ(created, nullptr);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(Create(OLESTR("Network"), target), kv::status::kRepositoryNotFound);
    EXPECT_EQ(created, nullptr);
    EXPECT_TRUE(fs::exists(target));  // the template was copied
    EXPECT_EQ(PathOf("Local"), "<none>");
    EXPECT_EQ(ReadText(list), before);
}

TEST_F(CreateRepositoryTest, TheCopyIsWritableAndReplacesWithoutAsking) {
    const std::string support = WriteText(tree / "Support/RepositoryTpl.xml", "<Repository/>");
    fs::permissions(support, kvtest::kReadOnly);
    kvtest::ScopedEnv env("KV_SUPPORT_DIR", (tree / "Support").c_str());
    List("<Repository Key=\"Local\"/>");
    const std::string target = WriteText(tree / "R/Repository.xml", "<Old/>");
    ASSERT_EQ(Create(OLESTR("Local"), target), 0);
    EXPECT_EQ(ReadText(target), "<Repository/>");
    EXPECT_NE(fs::status(target).permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_TRUE(status.asked.empty());
}

TEST_F(CreateRepositoryTest, FailuresToCopyAreReported) {
    List("<Repository Key=\"Local\"/>");
    const std::string listBefore = ReadText(list);
    WriteText(tree / "File", "x");
    EXPECT_EQ(Create(OLESTR("Local"), tree / "File/Repository.xml"),
              kv::status::kTemplateNotCopied);
    {
        // A folder that is not a rooted path cannot be made; a bare name's
        // folder is empty, and fails the same way.
        kvtest::ScopedCwd cwd(tree.root());
        EXPECT_EQ(Create(OLESTR("Local"), "rel/Repository.xml"), kv::status::kTemplateNotCopied);
        EXPECT_EQ(Create(OLESTR("Local"), "Repository.xml"), kv::status::kTemplateNotCopied);
    }
    EXPECT_EQ(ReadText(list), listBefore);
    EXPECT_FALSE(fs::exists(tree / "Repository.xml"));
    fs::create_directories(tree / "EmptySupport");
    kvtest::ScopedEnv env("KV_SUPPORT_DIR", (tree / "EmptySupport").c_str());
    const fs::path target = tree / "R/Repository.xml";
    EXPECT_EQ(Create(OLESTR("Local"), target), kv::status::kTemplateNotCopied);
    EXPECT_THAT(status.messages,
                ElementsAre("Unable to create directory " + (tree / "File").string(),
                            "Unable to create directory rel", "Unable to create directory ",
                            "Unable to create repository file " + target.string()));

    // The services component cannot answer a support folder that does not exist.
    kvtest::ScopedEnv missing("KV_SUPPORT_DIR", (tree / "NoSuchFolder").c_str());
    try {
        Create(OLESTR("Local"), tree / "R.xml");
        FAIL() << "no exception";
    } catch (CComException* e) {
        EXPECT_EQ(e->GetHResult(), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
        e->Delete();
    }
    EXPECT_FALSE(fs::exists(tree / "R.xml"));
}

// The whole life of a repository, as a caller lives it.
TEST_F(CreateRepositoryTest, CreatePublishListAndDelete) {
    List("<Repository Key=\"Local\" Local=\"1\" DisplayName=\"Mine\"/>");
    const std::string dataFile = (tree / "Repo/Repository.xml").string();
    ASSERT_EQ(Create(OLESTR("Local"), dataFile), 0);
    CRepository* repository = manager.GetRepository("Local", false);
    ASSERT_NE(repository, nullptr);

    const std::pair<std::string, std::string> published[] = {
        {"MergeModules", "Core.msm"}, {"Templates", "Base.kvt"},  {"Dialogs", "Welcome.tmp"},
        {"KVScripts", "setup.txt"},   {"SqlScripts", "init.sql"}, {"SystemSearches", "find.ini"},
    };
    WriteText(tree / "Work/Base/readme.txt", "companion");
    for (const auto& [type, file] : published) {
        CRepositoryItem* raw = nullptr;
        ASSERT_EQ(
            repository->CreateRepositoryItem(("<KVREPOSITORY>\\" + type + "\\*").c_str(), &raw), 0);
        std::unique_ptr<CRepositoryItem> item(raw);
        item->AddFile(_stringx(WriteText(tree / "Work" / file, type + " content")));
        item->PutProperty(OLESTR("DisplayName"), _stringx(type + " item"));
        ASSERT_EQ(item->Commit(), 0) << type;
    }

    std::vector<std::string> listed;
    for (const auto& [type, file] : published) {
        CRepositoryItems* raw = nullptr;
        ASSERT_EQ(repository->GetItems((type + "/*").c_str(), &raw), 0);
        std::unique_ptr<CRepositoryItems> items(raw);
        for (CRepositoryItem* item = items->MoveFirst(); item; item = items->MoveNext()) {
            _stringx name, path, parent;
            item->GetProperty(OLESTR("DisplayName"), &name);
            item->GetProperty(OLESTR("DisplayPath"), &path);
            item->GetProperty(OLESTR("ParentRepo"), &parent);
            listed.push_back(U8(name) + " | " + U8(path) + " | " + U8(parent));
        }
    }
    EXPECT_THAT(
        listed,
        ElementsAre("MergeModules item | <KVREPOSITORY>\\MergeModules\\core.msm | Mine",
                    "Templates item | <KVREPOSITORY>\\Templates\\base.kvt | Mine",
                    "Dialogs item | <KVREPOSITORY>\\Dialogs\\welcome.kvd | Mine",
                    "KVScripts item | <KVREPOSITORY>\\KVScripts\\setup.txt | Mine",
                    "SqlScripts item | <KVREPOSITORY>\\SqlScripts\\init.sql | Mine",
                    "SystemSearches item | <KVREPOSITORY>\\SystemSearches\\find.ini | Mine"));
    EXPECT_EQ(ReadText(tree / "Repo/Templates/Base/readme.txt"), "companion");

    // Delete one; its entry stays in the data file.
    CRepositoryItems* raw = nullptr;
    ASSERT_EQ(repository->GetItems("<KVREPOSITORY>\\Dialogs\\Welcome.kvd", &raw), 0);
    std::unique_ptr<CRepositoryItems> dialogs(raw);
    ASSERT_EQ(dialogs->GetCount(), 1);
    EXPECT_EQ(dialogs->GetFirst()->Delete(true), 0);
    EXPECT_FALSE(fs::exists(tree / "Repo/Dialogs/Welcome.kvd"));

    // An independent parser reads what was committed.
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(dataFile.c_str()));
    std::vector<std::string> stored;
    for (const pugi::xpath_node& node : document.select_nodes("//ItemAttrib"))
        stored.push_back(std::string(node.node().parent().parent().name()) + "/" +
                         node.node().attribute("FileName").value());
    EXPECT_THAT(stored, ElementsAre("MergeModules/core.msm", "Templates/base.kvt",
                                    "Dialogs/welcome.kvd", "KVScripts/setup.txt",
                                    "SqlScripts/init.sql", "SystemSearches/find.ini"));
    EXPECT_TRUE(status.messages.empty());
}

}  // namespace
