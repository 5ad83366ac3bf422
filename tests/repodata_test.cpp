#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "foundation/filelock.h"
#include "process_util.h"
#include "xml/repodata.h"
#include "xml/xpath.h"
#include "xml_test_util.h"

namespace {

using kvtest::ReadText;
using kvtest::WriteText;
using testing::ElementsAre;

// A data-backed object whose own file is set by the test.
class DataFile : public CRepoData {
public:
    DataFile(IRepoStatus* status, std::string path) : CRepoData(status), path_(std::move(path)) {}
    _stringx GetRepoDataFilePath() override { return _stringx(path_); }
    using CRepoData::SaveXmlFile;

private:
    std::string path_;
};

constexpr const char* kList =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<Repositories>\n"
    "  <Repository Key=\"Local\" Name=\"Mine\" Local=\"1\"/>\n"
    "  <Repository Key=\"Net\" Name=\"Shared\" Local=\"0\"/>\n"
    "</Repositories>\n";

class RepoDataTest : public testing::Test {
protected:
    void SetUp() override { path = WriteText(tree / "list.xml", kList); }

    kvtest::TempTree tree;
    kvtest::RecordingStatus status;
    std::string path;
    DataFile data{&status, ""};
    DataFile own() { return DataFile(&status, path); }
};

TEST_F(RepoDataTest, ReadsOneAttributeOrLeavesTheValueAlone) {
    DataFile file = own();
    _stringx value(u"untouched");
    EXPECT_EQ(file.GetAttribValueFromXmlFile(_stringx(u"Repository[@Key=\"Net\"]"),
                                             _stringx(u"Name"), value),
              0);
    EXPECT_EQ(U8(value), "Shared");
    value = _stringx(u"untouched");
    EXPECT_EQ(file.GetAttribValueFromXmlFile(_stringx(u"Repository"), _stringx(u"Missing"), value),
              -101);
    EXPECT_EQ(file.GetAttribValueFromXmlFile(_stringx(u"Nothing"), _stringx(u"Name"), value), -101);
    EXPECT_EQ(file.GetAttribValueFromXmlFile(_stringx(u"Repository"), _stringx(u"name"), value),
              -101);  // names are case-sensitive
    EXPECT_EQ(U8(value), "untouched");
    EXPECT_TRUE(status.messages.empty());
}

TEST_F(RepoDataTest, MissingEmptyOrMalformedFilesReportMessageTwo) {
    const std::string missing = (tree / "missing.xml").string();
    const std::string empty = WriteText(tree / "empty.xml", "");
    const std::string malformed = WriteText(tree / "bad.xml", "<Repositories><Repository>");
    XmlAttribMap map;
    _stringx value;
    EXPECT_EQ(data.GetAttribValuesFromXmlFile(_stringx(u"Repository"), map, _stringx(missing)),
              -103);
    EXPECT_EQ(data.GetAttribValueFromXmlFile(_stringx(u"Repository"), _stringx(u"Key"), value,
                                             _stringx(empty)),
              -101);
    EXPECT_EQ(data.SetAttribValueToXmlFile(_stringx(u"Repository"), _stringx(u"Key"),
                                           _stringx(u"x"), _stringx(malformed)),
              -103);
    EXPECT_EQ(data.SetAttribValuesToXmlFile(_stringx(u"Repository"), map, _stringx(missing)), -103);
    EXPECT_THAT(
        status.messages,
        ElementsAre("Error opening XML file " + missing, "Error opening XML file " + empty,
                    "Error opening XML file " + malformed, "Error opening XML file " + missing));
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(ReadText(malformed), "<Repositories><Repository>");
}

TEST_F(RepoDataTest, ReadingAllAttributesReplacesOrKeepsTheMap) {
    DataFile file = own();
    XmlAttribMap map;
    map[_stringx(u"Stale")] = CComVariant(u"x");
    EXPECT_EQ(file.GetAttribValuesFromXmlFile(_stringx(u"Repository"), map), 0);
    EXPECT_EQ(map.size(), 3u);
    EXPECT_EQ(kvtest::Attr(map, u"Key"), "Local");
    EXPECT_EQ(file.GetAttribValuesFromXmlFile(_stringx(u"Nothing"), map), 0);
    EXPECT_EQ(map.size(), 3u);
}

TEST_F(RepoDataTest, AGivenFileIsUsedInsteadOfTheOwnOne) {
    const std::string other = WriteText(tree / "other.xml", "<R><Repository Name=\"Other\"/></R>");
    DataFile file = own();
    _stringx value;
    EXPECT_EQ(file.GetAttribValueFromXmlFile(_stringx(u"Repository"), _stringx(u"Name"), value,
                                             _stringx(other)),
              0);
    EXPECT_EQ(U8(value), "Other");
    EXPECT_EQ(file.GetAttribValueFromXmlFile(_stringx(u"Repository"), _stringx(u"Name"), value,
                                             _stringx()),
              0);
    EXPECT_EQ(U8(value), "Mine");
}

TEST_F(RepoDataTest, SettingOneAttributeSavesEvenWhenNothingIsSelected) {
    DataFile file = own();
    EXPECT_EQ(file.SetAttribValueToXmlFile(_stringx(u"Repository[@Key=\"Net\"]"), _stringx(u"Name"),
                                           _stringx(u"Gr\u00FC\u00DFe \u20AC")),
              0);
    _stringx value;
    file.GetAttribValueFromXmlFile(_stringx(u"Repository[@Key=\"Net\"]"), _stringx(u"Name"), value);
    EXPECT_EQ(value, _stringx(u"Gr\u00FC\u00DFe \u20AC"));

    const std::string before = ReadText(path);
    EXPECT_EQ(file.SetAttribValueToXmlFile(_stringx(u"Repository[@Key=\"None\"]"),
                                           _stringx(u"Name"), _stringx(u"x")),
              0);
    EXPECT_EQ(ReadText(path), before);
}

TEST_F(RepoDataTest, SettingAMapCreatesTheMissingLastStep) {
    DataFile file = own();
    XmlAttribMap map;
    map[_stringx(u"Key")] = CComVariant(u"New");
    map[_stringx(u"Local")] = CComVariant(u"1");
    EXPECT_EQ(file.SetAttribValuesToXmlFile(_stringx(u"Repository[@Key=\"New\"]"), map), 0);
    XmlAttribMap read;
    EXPECT_EQ(file.GetAttribValuesFromXmlFile(_stringx(u"Repository[@Key=\"New\"]"), read), 0);
    EXPECT_EQ(read.size(), 2u);
    EXPECT_EQ(kvtest::Attr(read, u"Local"), "1");
}

TEST_F(RepoDataTest, AttributeMapValuesReadAsText) {
    XmlAttribMap map;
    map[_stringx(u"n")] = CComVariant(LONG(42));
    map[_stringx(u"b")] = CComVariant(true);
    _stringx value(u"kept");
    EXPECT_TRUE(data.GetAttribValue(_stringx(u"n"), map, value));
    EXPECT_EQ(U8(value), "42");
    EXPECT_EQ(U8(data.GetAttribValue(_stringx(u"b"), map)), "-1");
    EXPECT_FALSE(data.GetAttribValue(_stringx(u"N"), map, value));
    EXPECT_EQ(U8(value), "42");
    EXPECT_EQ(U8(data.GetAttribValue(_stringx(u"N"), map)), "");
}

TEST_F(RepoDataTest, AReadOnlyFileIsNotSavedEvenByRoot) {
    std::filesystem::permissions(
        path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    DataFile file = own();
    EXPECT_EQ(
        file.SetAttribValueToXmlFile(_stringx(u"Repository"), _stringx(u"Name"), _stringx(u"x")),
        -102);
    XmlAttribMap map;
    EXPECT_EQ(file.SetAttribValuesToXmlFile(_stringx(u"Repository"), map), -102);
    EXPECT_THAT(status.messages, ElementsAre("Unable to save XML file " + path + ".",
                                             "Unable to save XML file " + path + "."));
    EXPECT_EQ(ReadText(path), kList);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tree.root()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(RepoDataTest, ASaveToAMissingFolderReportsMessageOne) {
    DataFile file = own();
    XMLIntercessor document;
    ASSERT_EQ(file.OpenXmlFile(document), 0);
    const std::string nowhere = (tree / "gone" / "list.xml").string();
    EXPECT_EQ(file.SaveXmlFile(_stringx(nowhere), document), -102);
    EXPECT_THAT(status.messages, ElementsAre("Unable to save XML file " + nowhere + "."));
}

TEST_F(RepoDataTest, ALockHeldElsewhereTooLongIsAFailedSave) {
    kvtest::ScopedEnv timeout("KV_LOCK_TIMEOUT_MS", "200");
    kv::DataFileLock holder;
    ASSERT_EQ(holder.Acquire(_stringx(path)), DWORD(ERROR_SUCCESS));
    DataFile file = own();
    EXPECT_EQ(
        file.SetAttribValueToXmlFile(_stringx(u"Repository"), _stringx(u"Name"), _stringx(u"x")),
        -102);
    EXPECT_THAT(status.messages, ElementsAre("Unable to save XML file " + path + "."));
    EXPECT_EQ(ReadText(path), kList);
    holder.Release();
    EXPECT_EQ(
        file.SetAttribValueToXmlFile(_stringx(u"Repository"), _stringx(u"Name"), _stringx(u"x")),
        0);
}

TEST_F(RepoDataTest, AQuoteInAKeyReadsAndChangesNothing) {
    DataFile file = own();
    // A first save writes the document in its saved form, to compare against.
    ASSERT_EQ(file.SetAttribValueToXmlFile(_stringx(u"None"), _stringx(u"x"), _stringx(u"y")), 0);
    const std::string before = ReadText(path);
    for (const char16_t* key : {u"a\"] | //*[@x=\"", u"x\" or \"1\"=\"1", u"Local\""}) {
        const _stringx xpath = xmlutils::FormatXPath(xmlutils::kXPathRepositoryByAttrib,
                                                     {_stringx(u"Key"), _stringx(key)});
        _stringx value(u"none");
        EXPECT_EQ(file.GetAttribValueFromXmlFile(xpath, _stringx(u"Name"), value), -101);
        EXPECT_EQ(U8(value), "none");
        EXPECT_EQ(file.SetAttribValueToXmlFile(xpath, _stringx(u"Name"), _stringx(u"evil")), 0);
    }
    EXPECT_EQ(ReadText(path), before);
    _stringx value;
    file.GetAttribValueFromXmlFile(_stringx(u"Repository[@Key=\"Local\"]"), _stringx(u"Name"),
                                   value);
    EXPECT_EQ(U8(value), "Mine");
    file.GetAttribValueFromXmlFile(_stringx(u"Repository[@Key=\"Net\"]"), _stringx(u"Name"), value);
    EXPECT_EQ(U8(value), "Shared");
}

TEST_F(RepoDataTest, ConcurrentWritersLoseNoUpdate) {
    constexpr int kProcesses = 4;
    constexpr int kEach = 50;
    const int succeeded = kvtest::RunAll(kProcesses, [this](int process) {
        DataFile file(nullptr, path);
        for (int i = 0; i < kEach; ++i) {
            XmlAttribMap map;
            map[_stringx(u"By")] = CComVariant(LONG(process));
            const std::string id = std::to_string(process) + "-" + std::to_string(i);
            const _stringx xpath = xmlutils::FormatXPath("Items/Item[@Id=\"%s\"]", {_stringx(id)});
            map[_stringx(u"Id")] = CComVariant(_stringx(id).c_str());
            if (file.SetAttribValuesToXmlFile(xpath, map) != 0)
                return 1;
        }
        return 0;
    });
    EXPECT_EQ(succeeded, kProcesses);
    XMLIntercessor document;
    DataFile file = own();
    ASSERT_EQ(file.OpenXmlFile(document), 0);
    std::vector<XmlNodeEntry> items;
    EXPECT_EQ(document.GetChildNodes(u"Items", items), kProcesses * kEach);
}

TEST_F(RepoDataTest, AKilledSaveLeavesTheOldOrTheNewContentWhole) {
    // About 150 KB of items; the saver flips one attribute back and forth.
    std::string big = "<R><Flag v=\"old\"/>";
    for (int i = 0; i < 2500; ++i)
        big += "<Item Name=\"item number " + std::to_string(i) + " with some padding text\"/>";
    big += "</R>";
    WriteText(path, big);
    std::mt19937 random(12345);
    for (int round = 0; round < 100; ++round) {
        const pid_t saver = kvtest::Spawn([this]() -> int {
            DataFile file(nullptr, path);
            for (int i = 0;; ++i)
                file.SetAttribValueToXmlFile(_stringx(u"Flag"), _stringx(u"v"),
                                             _stringx(i % 2 ? u"old" : u"new"));
        });
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        kvtest::Kill(saver);

        DataFile file = own();
        _stringx flag;
        ASSERT_EQ(file.GetAttribValueFromXmlFile(_stringx(u"Flag"), _stringx(u"v"), flag), 0)
            << "round " << round;
        ASSERT_TRUE(U8(flag) == "old" || U8(flag) == "new");
        XMLIntercessor document;
        ASSERT_EQ(file.OpenXmlFile(document), 0);
        std::vector<XmlNodeEntry> children;
        ASSERT_EQ(document.GetChildNodes(u"/R", children), 2501);
    }
    EXPECT_TRUE(status.messages.empty());
}

}  // namespace
