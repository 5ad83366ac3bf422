// Verifying a repository: every kind of finding with its subject, leftovers
// and duplicates, data files that do not load, and that nothing is written.

#include <gmock/gmock.h>

#include <map>

#include "foundation/platform/text.h"
#include "foundation/temporaryfiles.h"
#include "repo_util.h"
#include "repository/repositoryverifier.h"

namespace {

using namespace kvtest;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::UnorderedElementsAre;

class VerifierTest : public OneRepoTest {
protected:
    // "kind type subject" per finding, in order; every run must leave the
    // tree as it found it.
    std::vector<std::string> Found(long expected = 0) {
        const auto before = Tree(tree.root());
        std::vector<CRepositoryVerifier::Finding> findings(1);  // replaced, not appended to
        EXPECT_EQ(CRepositoryVerifier(repository).Verify(findings), expected);
        EXPECT_EQ(Tree(tree.root()), before);
        std::vector<std::string> lines;
        for (const CRepositoryVerifier::Finding& finding : findings) {
            lines.push_back(std::string(CRepositoryVerifier::GetKindName(finding.kind)) + " " +
                            U8(finding.type) + " " + U8(finding.subject));
            EXPECT_FALSE(finding.detail.empty()) << lines.back();
        }
        return lines;
    }
    // The detail of the first finding whose subject is `subject`.
    std::string Detail(const std::string& subject) {
        std::vector<CRepositoryVerifier::Finding> findings;
        CRepositoryVerifier(repository).Verify(findings);
        for (const CRepositoryVerifier::Finding& finding : findings)
            if (U8(finding.subject) == subject)
                return U8(finding.detail);
        return "<none>";
    }
};

TEST_F(VerifierTest, ARepositoryThatMatchesItsFoldersHasNoFindings) {
    // Files keep their own case; entries name them lower-cased. A template in
    // a folder of its own, a group without Wildcard (the catalogue ignores
    // it, folder or not), two groups in one folder, a comment.
    Load(Group("Dialogs", "Dialogs", "*.kvd",
               "<ItemAttrib FileName=\"welcome.kvd\" DisplayName=\"Welcome\"/>"
               "<ItemAttrib FileName=\"finish.kvd\"/>") +
         "<Templates><!-- shipped --><RepoItem Name=\"Templates\" Key=\"Templates\" "
         "Wildcard=\"*.kvt\"><ItemAttrib FileName=\"basic.kvt\"/></RepoItem>"
         "<RepoItem Name=\"Gone\" Key=\"Templates\"/></Templates>"
         "<SqlScripts><RepoItem Name=\"Scripts\" Key=\"SqlScripts\" Wildcard=\"*.sql\">"
         "<ItemAttrib FileName=\"a.sql\"/></RepoItem>"
         "<RepoItem Name=\"Scripts\" Key=\"SqlScripts\" Wildcard=\"*.txt\">"
         "<ItemAttrib FileName=\"b.txt\"/></RepoItem></SqlScripts>" +
         Group("MergeModules", "", "*.msm", "<ItemAttrib FileName=\"core.msm\"/>"));
    for (const char* name : {"Dialogs/Welcome.kvd", "Dialogs/finish.kvd", "Dialogs/notes.txt",
                             "Templates/Basic/Basic.kvt", "Scripts/a.sql", "Scripts/b.txt",
                             "core.msm", ".Repository.xml.lock"})
        File(name);
    EXPECT_THAT(Found(), IsEmpty());
}

TEST_F(VerifierTest, EachDriftIsFoundWithItsSubject) {
    // An absolute FileName, lower-cased as stored ("c:\users\..." on Windows).
    const std::string outside = U8(kv::LowerFileName(_stringx(Native(tree / "outside.kvd"))));
    Load(
        // An entry with no file, one stored with capitals, two that differ only
        // in case, paths that leave, and a LocalCopy outside.
        "<Dialogs><RepoItem Name=\"Dialogs\" Key=\"Dialogs\" Wildcard=\"*.kvd\">"
        "<ItemAttrib FileName=\"gone.kvd\"/>"
        "<ItemAttrib FileName=\"License.kvd\"/>"
        "<ItemAttrib FileName=\"Pair.kvd\"/><ItemAttrib FileName=\"pair.kvd\"/>"
        "<ItemAttrib FileName=\"../../x.kvd\"/>"
        "<ItemAttrib FileName=\"" +
        outside +
        "\"/>"
        "<ItemAttrib FileName=\"shown.kvd\" LocalCopy=\"../outside.kvd\"/>"
        "</RepoItem>"
        // A second folder of the type: one name in two cases across folders.
        "<RepoItem Name=\"More\\Dialogs\" Key=\"Dialogs\" Wildcard=\"*.kvd\"/>"
        "<RepoItem Name=\"../../elsewhere\" Key=\"Far\" Wildcard=\"*.kvd\"/>"
        "</Dialogs>" +
        Group("SystemSearches", "SystemSearches", "*.ini") +
        // An unlisted template in a sub-folder, named with "/".
        Group("Templates", "Templates", "*.kvt"));
    for (const char* name :
         {"Dialogs/license.kvd", "Dialogs/pair.kvd", "Dialogs/shown.kvd", "Dialogs/Twin.kvd",
          "More/Dialogs/twin.kvd", "Templates/Base/Base.kvt"})
        File(name);
    EXPECT_THAT(
        Found(),
        UnorderedElementsAre(
            "missing-folder SystemSearches SystemSearches", "group-key Dialogs ../../elsewhere",
            "outside-repository Dialogs ../../elsewhere", "case-conflict Dialogs Dialogs/Twin.kvd",
            "missing-file Dialogs gone.kvd", "not-lower-case Dialogs License.kvd",
            "not-lower-case Dialogs Pair.kvd", "outside-repository Dialogs ../../x.kvd",
            "outside-repository Dialogs " + outside, "outside-repository Dialogs ../outside.kvd",
            // One finding for the file whose entry is not lower case.
            "case-conflict Dialogs Pair.kvd", "unlisted-file Dialogs Dialogs/Twin.kvd",
            "unlisted-file Templates Templates/Base/Base.kvt"));
    EXPECT_EQ(Detail("SystemSearches"), "the folder of group 'SystemSearches' is missing");
    EXPECT_EQ(Detail("Dialogs/Twin.kvd"),
              "files Twin.kvd and twin.kvd differ only in letter case and share one entry");
    EXPECT_EQ(Detail("License.kvd"),
              "FileName is not lower case, so the catalogue never matches it: Dialogs/license.kvd "
              "is listed without these properties; write it lower-cased");
    EXPECT_EQ(Detail("../../elsewhere"), "the folder of group 'Far' leads outside the repository");
    EXPECT_EQ(Detail("gone.kvd"), "the entry's file is missing");

    // Two files of one folder that differ only in case, where a folder can
    // hold them.
    if (!kv::platform::kFileNamesIgnoreCase) {
        File("Dialogs/Pair.kvd");
        EXPECT_THAT(Found(), testing::Contains("case-conflict Dialogs Dialogs/Pair.kvd"));
    }
}

TEST_F(VerifierTest, LinksThatLeadOutAreFoundOnceEach) {
    if (kvtest::kNoSymlinks)
        GTEST_SKIP() << kvtest::kNoSymlinks;
    WriteText(tree / "Outside/Dialogs/a.kvd", "a");
    WriteText(tree / "Outside/secret.txt", "secret");
    Load(Group("Dialogs", "Dialogs", "*.kvd", "<ItemAttrib FileName=\"a.kvd\"/>") +
         Group("SqlScripts", "SqlScripts", "*.sql", "<ItemAttrib FileName=\"evil.sql\"/>"));
    fs::create_directory_symlink(tree / "Outside/Dialogs", tree / "Repo/Dialogs");
    fs::create_directories(tree / "Repo/SqlScripts");
    fs::create_symlink(tree / "Outside/secret.txt", tree / "Repo/SqlScripts/evil.sql");
    fs::create_symlink(tree / "Outside/secret.txt", tree / "Repo/SqlScripts/bare.sql");
    // The folder once, not its files; the linked file is there, so its entry
    // is not missing; one without an entry is outside, not also unlisted.
    EXPECT_THAT(Found(), ElementsAre("outside-repository SqlScripts SqlScripts/bare.sql",
                                     "outside-repository SqlScripts SqlScripts/evil.sql",
                                     "outside-repository Dialogs Dialogs"));
}

TEST_F(VerifierTest, DuplicateEntriesAndLeftoversAreFound) {
    // Three entries for one file over two groups of a type; the same name in
    // another type is no duplicate.
    Load(
        "<Dialogs><RepoItem Name=\"Dialogs\" Key=\"Dialogs\" Wildcard=\"*.kvd\">"
        "<ItemAttrib FileName=\"a.kvd\"/><ItemAttrib FileName=\"a.kvd\" DisplayName=\"Again\"/>"
        "</RepoItem><RepoItem Name=\"Dialogs\" Key=\"Dialogs\" Wildcard=\"*.kvd\">"
        "<ItemAttrib FileName=\"a.kvd\"/></RepoItem></Dialogs>" +
        Group("KVScripts", "Scripts", "*.*", "<ItemAttrib FileName=\"a.kvd\"/>") +
        Group("MergeModules", "Modules", "*.msm"));
    for (const char* name : {"Dialogs/a.kvd", "Scripts/a.kvd", ".kv1A2B.tmp",
                             "Dialogs/.KVffffffff.TMP", "Modules/kvc00C3.tmp",
                             // Found by the group's own pattern: a leftover, not an unlisted file.
                             "Scripts/.kv9.tmp",
                             // Not the temporary files' names.
                             ".kv.tmp", ".kv123456789.tmp", ".kvXYZ.tmp", "Dialogs/notes.kv1.tmp",
                             "kv12.tmp", ".Repository.xml.lock"})
        File(name);
    // Leftovers last: beside the data file first, then by type.
    EXPECT_THAT(Found(), ElementsAre("duplicate-entry Dialogs a.kvd", "leftover  .kv1A2B.tmp",
                                     "leftover KVScripts Scripts/.kv9.tmp",
                                     "leftover Dialogs Dialogs/.KVffffffff.TMP",
                                     "leftover MergeModules Modules/kvc00C3.tmp"));
    EXPECT_EQ(Detail("a.kvd"),
              "3 ItemAttrib entries have this FileName; the catalogue reads only the first");
}

// A group whose Key names no type, or another one, is a finding that says
// where writes through its items go; a running save's temporary file is
// named as such and is no problem.
TEST_F(VerifierTest, GroupKeysAndLiveSavesAreNamedForWhatTheyAre) {
    Load(
        "<Dialogs><RepoItem Name=\"Dialogs\" Key=\"Custom\" Wildcard=\"*.kvd\">"
        "<ItemAttrib FileName=\"a.kvd\" V=\"1\"/></RepoItem></Dialogs>"
        "<SqlScripts><RepoItem Name=\"Sql\" Key=\"Dialogs\" Wildcard=\"*.sql\"/></SqlScripts>");
    File("Dialogs/a.kvd");
    File("Sql/b.sql");
    const std::string live = WriteText(tree / "Repo/.kv9.tmp", "live");
    kv::TemporaryFileHold hold;
    ASSERT_EQ(hold.Take(live), ERROR_SUCCESS);
    EXPECT_THAT(Found(),
                ElementsAre("group-key SqlScripts Sql", "unlisted-file SqlScripts Sql/b.sql",
                            "group-key Dialogs Dialogs", "save-in-progress  .kv9.tmp"));
    EXPECT_EQ(Detail("Dialogs"),
              "Key \"Custom\" names no item type: writes to its items' properties go to a new "
              "RepoItem under the document element, not to this group; set it to Dialogs");
    EXPECT_EQ(Detail("Sql"),
              "Key \"Dialogs\" names the type Dialogs: writes to its items' properties go to the "
              "Dialogs element, not to this group; set it to SqlScripts");
    EXPECT_FALSE(CRepositoryVerifier::IsProblem(CRepositoryVerifier::FindingKind::kSaveInProgress));
    EXPECT_TRUE(CRepositoryVerifier::IsProblem(CRepositoryVerifier::FindingKind::kGroupKey));

    // As the finding says: the write lands outside the group, the entry keeps its value.
    auto items = Items(repository, "Dialogs/*");
    ASSERT_EQ(items->GetCount(), 1);
    items->GetFirst()->PutProperty(_stringx(OLESTR("V")), _stringx(OLESTR("2")));
    EXPECT_EQ(items->GetFirst()->Commit(), 0);
    EXPECT_EQ(Prop(*Items(repository, "Dialogs/*")->GetFirst(), OLESTR("V")), "1");
}

// The list file: Local values the library reads otherwise than they seem,
// entries without a Path, and keys given twice.
TEST_F(VerifierTest, TheListFileIsChecked) {
    List(Entry("Local", data, "True") + "<!-- a note -->" + Entry("Spare", "", "0") +
         "<Repository Key=\"Network\" Local=\"0\"/>" +
         Entry("Team", data, "") + Entry("Team", data, "1"));
    const auto listed = [&](const char* key, long expected = 0) {
        std::vector<CRepositoryVerifier::Finding> findings(1);
        EXPECT_EQ(CRepositoryVerifier::VerifyList(&manager, key, findings), expected);
        std::vector<std::string> lines;
        for (const CRepositoryVerifier::Finding& finding : findings)
            lines.push_back(std::string(CRepositoryVerifier::GetKindName(finding.kind)) + " " +
                            U8(finding.subject) + ": " + U8(finding.detail));
        return lines;
    };
    EXPECT_THAT(
        listed(nullptr),
        ElementsAre("list-local Local: Local=\"True\" is read as a network repository: "
                    "only \"1\" marks a local one",
                    testing::StartsWith("list-path Network: the entry has no Path attribute"),
                    testing::StartsWith("list-duplicate-key Team: 2 entries have this Key")));
    EXPECT_THAT(listed("Local"), ElementsAre(testing::StartsWith("list-local Local")));
    EXPECT_THAT(listed("Other"), IsEmpty());
    WriteText(list, "<Repositories>");
    EXPECT_THAT(listed(nullptr, kv::status::kNotOpened), IsEmpty());
}

TEST_F(VerifierTest, ADataFileThatDoesNotLoadGivesNotOpenedAndNothingElse) {
    Load(Group("Dialogs", "Dialogs", "*.kvd"));
    File("Dialogs/unlisted.kvd");
    WriteText(data, "<Repository><Dialogs>");
    EXPECT_THAT(Found(kv::status::kNotOpened), IsEmpty());
    EXPECT_THAT(status.messages, ElementsAre("Error opening XML file " + data));
    fs::remove(data);
    EXPECT_THAT(Found(kv::status::kNotOpened), IsEmpty());

    // No data file to name: nothing is opened or reported.
    status.messages.clear();
    CRepository unnamed("Local", "", true, list.c_str(), &status);
    std::vector<CRepositoryVerifier::Finding> findings;
    EXPECT_EQ(CRepositoryVerifier(&unnamed).Verify(findings), kv::status::kNoDataFilePath);
    EXPECT_EQ(CRepositoryVerifier(nullptr).Verify(findings), kv::status::kNoDataFilePath);
    EXPECT_THAT(status.messages, IsEmpty());
}

// Whatever a data file holds, the answer is findings or -103, and nothing is
// written (Found checks).
TEST_F(VerifierTest, HostileDataFilesGiveFindingsOrNotOpened) {
    Load(Group("Dialogs", "Dialogs", "*.kvd"));
    File("Dialogs/a.kvd");
    for (const std::string& bad : DataCases("malformed-any-dom.txt")) {
        WriteText(data, bad);
        EXPECT_THAT(Found(kv::status::kNotOpened), IsEmpty()) << testing::PrintToString(bad);
    }
    // Well-formed, but with names no writer of the library makes.
    Load(
        "<Dialogs a=\"1\"><RepoItem Name=\"Dialogs\" Key=\"&quot;']\" "
        "Wildcard=\";;*.kvd;..\\*;*\"><RepoItem/>"
        "<ItemAttrib FileName=\"\"/><ItemAttrib/><ItemAttrib FileName=\"q&quot;.kvd\"/>"
        "<ItemAttrib FileName=\"*\"/><ItemAttrib FileName=\".\"/><ItemAttrib FileName=\"" +
        std::string(300, 'x') +
        "\"/></RepoItem><RepoItem Name=\".\" Wildcard=\"Dialogs\"/>"
        "<ItemAttrib FileName=\"stray.kvd\"/></Dialogs><Templates><RepoItem "
        "Name=\"Dialogs\\..\\Dialogs\" Key=\"T\" Wildcard=\"..\"/></Templates>");
    EXPECT_THAT(Found(), UnorderedElementsAre("group-key Dialogs Dialogs", "group-key Dialogs .",
                                              "group-key Templates Dialogs\\..\\Dialogs",
                                              "missing-file Dialogs q\".kvd",
                                              "missing-file Dialogs *", "missing-file Dialogs .",
                                              "missing-file Dialogs " + std::string(300, 'x'),
                                              "unlisted-file Dialogs Dialogs/a.kvd",
                                              "unlisted-file Dialogs Dialogs"));
}

}  // namespace
