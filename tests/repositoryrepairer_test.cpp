// Repairing a repository: each repair and what it leaves alone, a dry run
// that reports exactly what a real run changes, failures that change
// nothing, and publishers in other processes that lose nothing meanwhile.

#include <gmock/gmock.h>

#include <map>

#include "foundation/filelock.h"
#include "foundation/platform/text.h"
#include "foundation/temporaryfiles.h"
#include "process_util.h"
#include "repo_util.h"
#include "repository/repositoryrepairer.h"
#include "repository/repositoryverifier.h"

namespace {

using namespace kvtest;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::UnorderedElementsAre;
using Options = CRepositoryRepairer::Options;

// A name that no path can quote: both quotes, where the system allows them.
#ifdef _WIN32
const std::string kQuoted = "Don't", kQuotedLower = "don't";
#else
const std::string kQuoted = "Don't \"Quote\"", kQuotedLower = "don't \"quote\"";
#endif

class RepairerTest : public OneRepoTest {
protected:
    // "kind type subject" per change, in order.
    std::vector<std::string> Repair(Options options = Options(), long expected = 0) {
        std::vector<CRepositoryRepairer::Change> changes(1);  // replaced, not appended to
        EXPECT_EQ(CRepositoryRepairer(repository).Repair(options, changes), expected);
        std::vector<std::string> lines;
        for (const CRepositoryRepairer::Change& change : changes) {
            lines.push_back(std::string(CRepositoryRepairer::GetKindName(change.kind)) + " " +
                            U8(change.type) + " " + U8(change.subject));
            EXPECT_FALSE(change.detail.empty()) << lines.back();
        }
        return lines;
    }
    std::vector<std::string> Verify() {
        std::vector<CRepositoryVerifier::Finding> findings;
        EXPECT_EQ(CRepositoryVerifier(repository).Verify(findings), 0);
        std::vector<std::string> lines;
        for (const CRepositoryVerifier::Finding& finding : findings)
            lines.push_back(std::string(CRepositoryVerifier::GetKindName(finding.kind)) + " " +
                            U8(finding.subject));
        return lines;
    }
};

// Every repair on one repository: the dry run reports it and changes nothing,
// the real run reports the same and makes it in one save, after which only
// what repair leaves alone is still found; a second run has nothing to save.
TEST_F(RepairerTest, ADryRunReportsExactlyWhatTheRepairThenChanges) {
    Load(Group("Dialogs", "Dialogs", "*.kvd",
               "<ItemAttrib FileName=\"Welcome.kvd\" DisplayName=\"Hi\"/>"
               "<ItemAttrib FileName=\"a.kvd\" V=\"1\"/><ItemAttrib FileName=\"a.kvd\" V=\"1\"/>"
               "<ItemAttrib FileName=\"b.kvd\" V=\"1\"/><ItemAttrib FileName=\"b.kvd\" V=\"2\"/>"
               "<ItemAttrib FileName=\"X.kvd\"/><ItemAttrib FileName=\"x.kvd\"/>"
               "<ItemAttrib FileName=\"gone.kvd\" Author=\"Ana\"/>") +
         Group("KVScripts", "Scripts", "*.kvs") + Group("MergeModules", "Missing", "*.msm"));
    for (const char* name :
         {"Dialogs/Welcome.kvd", "Dialogs/a.kvd", "Dialogs/b.kvd", "Dialogs/x.kvd",
          "Dialogs/New One.kvd", ".kv1A.tmp", "Dialogs/kvc2.tmp"})
        File(name);
    File("Scripts/" + kQuoted + ".kvs");
    const std::vector<std::string> expected = {"add-entry KVScripts Scripts/" + kQuoted + ".kvs",
                                               "remove-duplicate Dialogs a.kvd",
                                               "left-alone Dialogs b.kvd",
                                               "lower-case Dialogs Welcome.kvd",
                                               "left-alone Dialogs X.kvd",
                                               "left-alone Dialogs gone.kvd",
                                               "add-entry Dialogs Dialogs/New One.kvd",
                                               "left-alone Dialogs X.kvd",
                                               "left-alone MergeModules Missing",
                                               "remove-leftover  .kv1A.tmp",
                                               "remove-leftover Dialogs Dialogs/kvc2.tmp"};
    const auto before = Tree(tree.root());
    Options dry;
    dry.dryRun = true;
    // By type, and within one by kind of pass; what verify finds that no
    // change answers last, leftovers after all types.
    EXPECT_THAT(Repair(dry), testing::ElementsAreArray(expected));
    EXPECT_EQ(Tree(tree.root()), before);
    const auto dryRun = Repair(dry);

    EXPECT_EQ(Repair(), dryRun);
    EXPECT_THAT(Verify(), UnorderedElementsAre("duplicate-entry b.kvd", "not-lower-case X.kvd",
                                               "case-conflict X.kvd", "missing-file gone.kvd",
                                               "missing-folder Missing"));
    EXPECT_THAT(
        Describe(Items(repository, "Dialogs/*").get(), {OLESTR("FileName"), OLESTR("DisplayName")}),
        UnorderedElementsAre("a.kvd | <-101>", "b.kvd | <-101>", "welcome.kvd | Hi",
                             "x.kvd | <-101>", "new one.kvd | New One.kvd"));
    EXPECT_THAT(Describe(Items(repository, "KVScripts/*").get(), {OLESTR("FileName")}),
                ElementsAre(kQuotedLower + ".kvs"));

    // What is left is exactly what verify still finds, each left alone.
    const std::string saved = ReadText(data);
    const std::vector<std::string> left = {
        "left-alone Dialogs b.kvd", "left-alone Dialogs X.kvd", "left-alone Dialogs gone.kvd",
        "left-alone Dialogs X.kvd", "left-alone MergeModules Missing"};
    EXPECT_THAT(Repair(), testing::ElementsAreArray(left));
    EXPECT_EQ(ReadText(data), saved);

    // Pruning, with a name of its own for new entries.
    File("Dialogs/Later.kvd");
    Options prune;
    prune.pruneMissing = true;
    prune.displayName = [](const _stringx& name) { return _stringx(OLESTR("Made: ")) + name; };
    EXPECT_THAT(
        Repair(prune),
        ElementsAre("left-alone Dialogs b.kvd", "left-alone Dialogs X.kvd",
                    "remove-missing Dialogs gone.kvd", "add-entry Dialogs Dialogs/Later.kvd",
                    "left-alone Dialogs X.kvd", "left-alone MergeModules Missing"));
    EXPECT_THAT(Verify(), UnorderedElementsAre("duplicate-entry b.kvd", "not-lower-case X.kvd",
                                               "case-conflict X.kvd", "missing-folder Missing"));
    EXPECT_THAT(Describe(Items(repository, "Dialogs/*").get(), {OLESTR("DisplayName")}),
                testing::Contains("Made: Later.kvd"));
}

// Pruning removes only an entry whose file is gone by verify's own test: not
// one whose file is a link out of the repository, lies in the folder of a
// repeated type element, or is there but matched by no pattern. Each of
// those verify reports, and repair names as left alone.
TEST_F(RepairerTest, PruningRemovesOnlyEntriesWhoseFileIsGone) {
    Load(Group("Dialogs", "Dialogs", "*.kvd",
               "<ItemAttrib FileName=\"link.kvd\" V=\"1\"/>"
               "<ItemAttrib FileName=\"notes.txt\" V=\"2\"/>"
               "<ItemAttrib FileName=\"gone.kvd\"/>") +
         Group("Dialogs", "More", "*.kvd", "<ItemAttrib FileName=\"more.kvd\" V=\"3\"/>"));
    File("Dialogs/notes.txt");
    File("More/more.kvd");
    const bool links = !kvtest::kNoSymlinks;
    if (links) {
        WriteText(tree / "Outside/x.kvd", "outside");
        fs::create_symlink(tree / "Outside/x.kvd", tree / "Repo/Dialogs/link.kvd");
    }
    std::vector<std::string> found = {"repeated-section Dialogs", "unmatched-file notes.txt",
                                      "missing-file gone.kvd"};
    found.insert(found.begin() + 1,
                 links ? "outside-repository Dialogs/link.kvd" : "missing-file link.kvd");
    EXPECT_THAT(Verify(), testing::ElementsAreArray(found));

    Options prune;
    prune.pruneMissing = true;
    const auto changes = Repair(prune);
    EXPECT_THAT(changes, testing::Contains("remove-missing Dialogs gone.kvd"));
    EXPECT_THAT(changes, testing::IsSupersetOf(
                             {"left-alone Dialogs Dialogs", "left-alone Dialogs notes.txt"}));
    const std::string saved = ReadText(data);
    EXPECT_THAT(saved, testing::Not(testing::HasSubstr("gone.kvd")));
    for (const char* kept : {"notes.txt", "more.kvd"})
        EXPECT_THAT(saved, testing::HasSubstr(kept));
    EXPECT_EQ(saved.find("link.kvd") != std::string::npos, links);
    if (links) {
        EXPECT_THAT(changes, testing::Contains("left-alone Dialogs Dialogs/link.kvd"));
    }
}

// Temporary files are judged as verify judges them: a running save's is
// named and kept, a link of such a name is kept (no save makes links), and
// a file whose name no path reaches here gets no entry.
TEST_F(RepairerTest, LiveSavesLinksAndUnreachableNamesAreLeftAlone) {
    Load(Group("Dialogs", "Dialogs", "*.kvd"));
    const std::string live = WriteText(tree / "Repo/Dialogs/.kv5.tmp", "live");
    kv::TemporaryFileHold hold;
    ASSERT_EQ(hold.Take(live), ERROR_SUCCESS);
    std::vector<std::string> left = {"left-alone Dialogs Dialogs/.kv5.tmp"};
    if (!kvtest::kNoSymlinks) {
        fs::create_symlink(tree / "Repo/Repository.xml", tree / "Repo/.kv6.tmp");
        left.insert(left.begin(), "left-alone  .kv6.tmp");
    }
#ifndef _WIN32
    File("Dialogs/a\\b.kvd");
    left.insert(left.begin(), "left-alone Dialogs Dialogs/a\\b.kvd");
#endif
    EXPECT_THAT(Repair(), testing::ElementsAreArray(left));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_TRUE(kvtest::kNoSymlinks || fs::is_symlink(tree / "Repo/.kv6.tmp"));
    EXPECT_EQ(Items(repository, "Dialogs/*")->GetCount(), 0);
}

// A repair that cannot be made changes nothing and says why; leftovers that a
// live writer holds are never taken.
TEST_F(RepairerTest, FailuresChangeNothing) {
    Load(Group("Dialogs", "Dialogs", "*.kvd"));
    File("Dialogs/new.kvd");
    const std::string live = WriteText(tree / "Repo/.kv77.tmp", "live");
    kv::TemporaryFileHold hold;
    ASSERT_EQ(hold.Take(live), ERROR_SUCCESS);
    {
        ScopedEnv timeout("KV_LOCK_TIMEOUT_MS", "0");
        kv::DataFileLock other;
        ASSERT_EQ(other.Acquire(_stringx(data)), ERROR_SUCCESS);
        const auto before = Tree(tree.root());
        EXPECT_THAT(Repair(Options(), kv::status::kNotSaved), IsEmpty());
        EXPECT_THAT(status.messages, ElementsAre("Unable to save XML file " + data + "."));
        EXPECT_EQ(Tree(tree.root()), before);
    }
    // The live one is named, and kept.
    EXPECT_THAT(Repair(),
                ElementsAre("add-entry Dialogs Dialogs/new.kvd", "left-alone  .kv77.tmp"));
    EXPECT_TRUE(fs::exists(live));

    WriteText(data, "<Repository><Dialogs>");
    EXPECT_THAT(Repair(Options(), kv::status::kNotOpened), IsEmpty());
    CRepository pathless("None", "", true, list.c_str(), &status);
    std::vector<CRepositoryRepairer::Change> changes;
    EXPECT_EQ(CRepositoryRepairer(&pathless).Repair(Options(), changes),
              kv::status::kNoDataFilePath);
}

// Publishers in four other processes commit items while repairs run here,
// each adding an entry for a file copied in by hand: every item and every
// entry is there at the end.
TEST_F(RepairerTest, PublishersRacingARepairLoseNothing) {
    // Where a child re-runs the test on its way to its body, the files that
    // the publishers already use are not written again.
    if (!IsReplayingChild())
        Load(Group("Dialogs", "Dialogs", "*.kvd"));
    constexpr int kPublishers = 4, kItems = 15, kRepairs = 15;
    std::vector<std::unique_ptr<ChildProcess>> publishers;
    for (int p = 0; p < kPublishers; ++p)
        publishers.push_back(std::make_unique<ChildProcess>([&, p](auto&) {
            CRepositoryMgr own(list.c_str(), nullptr);
            CRepository* mine = own.GetRepository("Local", false);
            for (int i = 0; i < kItems; ++i) {
                const std::string name = "p" + std::to_string(p) + "-" + std::to_string(i);
                auto item = NewItem(mine, "<KVREPOSITORY>\\Dialogs\\*.kvd",
                                    WriteText(tree / "source" / (name + ".kvd"), name));
                if (item->Commit() != 0)
                    return 1;
            }
            return 0;
        }));
    for (int r = 0; r < kRepairs; ++r) {
        File("Dialogs/hand" + std::to_string(r) + ".kvd");
        Repair();
    }
    for (auto& publisher : publishers)
        EXPECT_EQ(publisher->Wait(), 0);
    Repair();
    EXPECT_THAT(Verify(), IsEmpty());
    EXPECT_EQ(Items(repository, "Dialogs/*")->GetCount(), kPublishers * kItems + kRepairs);
}

}  // namespace
