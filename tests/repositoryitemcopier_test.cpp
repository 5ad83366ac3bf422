// Copying items between repositories and syncing one with another: what
// comes along, what a declined overwrite leaves (nothing), the failures, and
// which items a sync plans.
#include <gmock/gmock.h>

#include <map>

#include "repo_util.h"
#include "repository/repositoryitemcopier.h"
#include "repository/repositorysync.h"

namespace {

using namespace kvtest;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

// A local repository in Local/ and a network one in Net/, each with a
// Dialogs and a Templates group; `local` and `net` are their ItemAttribs.
class CopierTest : public RepoTest {
protected:
    void Load(const std::string& localDialogs, const std::string& netTemplates = "",
              const std::string& netDialogs = "") {
        Bodies(Group("Dialogs", "Dialogs", "*.kvd", localDialogs) +
                   Group("Templates", "Templates", "*.kvt"),
               Group("Dialogs", "Dialogs", "*.kvd", netDialogs) +
                   Group("Templates", "Templates", "*.kvt", netTemplates));
    }
    // The two repositories on data files of these bodies.
    void Bodies(const std::string& localBody, const std::string& netBody) {
        Data("Local/Repository.xml", localBody);
        Data("Net/Repository.xml", netBody);
        List(Entry("Local", (tree / "Local/Repository.xml").string()) +
             Entry("Network", (tree / "Net/Repository.xml").string(), "0"));
        CRepositories* list = nullptr;
        ASSERT_EQ(manager.GetRepositories(nullptr, &list, false), 0);
        local = list->MoveFirst();
        network = list->MoveNext();
        ASSERT_NE(network, nullptr);
    }
    fs::path In(const std::string& repository, const std::string& relative) const {
        return (tree / repository / relative).make_preferred();
    }

