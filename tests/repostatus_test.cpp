#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/repostatus.h"
#include "resources/messages.h"
#include "test_util.h"

namespace {

// Records every text and answers overwrite questions as told.
class RecordingStatus : public IRepoStatus {
public:
    long OnError(const _stringx& text) override {
        errors.push_back(U8(text));
        return 0;
    }
    long OnStatus(const _stringx&) override { return 0; }
    bool OnOverwriteFile(const _stringx& path) override {
        asked.push_back(U8(path));
        return allowFiles;
    }
    bool OnOverwriteFolder(const _stringx& path) override {
        asked.push_back(U8(path));
        return allowFolders;
    }
    std::vector<std::string> errors, asked;
    bool allowFiles = false, allowFolders = true;
};

// Leaves the overwrite questions to the interface's own answers.
class MinimalStatus : public IRepoStatus {
public:
    long OnError(const _stringx&) override { return 0; }
    long OnStatus(const _stringx&) override { return 0; }
};

TEST(RepoStatusBase, WithoutAnInterfaceNothingIsReportedAndOverwritesAreAllowed) {
    CRepoStatusBase base(nullptr);
    EXPECT_EQ(base.GetRepoStatus(), nullptr);
    base.LogError1(-103, IDS_XML_OPEN_FAILED, _stringx("/x.xml"));
    base.LogError(-102, IDS_XML_SAVE_FAILED);
    EXPECT_TRUE(base.OnOverwriteFile(_stringx("/x")));
    EXPECT_TRUE(base.OnOverwriteFolder(_stringx("/x")));
}

TEST(RepoStatusBase, OverwriteQuestionsReachTheInterface) {
    RecordingStatus status;
    CRepoStatusBase base(&status);
    EXPECT_FALSE(base.OnOverwriteFile(_stringx("/r/a.kvd")));
    EXPECT_TRUE(base.OnOverwriteFolder(_stringx("/r/T")));
    EXPECT_THAT(status.asked, testing::ElementsAre("/r/a.kvd", "/r/T"));

    MinimalStatus minimal;
    CRepoStatusBase defaults(&minimal);
    EXPECT_TRUE(defaults.OnOverwriteFile(_stringx("/r/a.kvd")));
    EXPECT_TRUE(defaults.OnOverwriteFolder(_stringx("/r/T")));
}

TEST(RepoStatusBase, CopiesReportToTheSameInterface) {
    RecordingStatus status;
    CRepoStatusBase original(&status);
    CRepoStatusBase copy(original);
    CRepoStatusBase assigned;
    assigned = original;
    copy.LogError(0, IDS_XML_SAVE_FAILED);
    assigned.LogError(0, IDS_XML_SAVE_FAILED);
    EXPECT_EQ(status.errors.size(), 2u);
    EXPECT_EQ(assigned.GetRepoStatus(), &status);
}

TEST(RepoStatusMessages, EachMessageReadsExactlyAsShipped) {
    RecordingStatus status;
    CRepoStatusBase base(&status);
    const _stringx path("/srv/Repo Sh\xC3\xA4red/Repository.xml");
    base.LogError1(-102, IDS_XML_SAVE_FAILED, path);
    base.LogError1(-103, IDS_XML_OPEN_FAILED, path);
    base.LogError1(-111, IDS_REPO_FILE_CREATE_FAILED, path);
    base.LogError1(-112, IDS_DIRECTORY_CREATE_FAILED, path);
    EXPECT_THAT(status.errors,
                testing::ElementsAre(
                    "Unable to save XML file /srv/Repo Sh\xC3\xA4red/Repository.xml.",
                    "Error opening XML file /srv/Repo Sh\xC3\xA4red/Repository.xml",
                    "Unable to create repository file /srv/Repo Sh\xC3\xA4red/Repository.xml",
                    "Unable to create directory /srv/Repo Sh\xC3\xA4red/Repository.xml"));
}

TEST(RepoStatusMessages, LogErrorLeavesPlaceholdersAndUnknownIdsGiveEmptyText) {
    RecordingStatus status;
    CRepoStatusBase base(&status);
    base.LogError(-102, IDS_XML_SAVE_FAILED);
    base.LogError1(0, 77, _stringx("arg"));
    base.LogError2(0, IDS_XML_SAVE_FAILED, _stringx("a.xml"), _stringx("unused"));
    EXPECT_THAT(status.errors, testing::ElementsAre("Unable to save XML file %1.", "",
                                                    "Unable to save XML file a.xml."));
}

TEST(RepoStatusMessages, ArgumentTextIsNotExpandedAgain) {
    RecordingStatus status;
    CRepoStatusBase base(&status);
    base.LogError1(0, IDS_XML_OPEN_FAILED, _stringx("/odd/%1%2%/x.xml"));
    EXPECT_THAT(status.errors, testing::ElementsAre("Error opening XML file /odd/%1%2%/x.xml"));
}

std::string Expand(const char* text, std::vector<const OLECHAR*> args) {
    return U8(kv::ExpandMessage(_stringx(text), args.data(), args.size()));
}

TEST(MessageExpansion, SelectsArgumentsAndMarksMissingOnes) {
    EXPECT_EQ(Expand("a %2 b", {u"one"}), "a ? b");
    EXPECT_EQ(Expand("a %2 b", {u"one", u"two"}), "a two b");
    EXPECT_EQ(Expand("%1%1", {u"x"}), "xx");
    EXPECT_EQ(Expand("%A and %Z", {u"1"}), "? and ?");
    std::vector<const OLECHAR*> eleven(11, u"-");
    eleven[9] = u"tenth";
    EXPECT_EQ(Expand("[%A]", eleven), "[tenth]");
    EXPECT_EQ(Expand("[%1]", {nullptr}), "[]");
    EXPECT_EQ(Expand("[%0]", {u"x"}), "[?]");
}

TEST(MessageExpansion, OtherPerCentSignsAreCopied) {
    EXPECT_EQ(Expand("100%", {u"x"}), "100%");
    EXPECT_EQ(Expand("%a %% %-", {u"x"}), "%a %% %-");
    EXPECT_EQ(Expand("", {u"x"}), "");
}

}  // namespace
