#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <filesystem>
#include <memory>

#include "foundation/comerror.h"
#include "repository/repositoryitems.h"
#include "repository/repositorymgr.h"
#include "xml_test_util.h"

namespace {

namespace fs = std::filesystem;
using kvtest::ReadText;
using kvtest::WriteText;
using testing::ElementsAre;

class CreateRepositoryTest : public testing::Test {
protected:
    std::string List(const std::string& entries) {
        return WriteText(tree / "Repos.xml", "<Repositories>" + entries + "</Repositories>");
    }
    std::string PathOf(CRepositoryMgr& manager, const char* key) {
        CRepository* repository = manager.GetRepository(key, true);
        _stringx path(u"<none>");
        if (repository)
            repository->GetProperty(_stringx(u"Path"), &path);
        return U8(path);
    }

    kvtest::TempTree tree;
    kvtest::RecordingStatus status;
};

TEST_F(CreateRepositoryTest, PointsTheEntryAtACopyOfTheTemplate) {
    const std::string list =
        List("<Repository Key=\"Local\" Local=\"1\"/><Repository Key=\"Network\"/>");
    CRepositoryMgr manager(list.c_str(), &status);
    const std::string local = (tree / "New Folder" / "Deeper" / "Repository.xml").string();
    CRepository* created = nullptr;
    ASSERT_EQ(manager.CreateRepository(_stringx(u"Local"), _stringx(local), &created), 0);
    ASSERT_NE(created, nullptr);
    EXPECT_TRUE(created->GetRepoDataFilePath().empty());  // built before Path was written
    EXPECT_TRUE(created->GetLocal());
    EXPECT_EQ(PathOf(manager, "Local"), local);
    EXPECT_NE(ReadText(local).find("<MergeModules>"), std::string::npos);

    const std::string network = (tree / "Share" / "Repository.xml").string();
    ASSERT_EQ(manager.CreateRepository(_stringx(u"Network"), _stringx(network), &created), 0);
    EXPECT_EQ(PathOf(manager, "Network"), network);

    // Again, elsewhere: the one entry follows; the old file stays.
    const std::string moved = (tree / "Moved" / "Repository.xml").string();
    ASSERT_EQ(manager.CreateRepository(_stringx(u"Local"), _stringx(moved), &created), 0);
    EXPECT_EQ(PathOf(manager, "Local"), moved);
    EXPECT_TRUE(fs::exists(local));
    EXPECT_TRUE(status.messages.empty());
}

TEST_F(CreateRepositoryTest, RefusesOtherKeysAndEntriesThatAreMissing) {
    const std::string list = List("<Repository Key=\"Local\"/>");
    const std::string before = ReadText(list);
    CRepositoryMgr manager(list.c_str(), &status);
    CRepository* created = reinterpret_cast<CRepository*>(1);
    const std::string target = (tree / "R" / "Repository.xml").string();
    EXPECT_EQ(manager.CreateRepository(_stringx(u"local"), _stringx(target), &created), -114);
    EXPECT_EQ(created, nullptr);
    EXPECT_FALSE(fs::exists(target));

    EXPECT_EQ(manager.CreateRepository(_stringx(u"Network"), _stringx(target), &created), -113);
    EXPECT_EQ(created, nullptr);
    EXPECT_TRUE(fs::exists(target));  // the template was copied
    EXPECT_EQ(PathOf(manager, "Local"), "<none>");
    EXPECT_EQ(ReadText(list), before);
}

TEST_F(CreateRepositoryTest, TheCopyIsWritableAndReplacesWithoutAsking) {
    const std::string support = WriteText(tree / "Support" / "RepositoryTpl.xml", "<Repository/>");
    fs::permissions(support, fs::perms::owner_read | fs::perms::group_read);
    kvtest::ScopedEnv env("KV_SUPPORT_DIR", (tree / "Support").c_str());
    const std::string list = List("<Repository Key=\"Local\"/>");
    const std::string target = WriteText(tree / "R" / "Repository.xml", "<Old/>");
    CRepositoryMgr manager(list.c_str(), &status);
    CRepository* created = nullptr;
    ASSERT_EQ(manager.CreateRepository(_stringx(u"Local"), _stringx(target), &created), 0);
    EXPECT_EQ(ReadText(target), "<Repository/>");
    EXPECT_TRUE((fs::status(target).permissions() & fs::perms::owner_write) != fs::perms::none);
}

TEST_F(CreateRepositoryTest, FailuresToCopyAreReported) {
    const std::string list = List("<Repository Key=\"Local\"/>");
    CRepositoryMgr manager(list.c_str(), &status);
    WriteText(tree / "File", "x");
    const std::string blocked = (tree / "File" / "Repository.xml").string();
    CRepository* created = nullptr;
    EXPECT_EQ(manager.CreateRepository(_stringx(u"Local"), _stringx(blocked), &created), -111);

    fs::create_directories(tree / "EmptySupport");
    kvtest::ScopedEnv env("KV_SUPPORT_DIR", (tree / "EmptySupport").c_str());
    const std::string target = (tree / "R" / "Repository.xml").string();
    EXPECT_EQ(manager.CreateRepository(_stringx(u"Local"), _stringx(target), &created), -111);
    EXPECT_THAT(status.messages,
                ElementsAre("Unable to create directory " + (tree / "File").string(),
                            "Unable to create repository file " + target));
}

TEST_F(CreateRepositoryTest, WithoutTheServicesComponentAComExceptionLeaves) {
    const std::string list = List("<Repository Key=\"Local\"/>");
    CRepositoryMgr manager(list.c_str(), &status);
    // The services component cannot answer a support folder that does not exist.
    kvtest::ScopedEnv env("KV_SUPPORT_DIR", (tree / "NoSuchFolder").c_str());
    CRepository* created = nullptr;
    try {
        manager.CreateRepository(_stringx(u"Local"), _stringx((tree / "R.xml").string()), &created);
        FAIL() << "no exception";
    } catch (CComException* e) {
        EXPECT_EQ(e->GetHResult(), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
        e->Delete();
    }
    EXPECT_FALSE(fs::exists(tree / "R.xml"));
}

// The whole life of a repository, as a caller lives it.
TEST_F(CreateRepositoryTest, CreatePublishListAndDelete) {
    const std::string list = List("<Repository Key=\"Local\" Local=\"1\" DisplayName=\"Mine\"/>");
    CRepositoryMgr manager(list.c_str(), &status);
    const std::string dataFile = (tree / "Repo" / "Repository.xml").string();
    CRepository* created = nullptr;
    ASSERT_EQ(manager.CreateRepository(_stringx(u"Local"), _stringx(dataFile), &created), 0);
    CRepository* repository = manager.GetRepository("Local", false);
    ASSERT_NE(repository, nullptr);

    const std::pair<const char*, std::string> published[] = {
        {"MergeModules", "Core.msm"}, {"Templates", "Base.kvt"},  {"Dialogs", "Welcome.tmp"},
        {"KVScripts", "setup.txt"},   {"SqlScripts", "init.sql"}, {"SystemSearches", "find.ini"},
    };
    WriteText(tree / "Work" / "Base" / "readme.txt", "companion");
    for (const auto& [type, file] : published) {
        const std::string source = WriteText(tree / "Work" / file, std::string(type) + " content");
        CRepositoryItem* raw = nullptr;
        ASSERT_EQ(repository->CreateRepositoryItem(
                      ("<KVREPOSITORY>\\" + std::string(type) + "\\*").c_str(), &raw),
                  0);
        std::unique_ptr<CRepositoryItem> item(raw);
        item->AddFile(_stringx(source));
        item->PutProperty(_stringx(u"DisplayName"), _stringx(std::string(type) + " item"));
        ASSERT_EQ(item->Commit(), 0) << type;
    }

    std::vector<std::string> listed;
    for (const auto& [type, file] : published) {
        CRepositoryItems* raw = nullptr;
        ASSERT_EQ(repository->GetItems((std::string(type) + "/*").c_str(), &raw), 0);
        std::unique_ptr<CRepositoryItems> items(raw);
        for (CRepositoryItem* item = items->MoveFirst(); item; item = items->MoveNext()) {
            _stringx name, path, parent;
            item->GetProperty(_stringx(u"DisplayName"), &name);
            item->GetProperty(_stringx(u"DisplayPath"), &path);
            item->GetProperty(_stringx(u"ParentRepo"), &parent);
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
    EXPECT_EQ(ReadText(tree / "Repo" / "Templates" / "Base" / "readme.txt"), "companion");

    // Delete one; its entry stays in the data file.
    CRepositoryItems* raw = nullptr;
    ASSERT_EQ(repository->GetItems("<KVREPOSITORY>\\Dialogs\\Welcome.kvd", &raw), 0);
    std::unique_ptr<CRepositoryItems> dialogs(raw);
    ASSERT_EQ(dialogs->GetCount(), 1);
    EXPECT_EQ(dialogs->GetFirst()->Delete(true), 0);
    EXPECT_FALSE(fs::exists(tree / "Repo" / "Dialogs" / "Welcome.kvd"));

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
