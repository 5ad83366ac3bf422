#include <gmock/gmock.h>

#include "foundation/repostatus.h"
#include "resources/messages.h"
#include "test_util.h"

namespace {

using testing::ElementsAre;

// Leaves the overwrite questions to the interface's own answers.
class MinimalStatus : public IRepoStatus {
public:
    long OnError(const _stringx&) override { return 0; }
    long OnStatus(const _stringx&) override { return 0; }
};

TEST(RepoStatusBase, QuestionsAndMessagesReachTheInterfaceOfEveryCopy) {
    CRepoStatusBase none(nullptr);  // nothing reported, overwrites allowed
    none.LogError1(kv::status::kNotOpened, IDS_XML_OPEN_FAILED, _stringx("/x.xml"));
    EXPECT_TRUE(none.OnOverwriteFile(_stringx("/x")));
    EXPECT_TRUE(none.OnOverwriteFolder(_stringx("/x")));

    MinimalStatus minimal;
    EXPECT_TRUE(CRepoStatusBase(&minimal).OnOverwriteFile(_stringx("/r/a.kvd")));
    EXPECT_TRUE(CRepoStatusBase(&minimal).OnOverwriteFolder(_stringx("/r/T")));

    kvtest::RecordingStatus status;
    status.allowFiles = false;
    CRepoStatusBase original(&status);
    CRepoStatusBase assigned;
    assigned = original;
    EXPECT_FALSE(CRepoStatusBase(original).OnOverwriteFile(_stringx("/r/a.kvd")));
    EXPECT_TRUE(assigned.OnOverwriteFolder(_stringx("/r/T")));
    assigned.LogError(0, IDS_XML_SAVE_FAILED);
    EXPECT_THAT(status.asked, ElementsAre("file /r/a.kvd", "folder /r/T"));
    EXPECT_EQ(status.messages.size(), 1u);
}

TEST(RepoStatusMessages, EachMessageReadsExactlyAsShipped) {
    kvtest::RecordingStatus status;
    CRepoStatusBase base(&status);
    const _stringx path = FromU8("/srv/Repo Sh\xC3\xA4red/%1%2%.xml");  // not expanded
    base.LogError1(kv::status::kNotSaved, IDS_XML_SAVE_FAILED, path);
    base.LogError1(kv::status::kNotOpened, IDS_XML_OPEN_FAILED, path);
    base.LogError1(kv::status::kTemplateNotCopied, IDS_REPO_FILE_CREATE_FAILED, path);
    base.LogError1(kv::status::kFolderNotCreated, IDS_DIRECTORY_CREATE_FAILED, path);
    // LogError leaves placeholders; unknown ids give an empty text.
    base.LogError(kv::status::kNotSaved, IDS_XML_SAVE_FAILED);
    base.LogError1(0, 77, _stringx("arg"));
    base.LogError2(0, IDS_XML_SAVE_FAILED, _stringx("a.xml"), _stringx("unused"));
    EXPECT_THAT(status.messages,
                ElementsAre("Unable to save XML file /srv/Repo Sh\xC3\xA4red/%1%2%.xml.",
                            "Error opening XML file /srv/Repo Sh\xC3\xA4red/%1%2%.xml",
                            "Unable to create repository file /srv/Repo Sh\xC3\xA4red/%1%2%.xml",
                            "Unable to create directory /srv/Repo Sh\xC3\xA4red/%1%2%.xml",
                            "Unable to save XML file %1.", "", "Unable to save XML file a.xml."));
}

TEST(MessageExpansion, SelectsArgumentsMarksMissingOnesAndCopiesTheRest) {
    const auto expand = [](const char* text, std::vector<const OLECHAR*> args) {
        return U8(kv::ExpandMessage(FromU8(text), args.data(), args.size()));
    };
    EXPECT_EQ(expand("a %2 b", {OLESTR("one")}), "a ? b");
    EXPECT_EQ(expand("a %2 b", {OLESTR("one"), OLESTR("two")}), "a two b");
    EXPECT_EQ(expand("%1%1", {OLESTR("x")}), "xx");
    EXPECT_EQ(expand("%A and %Z", {OLESTR("1")}), "? and ?");
    std::vector<const OLECHAR*> eleven(11, OLESTR("-"));
    eleven[9] = OLESTR("tenth");
    EXPECT_EQ(expand("[%A]", eleven), "[tenth]");
    EXPECT_EQ(expand("[%1]", {nullptr}), "[]");
    EXPECT_EQ(expand("[%0]", {OLESTR("x")}), "[?]");
    EXPECT_EQ(expand("100% %a %% %-", {OLESTR("x")}), "100% %a %% %-");
}

}  // namespace
