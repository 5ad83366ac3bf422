// Hostile names and paths in data files and display paths: nothing
// outside the repository's folder is listed, copied, deleted or written;
// quotes never make an XPath select another node; long and non-ASCII names
// work in either file encoding.

#include <gmock/gmock.h>

// First: the library's CopyFileA member is compiled under the layer's name
// for the Windows call (a macro there), and is called by that name here too.
#include "foundation/platform/text.h"
#include "win32/fileio.h"

#include "repo_util.h"

namespace {

using namespace kvtest;
using testing::ElementsAre;

// Exposes the copy that Commit runs.
class ItemProbe : public CRepositoryItem {
public:
    using CRepositoryItem::CopyFileA;
    using CRepositoryItem::CRepositoryItem;
};

class HostileNames : public RepoTest {
protected:
    // The repository "Local" on a data file of `dataBody`.
    CRepository* Load(const std::string& dataBody) {
        Data("Repo/Repository.xml", dataBody);
        List(Entry("Local", data, "1", "DisplayName=\"Mine\""));
        CRepository* repository = manager.GetRepository("Local", false);
        EXPECT_NE(repository, nullptr);
        return repository;
    }
    // The LocalCopy of every listed item, below the tree.
    std::vector<std::string> Listed(CRepository* repository, const std::string& itemPath) {
        std::vector<std::string> copies;
        for (const std::string& copy :
             Describe(Items(repository, itemPath.c_str()).get(), {OLESTR("LocalCopy")}))
            copies.push_back(fs::u8path(copy).lexically_relative(tree.root()).generic_u8string());
        return copies;
    }
    std::unique_ptr<CRepositoryItem> Published(CRepository* repository, const std::string& display,
                                               const std::string& file, long expected) {
        auto item = NewItem(repository, display.c_str(),
                            WriteText(tree / "Work" / fs::u8path(file), "new"));
        item->PutProperty(OLESTR("DisplayName"), OLESTR("New"));
        EXPECT_EQ(item->Commit(), expected) << display;
        return item;
    }

