#include <gmock/gmock.h>

#include <chrono>
#include <memory>

#include "foundation/filelock.h"
#include "foundation/temporaryfiles.h"
#include "process_util.h"
#include "test_util.h"
#include "xml/repodata.h"
#include "xml/xpath.h"
#include "foundation/platform/variant.h"

namespace {

using kvtest::DataFile;
using kvtest::ReadText;
using kvtest::WriteText;
using testing::ElementsAre;

constexpr const char* kList =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<Repositories>\n"
    "  <Repository Key=\"Local\" Name=\"Mine\" Local=\"1\"/>\n"
    "  <Repository Key=\"Net\" Name=\"Shared\" Local=\"0\"/>\n"
    "</Repositories>\n";

class RepoDataTest : public testing::Test {
protected:
    kvtest::TempTree tree;
    kvtest::RecordingStatus status;
    std::string path = WriteText(tree / "list.xml", kList);
    DataFile file{&status, path};
};

TEST_F(RepoDataTest, ReadsTheFirstSelectedNodeOfTheOwnOrAGivenFile) {
    EXPECT_EQ(file.Get(OLESTR("Repository[@Key=\"Net\"]"), OLESTR("Name")), "Shared");
    EXPECT_EQ(file.Get(OLESTR("Repository"), OLESTR("name")), "<-101>");  // case-sensitive
    const std::string other = WriteText(tree / "other.xml", "<R><Repository Name=\"Other\"/></R>");
    EXPECT_EQ(file.Get(OLESTR("Repository"), OLESTR("Name"), other), "Other");

    XmlAttribMap map;
    map[_stringx(OLESTR("Stale"))] = CComVariant(OLESTR("x"));
    EXPECT_EQ(file.GetAttribValuesFromXmlFile(OLESTR("Repository"), map), 0);
    EXPECT_EQ(map.size(), 3u);  // replaced
    EXPECT_EQ(kvtest::Attr(map, OLESTR("Key")), "Local");

    // Values of a map read as text (a variant's text form: see the platform's
    // tests); a name not in the map leaves the value alone.
    _stringx value(OLESTR("kept"));
    EXPECT_FALSE(file.GetAttribValue(OLESTR("key"), map, value));
    EXPECT_EQ(U8(value), "kept");
    EXPECT_TRUE(file.GetAttribValue(OLESTR("Key"), map, value));
    EXPECT_EQ(U8(value), "Local");
    EXPECT_EQ(U8(file.GetAttribValue(OLESTR("N"), map)), "");
    EXPECT_TRUE(status.messages.empty());
}

// (Empty and malformed files are among the hostile files.)
TEST_F(RepoDataTest, AMissingFileReportsMessageTwoAndIsNotCreated) {
    const std::string missing = (tree / "missing.xml").string();
    XmlAttribMap map;
    EXPECT_EQ(file.GetAttribValuesFromXmlFile(OLESTR("Repository"), map, _stringx(missing)),
              kv::status::kNotOpened);
    EXPECT_EQ(file.SetAttribValueToXmlFile(OLESTR("Repository"), OLESTR("Key"),
                                           _stringx(OLESTR("x")), _stringx(missing)),
              kv::status::kNotOpened);
    EXPECT_EQ(file.SetAttribValuesToXmlFile(OLESTR("Repository"), map, _stringx(missing)),
              kv::status::kNotOpened);
    EXPECT_EQ(status.messages, std::vector<std::string>(3, "Error opening XML file " + missing));
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(RepoDataTest, AFileThatCannotBeSavedReportsMessageOneEvenToRoot) {
    std::filesystem::permissions(path, kvtest::kReadOnly);
    EXPECT_EQ(file.Set(OLESTR("Repository"), OLESTR("Name"), OLESTR("x")), kv::status::kNotSaved);
    XmlAttribMap map;
    EXPECT_EQ(file.SetAttribValuesToXmlFile(OLESTR("Repository"), map), kv::status::kNotSaved);
    EXPECT_EQ(ReadText(path), kList);
    EXPECT_EQ(kvtest::Names(tree.root()), std::vector<std::string>{"list.xml"});  // no temporary

    XMLIntercessor document;
    ASSERT_EQ(file.OpenXmlFile(document), 0);
    const std::string nowhere = (tree / "gone" / "list.xml").string();
    EXPECT_EQ(file.SaveXmlFile(_stringx(nowhere), document), kv::status::kNotSaved);
    EXPECT_THAT(status.messages, ElementsAre("Unable to save XML file " + path + ".",
                                             "Unable to save XML file " + path + ".",
                                             "Unable to save XML file " + nowhere + "."));
}

// A save, under the file's lock, removes the temporary files that killed
// saves left beside it, and none that a live writer holds.
TEST_F(RepoDataTest, ASaveRemovesTheLeftoversBesideItsFile) {
    WriteText(tree / ".kv1F.tmp", "killed");
    WriteText(tree / "kvc2.tmp", "killed");
    const std::string live = WriteText(tree / ".kv3.tmp", "live");
    kv::TemporaryFileHold hold;
    ASSERT_EQ(hold.Take(live), ERROR_SUCCESS);
    EXPECT_EQ(file.Set(OLESTR("Repository"), OLESTR("Name"), OLESTR("x")), 0);
    EXPECT_EQ(kvtest::Names(tree.root()), (std::vector<std::string>{".kv3.tmp", "list.xml"}));
}

#ifdef _WIN32
// A reader that holds the data file open without delete sharing keeps a save
// from putting the new file in place: the save waits a while for it, then
// fails with message 1 and the file keeps its bytes.
TEST_F(RepoDataTest, AReaderThatSharesNoDeletionFailsTheSaveAndKeepsTheBytes) {
    const HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(file.Set(OLESTR("Repository"), OLESTR("Name"), OLESTR("x")), kv::status::kNotSaved);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    CloseHandle(reader);
    EXPECT_EQ(ReadText(path), kList);
    EXPECT_EQ(kvtest::Names(tree.root()), std::vector<std::string>{"list.xml"});
    EXPECT_THAT(status.messages, ElementsAre("Unable to save XML file " + path + "."));
    EXPECT_EQ(file.Set(OLESTR("Repository"), OLESTR("Name"), OLESTR("x")), 0);
}
#endif

// A save that runs out of room, on a full file system (where this process may
// mount one) or past a file-size limit, is a failed save that leaves the old
// bytes and no temporary file; a save that fits works again afterwards.
class OutOfRoomTest : public testing::TestWithParam<bool> {};

TEST_P(OutOfRoomTest, ASaveThatRunsOutOfRoomFailsAndKeepsTheOldBytes) {
    const bool fullFileSystem = GetParam();
    kvtest::TempTree tree;
    std::filesystem::path folder = tree.root();
    std::unique_ptr<kvtest::SmallFileSystem> small;
    if (fullFileSystem) {
        small = std::make_unique<kvtest::SmallFileSystem>((tree / "small").string(), 64 * 1024);
        if (!small->Mounted())
            GTEST_SKIP() << "cannot mount a tmpfs here: " << small->Error();
        folder = tree / "small";
    } else if (kvtest::kNoFileSizeLimit) {
        GTEST_SKIP() << kvtest::kNoFileSizeLimit;
    }
    const std::string path = WriteText(folder / "list.xml", kList);
    kvtest::ChildProcess saver([&](auto&) {
        if (!fullFileSystem && !kvtest::LimitFileSize(16 * 1024))
            return 2;
        kvtest::RecordingStatus status;
        DataFile writer(&status, path);
        const _stringx big(std::string(100 * 1024, 'x'));  // fits in neither
        if (writer.Set(OLESTR("Repository"), OLESTR("Name"), big.c_str()) != kv::status::kNotSaved)
            return 3;
        return status.messages == std::vector<std::string>{"Unable to save XML file " + path + "."}
                   ? 0
                   : 4;
    });
    EXPECT_EQ(saver.Wait(), 0);
    EXPECT_EQ(ReadText(path), kList);
    EXPECT_EQ(kvtest::Names(folder), std::vector<std::string>{"list.xml"});
    DataFile file(nullptr, path);
    EXPECT_EQ(file.Set(OLESTR("Repository"), OLESTR("Name"), OLESTR("fits")), 0);
}

INSTANTIATE_TEST_SUITE_P(Limits, OutOfRoomTest, testing::Bool(), [](const auto& info) {
    return info.param ? "FullFileSystem" : "FileSizeLimit";
});

TEST_F(RepoDataTest, AValueXmlCannotCarryIsNotSavedAndTheFileStaysWhole) {
    // Written as character references, these would make a file that strict
    // parsers refuse.
    for (const OLECHAR* value : {OLESTR("a\u0001b"), OLESTR("\u001F"), OLESTR("x\uFFFE")}) {
        EXPECT_EQ(file.Set(OLESTR("Repository[@Key=\"Net\"]"), OLESTR("Name"), value),
                  kv::status::kNotSaved);
        XmlAttribMap map;
        map[_stringx(OLESTR("Key"))] = CComVariant(value);
        EXPECT_EQ(file.SetAttribValuesToXmlFile(OLESTR("Repository[@Key=\"New\"]"), map),
                  kv::status::kNotSaved);
    }
    EXPECT_EQ(ReadText(path), kList);
    EXPECT_EQ(status.messages.size(), 6u);
    // Names that are none are not set, nor made into elements: the save
    // goes on without them.
    EXPECT_EQ(file.Set(OLESTR("Repository[@Key=\"Net\"]"), OLESTR("bad name"), OLESTR("x")), 0);
    XmlAttribMap map;
    EXPECT_EQ(file.SetAttribValuesToXmlFile(OLESTR("Bad Name"), map), 0);
    const std::string saved = ReadText(path);
    EXPECT_EQ(saved.find("bad"), std::string::npos);
    EXPECT_EQ(saved.find("Bad"), std::string::npos);
}

// A name that is not rooted is read from under the support folder and saved
// relative to the current folder, locked there, where it may not exist yet: a
// write that fails leaves no file behind.
TEST_F(RepoDataTest, ARelativeNameIsReadFromTheSupportFolderAndSavedHere) {
    namespace fs = std::filesystem;
    WriteText(tree / "Support/rel.xml", kList);
    WriteText(tree / "Support/sub/rel.xml", kList);  // named with a backslash below
    fs::create_directories(tree / "Work");
    kvtest::ScopedEnv support("KV_SUPPORT_DIR", tree / "Support");
    kvtest::ScopedEnv timeout("KV_LOCK_TIMEOUT_MS", "0");
    kvtest::ScopedCwd cwd(tree / "Work");
    DataFile relative(&status, "rel.xml");
    XmlAttribMap map;
    map[_stringx(OLESTR("Key"))] = CComVariant(OLESTR("New"));
    EXPECT_EQ(relative.SetAttribValuesToXmlFile(OLESTR("Repository[@Key=\"New\"]"), map), 0);
    EXPECT_EQ(relative.Set(OLESTR("Repository[@Key=\"Net\"]"), OLESTR("Name"), OLESTR("Saved")), 0);
    EXPECT_EQ(ReadText(tree / "Support/rel.xml"), kList);
    const std::string saved = ReadText(tree / "Work/rel.xml");
    EXPECT_NE(saved.find("Saved"), std::string::npos);
    EXPECT_EQ(saved.find("New"), std::string::npos);  // each write starts from the support copy

    // The lock is the saved file's.
    kv::DataFileLock holder;
    ASSERT_EQ(holder.Acquire(_stringx(OLESTR("rel.xml"))), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(relative.Set(OLESTR("Repository"), OLESTR("Name"), OLESTR("x")),
              kv::status::kNotSaved);
    holder.Release();
    ASSERT_EQ(holder.Acquire(_stringx((tree / "Support/rel.xml").string())), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(relative.Set(OLESTR("Repository"), OLESTR("Name"), OLESTR("x")), 0);
    holder.Release();

    // Failed writes: a value XML cannot carry, a folder that is not here, a
    // name the support folder does not hold.
    fs::remove(tree / "Work/rel.xml");
    EXPECT_EQ(relative.Set(OLESTR("Repository"), OLESTR("Name"), OLESTR("\u0001")),
              kv::status::kNotSaved);
    EXPECT_EQ(
        DataFile(&status, "sub\\rel.xml").Set(OLESTR("Repository"), OLESTR("Name"), OLESTR("x")),
        kv::status::kNotSaved);
    EXPECT_EQ(DataFile(&status, "none.xml").Set(OLESTR("Repository"), OLESTR("Name"), OLESTR("x")),
              kv::status::kNotOpened);
    EXPECT_TRUE(kvtest::Names(tree / "Work").empty());
    EXPECT_THAT(
        status.messages,
        ElementsAre("Unable to save XML file rel.xml.", "Unable to save XML file rel.xml.",
                    "Unable to save XML file sub\\rel.xml.", "Error opening XML file none.xml"));
}

TEST_F(RepoDataTest, AQuoteInAKeyReadsAndChangesNothing) {
    // A first save writes the document in its saved form, to compare against.
    ASSERT_EQ(file.Set(OLESTR("None"), OLESTR("x"), OLESTR("y")), 0);
    const std::string before = ReadText(path);
    for (const OLECHAR* key :
         {OLESTR("a\"] | //*[@x=\""), OLESTR("x\" or \"1\"=\"1"), OLESTR("Local\"")}) {
        const _stringx xpath = xmlutils::FormatXPath(xmlutils::kXPathRepositoryByAttrib,
                                                     {OLESTR("Key"), _stringx(key)});
        EXPECT_EQ(file.Get(xpath.c_str(), OLESTR("Name")), "<-101>");
        EXPECT_EQ(file.Set(xpath.c_str(), OLESTR("Name"), OLESTR("evil")), 0);
    }
    EXPECT_EQ(ReadText(path), before);
    EXPECT_EQ(file.Get(OLESTR("Repository[@Key=\"Local\"]"), OLESTR("Name")), "Mine");
}

}  // namespace