    CRepository* local = nullptr;
    CRepository* network = nullptr;
};

TEST_F(CopierTest, CopiesEitherWayWithStoredPropertiesButNotLocalCopyAndTemplateFolders) {
    WriteText(tree / "Local/Dialogs/Welcome.kvd", "welcome");
    WriteText(tree / "Local/Dialogs/bare.kvd", "bare");
    const std::string storedCopy = In("Local", "Dialogs/Welcome.kvd").string();
    Load(
        "<ItemAttrib FileName=\"welcome.kvd\" DisplayName=\"Welcome\" Version=\"1.0\" "
        "LocalCopy=\"" +
            storedCopy + "\"/>",
        "<ItemAttrib FileName=\"base.kvt\" DisplayName=\"Base\"/>"
        "<ItemAttrib FileName=\"foo.kvt\" Author=\"Ana\"/>");
    WriteText(tree / "Net/Templates/base/base.kvt", "whole");
    WriteText(tree / "Net/Templates/base/Parts/part.txt", "part");
    WriteText(tree / "Net/Templates/foo.kvt", "foo");
    WriteText(tree / "Net/Templates/foo/inc.txt", "inc");

    // Local to network: the stored properties, not the stored LocalCopy.
    CRepositoryItemCopier toNetwork(local, network);
    CRepositoryItemCopier::Copied copied;
    ASSERT_EQ(toNetwork.Copy("<KVREPOSITORY>\\Dialogs\\welcome.kvd", &copied), 0);
    EXPECT_EQ(U8(copied.displayPath), "<KVREPOSITORY>\\Dialogs\\welcome.kvd");
    EXPECT_EQ(U8(copied.targetFile), In("Net", "Dialogs/Welcome.kvd").string());
    EXPECT_FALSE(copied.replaced);
    EXPECT_EQ(ReadText(tree / "Net/Dialogs/Welcome.kvd"), "welcome");
    EXPECT_THAT(ReadText(tree / "Net/Repository.xml"), testing::Not(HasSubstr("LocalCopy")));
    EXPECT_THAT(Describe(Items(network, "Dialogs/*").get(),
                         {OLESTR("DisplayName"), OLESTR("Version"), OLESTR("LocalCopy")}),
                ElementsAre("Welcome | 1.0 | " + In("Net", "Dialogs/Welcome.kvd").string()));
    // A file listed without an element brings the name its listing gave it.
    ASSERT_EQ(toNetwork.Copy("<KVREPOSITORY>\\Dialogs\\bare.kvd"), 0);
    EXPECT_EQ(Prop(*Items(network, "<KVREPOSITORY>\\Dialogs\\bare.kvd")->GetFirst(),
                   OLESTR("DisplayName")),
              "bare.kvd");

    // Network to local: a template in its own folder and one with a companion.
    CRepositoryItemCopier toLocal(network, local);
    ASSERT_EQ(toLocal.Copy("<KVREPOSITORY>\\Templates\\base.kvt", &copied), 0);
    EXPECT_EQ(U8(copied.targetFile), In("Local", "Templates/base/base.kvt").string());
    ASSERT_EQ(toLocal.Copy("<KVREPOSITORY>\\Templates\\foo.kvt"), 0);
    EXPECT_EQ(ReadText(tree / "Local/Templates/base/base.kvt"), "whole");
    EXPECT_EQ(ReadText(tree / "Local/Templates/base/Parts/part.txt"), "part");
    EXPECT_EQ(ReadText(tree / "Local/Templates/foo.kvt"), "foo");
    EXPECT_EQ(ReadText(tree / "Local/Templates/foo/inc.txt"), "inc");
    EXPECT_THAT(Describe(Items(local, "Templates/*").get(),
                         {OLESTR("FileName"), OLESTR("DisplayName"), OLESTR("Author")}),
                ElementsAre("base.kvt | Base | <-101>", "foo.kvt | <-101> | Ana"));
    // Nothing was there, so nothing was asked but the whole folder's question.
    EXPECT_THAT(status.asked, ElementsAre("folder " + In("Local", "Templates/base").string()));
}

TEST_F(CopierTest, ADeclinedOverwriteChangesNothingAnAcceptedOneReplacesAskingOnce) {
    WriteText(tree / "Local/Dialogs/a.kvd", "new");
    WriteText(tree / "Net/Dialogs/a.kvd", "old");
    WriteText(tree / "Local/Templates/t/t.kvt", "new template");
    WriteText(tree / "Net/Templates/t/t.kvt", "old template");
    Load("<ItemAttrib FileName=\"a.kvd\" Version=\"2\"/>", "",
         "<ItemAttrib FileName=\"a.kvd\" Version=\"1\" Owner=\"Bo\"/>");
    CRepositoryItemCopier copier(local, network);
    const auto before = Tree(tree / "Net");

    status.allowFiles = status.allowFolders = false;
    EXPECT_EQ(copier.Copy("<KVREPOSITORY>\\Dialogs\\a.kvd"), kv::status::kFileOverwriteDeclined);
    EXPECT_EQ(copier.Copy("<KVREPOSITORY>\\Templates\\t.kvt"),
              kv::status::kFolderOverwriteDeclined);
    EXPECT_EQ(Tree(tree / "Net"), before);  // byte for byte, and no lock file

    status.asked.clear();
    status.allowFiles = status.allowFolders = true;
    CRepositoryItemCopier::Copied copied;
    ASSERT_EQ(copier.Copy("<KVREPOSITORY>\\Dialogs\\a.kvd", &copied), 0);
    EXPECT_TRUE(copied.replaced);
    ASSERT_EQ(copier.Copy("<KVREPOSITORY>\\Templates\\t.kvt"), 0);
    EXPECT_EQ(ReadText(tree / "Net/Dialogs/a.kvd"), "new");
    EXPECT_EQ(ReadText(tree / "Net/Templates/t/t.kvt"), "new template");
    // Copied properties replace theirs; the destination's others stay.
    EXPECT_THAT(Describe(Items(network, "Dialogs/*").get(), {OLESTR("Version"), OLESTR("Owner")}),
                ElementsAre("2 | Bo"));
    EXPECT_THAT(status.asked, ElementsAre("file " + In("Net", "Dialogs/a.kvd").string(),
                                          "folder " + In("Net", "Templates/t").string()));
}

TEST_F(CopierTest, MissingItemsOtherFailuresAndCopiesOntoItselfWriteNothing) {
    WriteText(tree / "Local/Dialogs/gone.kvd", "x");
    WriteText(tree / "Local/Dialogs/stray.kvd", "x");
    WriteText(tree / "outside.kvd", "secret");
    Load("<ItemAttrib FileName=\"stray.kvd\" LocalCopy=\"" + (tree / "outside.kvd").string() +
         "\"/>");
    CRepositoryItemCopier copier(local, network);
    const auto before = Tree(tree / "Net");

    EXPECT_EQ(copier.Copy("<KVREPOSITORY>\\Dialogs\\none.kvd"), ERROR_FILE_NOT_FOUND);
    auto listed = Items(local, "<KVREPOSITORY>\\Dialogs\\gone.kvd");
    fs::remove(tree / "Local/Dialogs/gone.kvd");  // listed, then deleted
    EXPECT_EQ(copier.Copy(*listed->GetFirst()), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(copier.Copy("<KVREPOSITORY>\\Dialogs\\stray.kvd"), E_ACCESSDENIED);
    EXPECT_EQ(copier.Copy("Dialogs/*"), E_INVALIDARG);
    EXPECT_EQ(copier.Copy(nullptr), E_INVALIDARG);
    EXPECT_EQ(CRepositoryItemCopier(local, local).Copy("<KVREPOSITORY>\\Dialogs\\stray.kvd"),
              E_INVALIDARG);
    EXPECT_EQ(Tree(tree / "Net"), before);

    // A destination whose data file does not parse: its own status and message.
    WriteText(tree / "Local/Dialogs/ok.kvd", "x");
    WriteText(tree / "Net/Repository.xml", "<Repository");
    EXPECT_EQ(copier.Copy("<KVREPOSITORY>\\Dialogs\\ok.kvd"), kv::status::kNotOpened);
    EXPECT_FALSE(fs::exists(tree / "Net/Dialogs/ok.kvd"));
    EXPECT_THAT(status.messages, ElementsAre(HasSubstr("Net")));
}

// A copy is made only where the destination's listing will find it: no group
// of the type, a group whose folder a publication cannot reach, patterns
// that do not match, and a source group whose Key names no type or another
// one are refused with the reason, writing nothing.
TEST_F(CopierTest, CopiesTheDestinationWouldNotListAreRefused) {
    WriteText(tree / "Local/Dialogs/a.kvd", "a");
    const std::string dialogs = Group("Dialogs", "Dialogs", "*.kvd");
    const auto refused = [&](const std::string& netBody, const std::string& localBody) {
        Bodies(localBody, netBody);
        const auto before = Tree(tree / "Net");
        CRepositoryItemCopier::Copied copied;
        EXPECT_EQ(
            CRepositoryItemCopier(local, network).Copy("<KVREPOSITORY>\\Dialogs\\a.kvd", &copied),
            E_INVALIDARG);
        EXPECT_EQ(Tree(tree / "Net"), before);
        // A sync knows it when it plans, and copies nothing for it.
        CRepositorySync sync(local, network);
        std::vector<CRepositorySync::Entry> plan;
        EXPECT_EQ(sync.Plan(_stringx(OLESTR("Dialogs")), false, plan), 0);
        EXPECT_EQ(plan.size(), 1u);
        EXPECT_EQ(sync.Apply(plan), E_INVALIDARG);
        EXPECT_EQ(plan.empty() ? "" : U8(plan[0].copied.problem), U8(copied.problem));
        EXPECT_EQ(Tree(tree / "Net"), before);
        return U8(copied.problem);
    };
    EXPECT_EQ(refused(Group("Templates", "Templates", "*.kvt"), dialogs),
              "the destination cannot list it: it has no Dialogs group with a Wildcard");
    EXPECT_THAT(refused(Group("Dialogs", "Forms", "*.kvd"), dialogs), HasSubstr("Name \"Forms\""));
    EXPECT_THAT(refused(Group("Dialogs", "Dialogs", "*.dlg"), dialogs),
                HasSubstr("Wildcard \"*.dlg\""));
    const std::string custom =
        "<Dialogs><RepoItem Name=\"Dialogs\" Key=\"Custom\" Wildcard=\"*.kvd\"/></Dialogs>";
    EXPECT_EQ(refused(dialogs, custom),
              "the source's group of the item has Key \"Custom\", which names no item type, not "
              "Dialogs: set that group's Key to Dialogs");
}

// An item that differs replaces the file the destination lists, in the
// group folder it lies in and in its own letter case, never a second copy.
TEST_F(CopierTest, AnUpdateReplacesTheFileTheDestinationLists) {
    WriteText(tree / "Local/Dialogs/a.kvd", "new a");
    WriteText(tree / "Local/Dialogs/b.kvd", "new b");
    WriteText(tree / "Net/Dialogs/A.KVD", "old a");
    WriteText(tree / "Net/More/Dialogs/b.kvd", "old b");
    Bodies(Group("Dialogs", "Dialogs", "*.kvd"),
           "<Dialogs><RepoItem Name=\"Dialogs\" Key=\"Dialogs\" Wildcard=\"*.kvd\"/>"
           "<RepoItem Name=\"More\\Dialogs\" Key=\"Dialogs\" Wildcard=\"*.kvd\"/></Dialogs>");
    CRepositorySync sync(local, network);
    std::vector<CRepositorySync::Entry> plan;
    ASSERT_EQ(sync.Plan(_stringx(), true, plan), 0);
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(sync.Apply(plan), 0);
    for (const CRepositorySync::Entry& entry : plan)
        EXPECT_TRUE(entry.copied.replaced) << U8(entry.fileName);
    EXPECT_EQ(ReadText(tree / "Net/Dialogs/A.KVD"), "new a");
    EXPECT_EQ(ReadText(tree / "Net/More/Dialogs/b.kvd"), "new b");
    EXPECT_FALSE(fs::exists(tree / "Net/Dialogs/b.kvd"));
    EXPECT_THAT(Describe(Items(network, "Dialogs/*").get(), {OLESTR("FileName")}),
                ElementsAre("a.kvd", "b.kvd"));
    // A single copy does the same.
    WriteText(tree / "Local/Dialogs/b.kvd", "newer b");
    EXPECT_EQ(CRepositoryItemCopier(local, network).Copy("<KVREPOSITORY>\\Dialogs\\b.kvd"), 0);
    EXPECT_EQ(ReadText(tree / "Net/More/Dialogs/b.kvd"), "newer b");
    EXPECT_FALSE(fs::exists(tree / "Net/Dialogs/b.kvd"));
}

TEST_F(CopierTest, SyncPlansWhatIsMissingAndWithUpdateWhatDiffersByContent) {
    for (const char* name : {"same.kvd", "changed.kvd", "new.kvd"})
        WriteText(tree / "Local/Dialogs" / name, std::string("local ") + name);
    WriteText(tree / "Net/Dialogs/same.kvd", "local same.kvd");  // newer, same bytes
    WriteText(tree / "Net/Dialogs/changed.kvd", "other bytes");
    WriteText(tree / "Net/Dialogs/extra.kvd", "only here");
    // Same template file, companion folders that differ in one file.
    WriteText(tree / "Local/Templates/t.kvt", "t");
    WriteText(tree / "Local/Templates/t/inc.txt", "one");
    WriteText(tree / "Net/Templates/t.kvt", "t");
    WriteText(tree / "Net/Templates/t/inc.txt", "two");
    Load("");
    CRepositorySync sync(local, network);
    const auto plan = [&](const _stringx& type, bool update) {
        std::vector<CRepositorySync::Entry> entries;
        EXPECT_EQ(sync.Plan(type, update, entries), 0);
        std::vector<std::string> lines;
        for (const auto& entry : entries)
            lines.push_back(std::string(CRepositorySync::GetReasonName(entry.reason)) + " " +
                            U8(entry.type) + " " + U8(entry.fileName));
        return lines;
    };
    const auto before = Tree(tree.root());
    EXPECT_THAT(plan(_stringx(), false), ElementsAre("missing Dialogs new.kvd"));
    EXPECT_THAT(plan(_stringx(), true),
                ElementsAre("differs Dialogs changed.kvd", "missing Dialogs new.kvd",
                            "differs Templates t.kvt"));
    EXPECT_THAT(plan(_stringx(OLESTR("Templates")), false), IsEmpty());
    EXPECT_EQ(Tree(tree.root()), before);  // planning reads only
    std::vector<CRepositorySync::Entry> entries;
    EXPECT_EQ(sync.Plan(_stringx(OLESTR("Dialog")), false, entries), E_INVALIDARG);

    // Applied: declined replacements are recorded, changing nothing (not even
    // the companion folder that publishing deletes before its question), and
    // the rest goes on.
    ASSERT_EQ(sync.Plan(_stringx(), true, entries), 0);
    status.allowFiles = false;
    EXPECT_EQ(sync.Apply(entries), kv::status::kFileOverwriteDeclined);
    EXPECT_EQ(entries[0].status, kv::status::kFileOverwriteDeclined);
    EXPECT_EQ(entries[1].status, 0);
    EXPECT_EQ(entries[2].status, kv::status::kFileOverwriteDeclined);
    EXPECT_EQ(ReadText(tree / "Net/Dialogs/new.kvd"), "local new.kvd");
    EXPECT_EQ(ReadText(tree / "Net/Dialogs/changed.kvd"), "other bytes");
    EXPECT_EQ(ReadText(tree / "Net/Templates/t/inc.txt"), "two");
    status.allowFiles = true;
    ASSERT_EQ(sync.Plan(_stringx(), true, entries), 0);
    EXPECT_EQ(sync.Apply(entries), 0);
    EXPECT_THAT(plan(_stringx(), true), IsEmpty());
    EXPECT_EQ(ReadText(tree / "Net/Templates/t/inc.txt"), "one");
    EXPECT_TRUE(fs::exists(tree / "Net/Dialogs/extra.kvd"));  // never removed
}

}  // namespace
