#include <gmock/gmock.h>

#include "foundation/comerror.h"
#include "repo_util.h"
#include "repository/repositoryverifier.h"

namespace {

using namespace kvtest;
using testing::ElementsAre;

class CreateRepositoryTest : public RepoTest {
protected:
    long Create(const OLECHAR* key, const fs::path& dataFile) {
        created = reinterpret_cast<CRepository*>(1);
        return manager.CreateRepository(_stringx(key), _stringx(dataFile.string()), &created);
    }
    std::string PathOf(const char* key) {
        CRepository* repository = manager.GetRepository(key, true);
        return repository ? Prop(*repository, OLESTR("Path")) : "<none>";
    }

    CRepository* created = nullptr;
};

TEST_F(CreateRepositoryTest, PointsTheEntryAtACopyOfTheTemplate) {
    List("<Repository Key=\"Local\" Local=\"1\"/><Repository Key=\"Network\"/>");
    const fs::path local = tree / "New Folder" / "Deeper" / "Repository.xml";
    ASSERT_EQ(Create(OLESTR("Local"), local), 0);
    ASSERT_NE(created, nullptr);
    EXPECT_TRUE(created->GetRepoDataFilePath().empty());  // built before Path was written
    EXPECT_TRUE(created->GetLocal());
    EXPECT_EQ(PathOf("Local"), local.string());
    EXPECT_NE(ReadText(local).find("<MergeModules>"), std::string::npos);
    // With the folders of its groups: a new repository verifies clean.
    for (const char* folder :
         {"MergeModules", "Templates", "Dialogs", "KVScripts", "SqlScripts", "SystemSearches"})
        EXPECT_TRUE(fs::is_directory(local.parent_path() / folder)) << folder;
    std::vector<CRepositoryVerifier::Finding> findings;
    EXPECT_EQ(CRepositoryVerifier(manager.GetRepository("Local", false)).Verify(findings), 0);
    EXPECT_TRUE(findings.empty());

    // Again, elsewhere: the one entry follows; the old file stays.
    const fs::path moved = tree / "Moved" / "Repository.xml";
    ASSERT_EQ(Create(OLESTR("Local"), moved), 0);
    EXPECT_EQ(PathOf("Local"), moved.string());
    EXPECT_TRUE(fs::exists(local));

    // The key may come from the list that the creation reloads.
    CRepository* entry = manager.GetRepository("Network", true);
    ASSERT_NE(entry, nullptr);
    const _stringx again((tree / "Again" / "Repository.xml").string());
    ASSERT_EQ(manager.CreateRepository(entry->GetKey(), again, &created), 0);
    EXPECT_EQ(PathOf("Network"), U8(again));
    EXPECT_TRUE(status.messages.empty());
}

TEST_F(CreateRepositoryTest, RefusesOtherKeysAndEntriesThatAreMissing) {
    List("<Repository Key=\"Local\"/>");
    const std::string before = ReadText(list);
    const fs::path target = tree / "R" / "Repository.xml";
    EXPECT_EQ(Create(OLESTR("local"), target), kv::status::kBadRepositoryKey);
    EXPECT_EQ(created, nullptr);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(Create(OLESTR("Network"), target), kv::status::kRepositoryNotFound);
    EXPECT_EQ(created, nullptr);
    EXPECT_TRUE(fs::exists(target));  // the template was copied
    EXPECT_EQ(PathOf("Local"), "<-101>");
    EXPECT_EQ(ReadText(list), before);
}

TEST_F(CreateRepositoryTest, TheCopyIsWritableAndReplacesWithoutAsking) {
    const std::string support = WriteText(tree / "Support" / "RepositoryTpl.xml", "<Repository/>");
    SetPerms(support, kReadOnly);
    ScopedEnv env("KV_SUPPORT_DIR", tree / "Support");
    List("<Repository Key=\"Local\"/>");
    const std::string target = WriteText(tree / "R" / "Repository.xml", "<Old/>");
    ASSERT_EQ(Create(OLESTR("Local"), target), 0);
    EXPECT_EQ(ReadText(target), "<Repository/>");
    EXPECT_NE(Perms(target) & fs::perms::owner_write, fs::perms::none);
    EXPECT_TRUE(status.asked.empty());
}

// Failures to copy the template or make its folders are reported, before
// the list is written.
TEST_F(CreateRepositoryTest, FailuresToCopyAreReported) {
    List("<Repository Key=\"Local\"/>");
    const std::string listBefore = ReadText(list);
    // A file stands where a group folder would be.
    WriteText(tree / "G" / "Dialogs", "a file");
    EXPECT_EQ(Create(OLESTR("Local"), tree / "G" / "Repository.xml"),
              kv::status::kFolderNotCreated);
    EXPECT_EQ(created, nullptr);
    WriteText(tree / "File", "x");
    EXPECT_EQ(Create(OLESTR("Local"), tree / "File" / "Repository.xml"),
              kv::status::kTemplateNotCopied);
    {
        // A folder that is not a rooted path cannot be made; a bare name's
        // folder is empty, and fails the same way.
        ScopedCwd cwd(tree.root());
        EXPECT_EQ(Create(OLESTR("Local"), "rel/Repository.xml"), kv::status::kTemplateNotCopied);
        EXPECT_EQ(Create(OLESTR("Local"), "Repository.xml"), kv::status::kTemplateNotCopied);
    }
    EXPECT_EQ(ReadText(list), listBefore);
    EXPECT_FALSE(fs::exists(tree / "Repository.xml"));
    fs::create_directories(tree / "EmptySupport");
    ScopedEnv env("KV_SUPPORT_DIR", tree / "EmptySupport");
    const fs::path target = tree / "R" / "Repository.xml";
    EXPECT_EQ(Create(OLESTR("Local"), target), kv::status::kTemplateNotCopied);
    EXPECT_THAT(status.messages,
                ElementsAre("Unable to create directory " + (tree / "G" / "Dialogs").string(),
                            "Unable to create directory " + (tree / "File").string(),
                            "Unable to create directory rel", "Unable to create directory ",
                            "Unable to create repository file " + target.string()));

    // The services component cannot answer a support folder that does not exist.
    ScopedEnv missing("KV_SUPPORT_DIR", tree / "NoSuchFolder");
    try {
        Create(OLESTR("Local"), tree / "R.xml");
        FAIL() << "no exception";
    } catch (CComException* e) {
        EXPECT_EQ(e->GetHResult(), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
        e->Delete();
    }
    EXPECT_FALSE(fs::exists(tree / "R.xml"));
}

}  // namespace