    const std::string data = (tree / "Repo/Repository.xml").string();
};

TEST_F(HostileNames, ListingNeverReportsFilesOutsideTheRepository) {
    const std::string outside = WriteText(tree / "Secret.kvd", "keep");
    WriteText(tree / "Other/x.kvd", "keep");
    WriteText(tree / "Repo/Dialogs/in.kvd", "in");
    WriteText(tree / "Repo/abs/Dialogs/deep.kvd", "in");
    fs::create_directories(tree / "Repo/Sub");
    CRepository* repository = Load(
        "<Dialogs>"
        "<RepoItem Name=\"..\" Key=\"Dialogs\" Wildcard=\"*.kvd\"/>"
        "<RepoItem Name=\"../Other\" Key=\"Dialogs\" Wildcard=\"*.kvd\"/>"
        "<RepoItem Name=\"Dialogs\\..\\..\" Key=\"Dialogs\" Wildcard=\"*.kvd\"/>"
        "<RepoItem Name=\"Dialogs\" Key=\"Dialogs\" Wildcard=\"../*.kvd;..\\..\\*.kvd;*.kvd\"/>"
        "<RepoItem Name=\"/abs/Dialogs\" Key=\"Dialogs\" Wildcard=\"*.kvd\"/>"
        "<RepoItem Name=\"Sub/../Dialogs\" Key=\"Dialogs\" Wildcard=\"*.kvd\"/>"
        "</Dialogs>" +
        Group("Templates", "..", "*.*"));
    EXPECT_THAT(Listed(repository, "Dialogs/*"),
                ElementsAre("Repo/Dialogs/in.kvd", "Repo/abs/Dialogs/deep.kvd",
                            "Repo/Sub/../Dialogs/in.kvd"));
    EXPECT_THAT(Listed(repository, "Templates/*"), ElementsAre());
    // One file by a display path whose file name climbs out, or is absolute.
    for (const std::string name :
         {"../../Secret.kvd", "..\\..\\Secret.kvd", "../../Other/x.kvd", outside.c_str()})
        EXPECT_THAT(Listed(repository, "<KVREPOSITORY>\\Dialogs\\" + name), ElementsAre()) << name;
}

// What would be written or deleted outside is refused; what comes before
// (an overwrite question, a copy or deletion that fails without writing)
// comes out as usual.
TEST_F(HostileNames, StoredOrDisplayedPathsOutsideAreRefusedAndTouchNothing) {
    const std::string outside = WriteText(tree / "outside.txt", "keep");
    WriteText(tree / "Repo/Dialogs/old.kvd", "old");
    CRepository* repository = Load(
        Group("Dialogs", "Dialogs", "*.kvd",
              "<ItemAttrib FileName=\"old.kvd\" LocalCopy=\"../outside.txt\" Key=\"Dialogs\"/>"));
    const std::string before = ReadText(data);
    ScopedCwd cwd(tree / "Repo");  // where the relative LocalCopy names the outside file

    auto items = Items(repository, "Dialogs/*");
    ASSERT_EQ(items->GetCount(), 1);
    EXPECT_EQ(items->GetFirst()->Delete(true), E_ACCESSDENIED);  // relative, stored

    for (const char* displayPath :
         {"<KVREPOSITORY>\\Dialogs\\..\\..\\*.kvd", "<KVREPOSITORY>\\Dialogs/../../*.kvd"}) {
        auto item = Published(repository, displayPath, "outside.txt", E_ACCESSDENIED);
        EXPECT_EQ(item->Delete(true), E_ACCESSDENIED);
    }
    auto elsewhere =
        Published(repository, "<KVREPOSITORY>\\..\\Repo2\\Dialogs\\*.kvd", "x.txt", E_ACCESSDENIED);
    // Nothing there to refuse: the system's error for a file in a missing
    // folder (Windows tells the folder).
    EXPECT_EQ(elsewhere->Delete(true), kv::platform::kFileNamesIgnoreCase
                                           ? long(ERROR_PATH_NOT_FOUND)
                                           : long(ERROR_FILE_NOT_FOUND));
    ItemProbe probe(repository, false, OLESTR("<KVREPOSITORY>\\Dialogs\\*.kvd"), &status);
    const std::string work = WriteText(tree / "Work/x.kvd", "evil");
    for (const auto& [target, expected] : std::vector<std::pair<std::string, long>>{
             {outside, E_ACCESSDENIED},
             {Native(tree / "Repo/../outside.txt"), E_ACCESSDENIED},
             {Native(tree / "Repo"), ERROR_ACCESS_DENIED},  // a folder: the copy fails
             {Native(tree / "Repo2/x.kvd"), E_ACCESSDENIED},
             {"Dialogs/x.kvd", E_ACCESSDENIED},  // relative: not known to be inside
             {"Nowhere/x.kvd", ERROR_PATH_NOT_FOUND}})
        EXPECT_EQ(probe.CopyFileA(_stringx(work), _stringx(target)), expected) << target;
    EXPECT_EQ(ReadText(outside), "keep");
    EXPECT_EQ(ReadText(data), before);
    EXPECT_THAT(Names(tree.root()), ElementsAre("Repo", "Repos.xml", "Work", "outside.txt"));
    EXPECT_THAT(Names(tree / "Repo/Dialogs"), ElementsAre("old.kvd"));
    EXPECT_EQ(status.asked.size(), 4u);  // every outside file was asked about, then kept
}

TEST_F(HostileNames, LinksInsideTheRepositoryThatLeadOutAreRefused) {
    if (kvtest::kNoSymlinks)
        GTEST_SKIP() << kvtest::kNoSymlinks;
    WriteText(tree / "Outside/Dialogs/keep.kvd", "keep");
    WriteText(tree / "Outside/Base/keep.txt", "keep");
    fs::create_directories(tree / "Repo/Templates");
    fs::create_directory_symlink(tree / "Outside/Dialogs", tree / "Repo/Dialogs");
    fs::create_directory_symlink(tree / "Outside/Base", tree / "Repo/Templates/Base");
    CRepository* repository =
        Load(Group("Dialogs", "Dialogs", "*.kvd") + Group("Templates", "Templates", "*.kvt"));
    const std::string before = ReadText(data);
    Published(repository, "<KVREPOSITORY>\\Dialogs\\*.kvd", "x.kvd", E_ACCESSDENIED);
    WriteText(tree / "Work/Base/Base.kvt", "template");
    Published(repository, "<KVREPOSITORY>\\Templates\\*.kvt", "Base/Base.kvt", E_ACCESSDENIED);
    EXPECT_EQ(ReadText(data), before);
    EXPECT_THAT(Names(tree / "Outside/Dialogs"), ElementsAre("keep.kvd"));
    EXPECT_THAT(Names(tree / "Outside/Base"), ElementsAre("keep.txt"));

    // A repository that is itself reached through a link is inside itself.
    fs::create_directory_symlink(tree / "Repo", tree / "Linked");
    List(Entry("Local", (tree / "Linked/Repository.xml").string()));
    fs::remove(tree / "Repo/Dialogs");
    CRepository* linked = manager.GetRepository("Local", false);
    ASSERT_NE(linked, nullptr);
    Published(linked, "<KVREPOSITORY>\\Dialogs\\*.kvd", "y.kvd", 0);
    EXPECT_EQ(ReadText(tree / "Repo/Dialogs/y.kvd"), "new");
}

// (Quotes in a repository's key are tested with the data-file access.)
TEST_F(HostileNames, QuotesInFileNamesNeverSelectAnotherNode) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows file names cannot hold a double quote";
#endif
    CRepository* repository = Load(
        Group("Dialogs", "Dialogs", "*", "<ItemAttrib FileName=\"a.kvd\" DisplayName=\"A\"/>"));
    // A file whose name would select every element, then its stored properties.
    const std::string name = "x\" or \"1\"=\"1";
    WriteText(tree / "Repo/Dialogs" / name, "x");
    auto items = Items(repository, ("<KVREPOSITORY>\\Dialogs\\" + name).c_str());
    EXPECT_THAT(Describe(items.get(), {OLESTR("DisplayName")}), ElementsAre(name));
    items->GetFirst()->PutProperty(OLESTR("Version"), OLESTR("9"));
    EXPECT_EQ(items->GetFirst()->CommitCachedProperties(), 0);
    Published(repository, "<KVREPOSITORY>\\Dialogs\\*.kvd", name, 0);
    EXPECT_NE(ReadText(data).find("<ItemAttrib FileName=\"a.kvd\" DisplayName=\"A\"/>"),
              std::string::npos);
}

