// Repositories whose files Windows tools wrote, listed through the manager the
// way a caller lists them.
#include <gmock/gmock.h>

#include "repo_util.h"

namespace {

using namespace kvtest;
using testing::ElementsAre;

class ItemsEndToEnd : public RepoTest {};

// A list file in windows-1252 and a data file in UTF-16 with a byte-order
// mark, both with CRLF line ends, a backslash folder and non-ASCII names.
TEST_F(ItemsEndToEnd, FilesWrittenOnWindowsReadTheSameAndKeepTheirEncoding) {
    WriteText(tree / "Team Share/Repository.xml",
              Utf16Le(OLESTR("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Repository>\r\n")
                          OLESTR("  <Dialogs><RepoItem Name=\"Team\\Dialogs\" Key=\"Dialogs\" ")
                              OLESTR("Wildcard=\"*.kvd\">\r\n    <ItemAttrib ")
                                  OLESTR("FileName=\"\u00e9quipe.kvd\" DisplayName=\"\u00c9quipe ")
                                      OLESTR("\u20ac\"/>\r\n  </RepoItem></Dialogs>\r\n")
                                          OLESTR("</Repository>\r\n")));
    WriteText(tree / fs::u8path("Team Share/Team/Dialogs/\xC3\x89quipe.kvd"), "d");
    WriteText(list,
              "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<Repositories>\r\n"
              "\t<Repository Key=\"Network\" Local=\"0\" DisplayName=\"\xC9quipe \x80\" "
              "Path=\"##TestingRepositoriesDir##\\Team Share\\Repository.xml\"/>\r\n"
              "</Repositories>\r\n");

    CRepository* network = manager.GetRepository("Network", false);
    ASSERT_NE(network, nullptr);
    const std::string team = "\xC3\x89quipe \xE2\x82\xAC";
    EXPECT_THAT(Describe(Items(network, "Dialogs/*").get(),
                         {OLESTR("ParentRepo"), OLESTR("DisplayPath"), OLESTR("DisplayName")}),
                ElementsAre(team + " | <KVREPOSITORY>\\Dialogs\\\xC3\xA9quipe.kvd | " + team));
    // Written back, the list keeps its own encoding.
    EXPECT_EQ(network->PutProperty(OLESTR("Owner"), OLESTR("J\u00FCrgen")), 0);
    EXPECT_NE(ReadText(list).find("Owner=\"J\xFCrgen\""), std::string::npos);
    EXPECT_TRUE(status.messages.empty());
}

}  // namespace