TEST_F(HostileNames, LongAndNonAsciiNamesWorkInEitherFileEncoding) {
    std::string longPath = "<KVREPOSITORY>\\Dialogs";
    while (longPath.size() < 300)
        longPath += "\\folder0123456789";
    for (const std::string declaration :
         {"<?xml version=\"1.0\"?>", "<?xml version=\"1.0\" encoding=\"windows-1252\"?>"}) {
        SCOPED_TRACE(declaration);
        const bool latin = declaration.find("1252") != std::string::npos;
        CRepository* repository = Load(Group(
            "Dialogs", "Dialogs", "*.kvd",
            "<ItemAttrib FileName=\"" + std::string(latin ? "\xE9t\xE9" : "\xC3\xA9t\xC3\xA9") +
                ".kvd\" DisplayName=\"Summer\"/>"));
        WriteText(data, declaration + ReadText(data));
        WriteText(tree / fs::u8path("Repo/Dialogs/\xC3\x89t\xC3\xA9.kvd"), "x");
        EXPECT_THAT(
            Describe(Items(repository,
                           AnsiText("<KVREPOSITORY>\\Dialogs\\\xC3\xA9t\xC3\xA9.kvd").c_str())
                         .get(),
                     {OLESTR("DisplayName")}),
            ElementsAre("Summer"));

        // Published under a non-ASCII name, found again with its properties.
        Published(repository, "<KVREPOSITORY>\\Dialogs\\*.kvd",
                  "Gr\xC3\x9C\xC3\x9F"
                  "e.kvd",
                  0);
        EXPECT_THAT(Describe(Items(repository, "Dialogs/*").get(),
                             {OLESTR("FileName"), OLESTR("DisplayName")}),
                    ElementsAre("gr\xC3\xBC\xC3\x9F"
                                "e.kvd | New",
                                "\xC3\xA9t\xC3\xA9.kvd | Summer"));
        EXPECT_EQ(ReadText(data).rfind(declaration, 0), 0u);

        // Over 300 characters of folders works; a 300-character name is an error.
        Published(repository, longPath + "\\*.kvd", "long.kvd", 0);
        Published(repository, "<KVREPOSITORY>\\Dialogs\\" + std::string(300, 'n') + "\\*.kvd",
                  "deep.kvd", ERROR_FILENAME_EXCED_RANGE);
        RemoveTree(tree / "Repo");
    }
}

}  // namespace
