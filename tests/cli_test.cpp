// The command-line tool, run as a subprocess on a copy of the example
// repositories: what it prints, what it changes and how it exits.
#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <map>
#include <optional>
#include <set>

#include "foundation/platform/text.h"
#include "process_util.h"
#include "test_util.h"

namespace {

using namespace kvtest;
using nlohmann::json;
using testing::HasSubstr;

struct Outcome {
    int status;
    std::string out, err;
    json Json() const { return json::parse(out); }
};

// "kind subject" of every finding of a verify report.
std::set<std::string> Findings(const json& report) {
    std::set<std::string> found;
    for (const json& repository : report)
        for (const json& finding : repository["findings"])
            found.insert(finding["kind"].get<std::string>() + " " +
                         finding["subject"].get<std::string>());
    return found;
}

// A path the tool printed (UTF-8) or a test made, to compare as paths: the
// tool joins with the system's separator where a test may have written "/".
fs::path AsPath(const json& printed) {
    return fs::u8path(printed.get<std::string>()).lexically_normal();
}
fs::path AsPath(const fs::path& path) {
    return path.lexically_normal();
}

std::set<std::string> Values(const json& array, const char* field) {
    std::set<std::string> values;
    for (const json& element : array)
        values.insert(element.at(field).get<std::string>());
    return values;
}

class CliTest : public testing::Test {
protected:
    CliTest() { fs::copy(KVREPO_EXAMPLES_DIR, examples, fs::copy_options::recursive); }

    // Runs the tool with `args`; standard input is a file that holds `input`,
    // so it is never a terminal.
    Outcome Run(const std::vector<std::string>& args, const std::string& input = "") {
        const std::string in = WriteText(tree / "stdin", input);
        const fs::path out = tree / "stdout", err = tree / "stderr";
        const int status =
            RunProgram(KVREPO_TOOL, args, environment, in, out.string(), err.string());
        return {status, ReadText(out), ReadText(err)};
    }
    TempTree tree;
    const fs::path examples = tree / "examples";
    Environment environment{{"KVREPO_LIST", (examples / "Repositories.xml").string()}};
};

TEST_F(CliTest, ListsAndReadsTheExamples) {
    const json list = Run({"repos", "--json"}).Json();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0],
              (json{{"key", "Local"},
                    {"local", true},
                    {"exists", true},
                    {"dataFile", examples.string() + "/local/Repository.xml"},  // as listed
                    {"displayName", "Example local repository"}}));
    EXPECT_EQ(list[1]["local"], false);

    EXPECT_EQ(
        Values(Run({"items", "Dialogs/*", "--json"}).Json(), "fileName"),
        (std::set<std::string>{"welcome.kvd", "license.kvd", "finish.kvd", "custom_setup.kvd"}));
    EXPECT_EQ(Values(Run({"items", "Dialogs/*", "--local", "--json"}).Json(), "repository"),
              std::set<std::string>{"Local"});
    const json one = Run({"--json", "items", "Templates/basic.kvt", "--repo", "Local"}).Json();
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0]["displayName"], "Basic installation");
    EXPECT_EQ(one[0]["displayPath"], "<KVREPOSITORY>\\Templates\\basic.kvt");
    const std::string separator(1, static_cast<char>(kv::platform::kPathSeparator));
    EXPECT_EQ(one[0]["localCopy"], examples.string() + "/local" + separator + "Templates" +
                                       separator + "basic.kvt");  // the listed folder, joined
    // Records are written as they are made: every character arrives, escaped
    // where JSON asks it; no item is an empty array.
    std::set<std::string> odd{
        "gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC.kvd"};  // grüße €
    if (!kvtest::kNoSymlinks)   // POSIX: names may hold quotes and tabs
        odd.insert("q\"uote \ttab.kvd");
    const std::set<std::string> files = odd;
    for (const std::string& name : files)
        WriteText(examples / "local/Dialogs" / fs::u8path(name), name);
    const fs::path data = examples / "local/Repository.xml";
    std::string text = ReadText(data);
    const std::string welcome = "\"Welcome dialog\"";
    text.replace(text.find(welcome), welcome.size(), "\"Welcome&#10;dialog&#9;&#x1F600;\"");
    WriteText(data, text);
    odd.insert("Welcome\ndialog\t\xF0\x9F\x98\x80");
    const json listed = Run({"items", "Dialogs/*", "--repo", "Local", "--json"}).Json();
    for (const std::string& name : odd)
        EXPECT_EQ(Values(listed, "displayName").count(name), 1u) << name;
    WriteText(data, ReadText(KVREPO_EXAMPLES_DIR "/local/Repository.xml"));
    for (const std::string& name : files)
        fs::remove(examples / "local/Dialogs" / fs::u8path(name));
    EXPECT_EQ(Run({"items", "None/*", "--repo", "Local", "--json"}).out, "[]\n");
    EXPECT_THAT(Run({"items", "KVScripts/*", "--all"}).out,
                testing::AllOf(HasSubstr("DISPLAY NAME"), HasSubstr("Script notes")));
    EXPECT_EQ(Run({"repo", "get", "Local", "DisplayName"}).out, "Example local repository\n");
    EXPECT_EQ(
        Run({"item", "get", "Network", "Dialogs/finish.kvd", "Version", "--json"}).Json()["value"],
        "2.0");

    // The data files agree with their folders.
    const Outcome verify = Run({"verify", "--json"});
    EXPECT_EQ(verify.status, 0) << verify.out;
    EXPECT_EQ(verify.Json().size(), 2u);
    EXPECT_TRUE(Findings(verify.Json()).empty());
}

TEST_F(CliTest, ChangesPublishesAndDeletes) {
    ASSERT_EQ(Run({"repo", "set", "Local", "DisplayName", "Mine"}).status, 0);
    EXPECT_EQ(Run({"repo", "get", "Local", "DisplayName"}).out, "Mine\n");
    // Only the property set reaches the data file, not what the catalogue cached.
    ASSERT_EQ(Run({"item", "set", "Local", "Dialogs/welcome.kvd", "Version", "2.1"}).status, 0);
    EXPECT_EQ(Run({"item", "get", "Local", "Dialogs/welcome.kvd", "Version"}).out, "2.1\n");
    EXPECT_THAT(ReadText(examples / "local/Repository.xml"), testing::Not(HasSubstr("LocalCopy")));

    const std::string source = WriteText(tree / "work/Setup.kvd", "first");
    const Outcome published = Run({"publish", "Local", source, "--type", "Dialogs", "--set",
                                   "DisplayName=Setup", "--set", "Author=me", "--json"});
    ASSERT_EQ(published.status, 0) << published.err;
    const fs::path target = examples / "local/Dialogs/Setup.kvd";
    EXPECT_EQ(published.Json()["displayPath"], "<KVREPOSITORY>\\Dialogs\\setup.kvd");
    EXPECT_EQ(AsPath(published.Json()["localCopy"]), AsPath(target));
    EXPECT_EQ(ReadText(target), "first");
    EXPECT_EQ(Run({"item", "get", "Local", "Dialogs/setup.kvd", "Author"}).out, "me\n");

    // Standard input is no terminal: the overwrite question is answered no.
    WriteText(source, "second");
    const Outcome declined = Run({"publish", "Local", source, "--type", "Dialogs"}, "y\n");
    EXPECT_EQ(declined.status, 1);
    EXPECT_THAT(declined.err, HasSubstr("status -109 (overwriting an existing file was declined)"));
    EXPECT_EQ(ReadText(target), "first");
    EXPECT_EQ(Run({"publish", "Local", source, "--type", "Dialogs", "--yes"}).status, 0);
    EXPECT_EQ(ReadText(target), "second");
    EXPECT_EQ(Run({"item", "get", "Local", "Dialogs/setup.kvd", "DisplayName"}).out, "Setup\n");

    EXPECT_EQ(AsPath(Run({"delete", "Local", "Dialogs/setup.kvd", "--json"}).Json()["deleted"]),
              AsPath(target));
    EXPECT_FALSE(fs::exists(target));
    // The entry stays behind, and verify finds it.
    const Outcome verify = Run({"verify", "Local", "--json"});
    EXPECT_EQ(verify.status, 1);
    EXPECT_EQ(Findings(verify.Json()), std::set<std::string>{"missing-file setup.kvd"});
}

TEST_F(CliTest, CopiesAnItemAskingBeforeItOverwrites) {
    const fs::path network = examples / "network";
    const Outcome copied = Run({"copy", "Local", "Templates/basic.kvt", "Network", "--json"});
    ASSERT_EQ(copied.status, 0) << copied.err;
    EXPECT_EQ(copied.Json()["displayPath"], "<KVREPOSITORY>\\Templates\\basic.kvt");
    EXPECT_EQ(copied.Json()["replaced"], false);
    EXPECT_EQ(ReadText(network / "Templates/basic/readme.txt"),
              ReadText(examples / "local/Templates/basic/readme.txt"));
    EXPECT_EQ(Run({"item", "get", "Network", "Templates/basic.kvt", "DisplayName"}).out,
              "Basic installation\n");
    EXPECT_THAT(ReadText(network / "Repository.xml"), testing::Not(HasSubstr("LocalCopy")));

    // The answer is no without a terminal: nothing changes, not even the data file.
    WriteText(network / "Dialogs/welcome.kvd", "theirs");
    const std::string data = ReadText(network / "Repository.xml");
    const Outcome declined = Run({"copy", "Local", "Dialogs/welcome.kvd", "Network"}, "y\n");
    EXPECT_EQ(declined.status, 1);
    EXPECT_THAT(declined.err, HasSubstr("status -109"));
    EXPECT_EQ(ReadText(network / "Dialogs/welcome.kvd"), "theirs");
    EXPECT_EQ(ReadText(network / "Repository.xml"), data);
    // Declined as asked: no hint that a terminal was missing.
    const Outcome refused =
        Run({"copy", "Local", "Dialogs/welcome.kvd", "Network", "--no-overwrite"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.err, testing::Not(HasSubstr("terminal")));
    const Outcome replaced = Run({"copy", "Local", "Dialogs/welcome.kvd", "Network", "--yes"});
    EXPECT_EQ(replaced.status, 0);
    EXPECT_THAT(replaced.out, HasSubstr("Replaced <KVREPOSITORY>\\Dialogs\\welcome.kvd"));
    EXPECT_EQ(ReadText(network / "Dialogs/welcome.kvd"),
              ReadText(examples / "local/Dialogs/welcome.kvd"));

    EXPECT_EQ(Run({"copy", "Local", "Dialogs/none.kvd", "Network"}).status, 1);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"copy", "Local", "Dialogs/*", "Network"},
             {"copy", "Local", "Dialogs/welcome.kvd", "Local"},
             {"copy", "Local", "Dialogs/welcome.kvd", "Network", "--yes", "--no-overwrite"},
             {"sync", "Local", "Network", "--type", "Pictures"}})
        EXPECT_EQ(Run(args).status, 2) << testing::PrintToString(args);
}

TEST_F(CliTest, SyncsWhatIsMissingAndWithUpdateWhatDiffers) {
    const fs::path network = examples / "network";
    // The same bytes written later, and other bytes.
    WriteText(network / "Dialogs/welcome.kvd", ReadText(examples / "local/Dialogs/welcome.kvd"));
    WriteText(network / "Dialogs/license.kvd", "other");
    const auto unchanged = Tree(network);
    const Outcome dry = Run({"sync", "Local", "Network", "--update", "--dry-run", "--json"});
    ASSERT_EQ(dry.status, 0) << dry.err;
    std::set<std::string> planned;
    const json report = dry.Json();
    for (const json& item : report["items"])
        planned.insert(item["reason"].get<std::string>() + " " +
                       item["fileName"].get<std::string>());
    EXPECT_EQ(planned, (std::set<std::string>{"differs license.kvd", "missing basic.kvt",
                                              "missing create_tables.sql", "missing notes.txt",
                                              "missing prepare.kvs", "missing find_runtime.ini",
                                              "missing runtime.msm"}));
    EXPECT_EQ(Tree(network), unchanged);

    const Outcome dialogs = Run({"sync", "Local", "Network", "--type", "Dialogs", "--json"});
    EXPECT_EQ(dialogs.status, 0);
    EXPECT_TRUE(dialogs.Json()["items"].empty());  // both dialogs are there
    const Outcome declined = Run({"sync", "Local", "Network", "--update", "--json"});
    EXPECT_EQ(declined.status, 1);
    EXPECT_EQ(ReadText(network / "Dialogs/license.kvd"), "other");
    EXPECT_TRUE(fs::exists(network / "Templates/basic/banner.txt"));
    const Outcome updated = Run({"sync", "Local", "Network", "--update", "--yes"});
    EXPECT_EQ(updated.status, 0) << updated.err;
    EXPECT_THAT(updated.out, HasSubstr("1 of 1 item(s) copied"));
    EXPECT_EQ(ReadText(network / "Dialogs/license.kvd"),
              ReadText(examples / "local/Dialogs/license.kvd"));
    EXPECT_THAT(Run({"sync", "Local", "Network", "--update"}).out, HasSubstr("Nothing to copy"));
    EXPECT_EQ(Run({"item", "get", "Network", "Dialogs/license.kvd", "DisplayName"}).out,
              "License agreement\n");

    // An item of a group whose Key names no type is refused, named, when planned.
    WriteText(examples / "local/SqlScripts/extra.sql", "extra");
    const fs::path data = examples / "local/Repository.xml";
    std::string text = ReadText(data);
    const std::string key = "Key=\"SqlScripts\"";
    text.replace(text.find(key), key.size(), "Key=\"Custom\"");
    WriteText(data, text);
    const Outcome plan =
        Run({"sync", "Local", "Network", "--type", "SqlScripts", "--dry-run", "--json"});
    EXPECT_EQ(plan.status, 1);
    ASSERT_EQ(plan.Json()["items"].size(), 1u);
    EXPECT_EQ(plan.Json()["items"][0]["action"], "refused");
    EXPECT_THAT(plan.Json()["items"][0]["error"].get<std::string>(), HasSubstr("Key \"Custom\""));
    EXPECT_EQ(Run({"sync", "Local", "Network", "--type", "SqlScripts"}).status, 1);
    EXPECT_FALSE(fs::exists(network / "SqlScripts/extra.sql"));
}

// Verify reads the list too, and names a repository it could not read in
// its report; repos says what an odd Local value means.
TEST_F(CliTest, VerifyReportsTheListAndRepositoriesThatDoNotLoad) {
    const fs::path list = examples / "Repositories.xml";
    std::string text = ReadText(list);
    text.replace(text.find("Local=\"1\""), 9, "Local=\"True\"");
    WriteText(list, text);
    const Outcome repos = Run({"repos"});
    EXPECT_THAT(repos.out, HasSubstr("network"));
    EXPECT_THAT(repos.err, HasSubstr("Local=\"True\" is read as a network repository"));
    WriteText(examples / "network/Repository.xml", "<Repository>");
    const Outcome verify = Run({"verify", "--json"});
    EXPECT_EQ(verify.status, 1);
    std::map<std::string, std::string> records;
    for (const json& record : verify.Json())
        records[record.value("key", "(list)")] =
            record.contains("error") ? "error " + std::to_string(record["status"].get<long>())
                                     : std::to_string(record["findings"].size()) + " finding(s)";
    EXPECT_EQ(records, (std::map<std::string, std::string>{{"(list)", "1 finding(s)"},
                                                           {"Local", "0 finding(s)"},
                                                           {"Network", "error -103"}}));
}

// Text that windows-1252, the usual ANSI code page on Windows, holds beyond
// ASCII: in a folder, a file name, an item path and a property value, in and
// out through arguments, table and JSON output and the file system.
TEST_F(CliTest, KeepsLatin1AndEuroTextIntact) {
    const fs::path folder = tree / fs::u8path("D\u00e9p\u00f4t \u20ac");
    ASSERT_EQ(Run({"create", "Local", (folder / "Repository.xml").u8string()}).status, 0);
    const std::string name = "Caf\u00e9 \u00e0 5 \u20ac";
    const fs::path source = tree / "work" / fs::u8path("Men\u00fc\u20ac.kvd");
    WriteText(source, "x");
    const Outcome published = Run({"publish", "Local", source.u8string(), "--type", "Dialogs",
                                   "--set", "DisplayName=" + name, "--json"});
    ASSERT_EQ(published.status, 0) << published.err;
    EXPECT_EQ(AsPath(published.Json()["localCopy"]),
              AsPath(folder / "Dialogs" / fs::u8path("Men\u00fc\u20ac.kvd")));
    EXPECT_EQ(
        Values(Run({"items", "Dialogs/*", "--repo", "Local", "--json"}).Json(), "displayName"),
        std::set<std::string>{name});
    EXPECT_EQ(Run({"item", "get", "Local", "Dialogs/men\u00fc\u20ac.kvd", "DisplayName"}).out,
              name + "\n");
    EXPECT_EQ(Run({"verify", "Local"}).status, 0);
}

TEST_F(CliTest, FirstRunCreatesThePerUserList) {
    environment["KVREPO_LIST"] = std::nullopt;
#ifdef _WIN32
    environment["APPDATA"] = (tree / "config").string();
#else
    environment["XDG_CONFIG_HOME"] = (tree / "config").string();
#endif
    const Outcome first = Run({"repos", "--include-missing", "--json"});
    EXPECT_EQ(Values(first.Json(), "key"), (std::set<std::string>{"Local", "Network"}));
    EXPECT_EQ(first.Json()[0]["exists"], false);
    // A new user is told how to make a repository; the output stays as it is.
    EXPECT_THAT(first.err, HasSubstr("has a data file yet; make one with: kvrepo create Local"));
    const Outcome none = Run({"items", "Dialogs/*"});
    EXPECT_EQ(none.status, 0);
    EXPECT_THAT(none.err, HasSubstr("kvrepo create"));
    EXPECT_TRUE(fs::exists(tree / "config/kvrepo/Repositories.xml"));

    ASSERT_EQ(Run({"create", "Local", (tree / "mine/Repository.xml").string()}).status, 0);
    EXPECT_EQ(Run({"verify"}).status, 0);  // the group folders exist too
    EXPECT_EQ(Run({"items", "Dialogs/*"}).err, "");
    const std::string path = Run({"repo", "get", "Local", "Path"}).out;
    EXPECT_EQ(AsPath(json(path.substr(0, path.size() - 1))), AsPath(tree / "mine/Repository.xml"));
}

TEST_F(CliTest, ReportsFailuresAndBadUsage) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"items"},
             {"items", "Dialogs/*", "--repo", "Local", "--all"},
             {"publish", "Local", KVREPO_TOOL, "--type", "Pictures"},
             {"publish", "Local", KVREPO_TOOL, "--type", "Dialogs", "--set", "NoEquals"},
             {"create", "Elsewhere", "x.xml"},
             {"repos", "--no-such-option"}}) {
        const Outcome outcome = Run(args);
        EXPECT_EQ(outcome.status, 2) << testing::PrintToString(args);
        EXPECT_THAT(outcome.err, HasSubstr("kvrepo: "));
    }
    EXPECT_THAT(Run({"--help"}).out, HasSubstr("kvrepo publish Local"));
    EXPECT_THAT(Run({"--version"}).out, HasSubstr("kvrepo "));

    const Outcome missingList = Run({"--list", (tree / "none.xml").string(), "repos"});
    EXPECT_EQ(missingList.status, 1);
    EXPECT_THAT(missingList.err,
                testing::AllOf(HasSubstr("kvrepo: Error opening XML file"),
                               HasSubstr("status -103 (an XML data file was not opened or did "
                                         "not parse)")));
    EXPECT_EQ(Run({"item", "get", "Local", "Dialogs/none.kvd", "DisplayName"}).status, 1);
    environment["KV_SUPPORT_DIR"] = (tree / "no-support").string();
    const Outcome noTemplate = Run({"create", "Local", (tree / "new/Repository.xml").string()});
    EXPECT_EQ(noTemplate.status, 1);
    EXPECT_THAT(noTemplate.err, HasSubstr(SystemMessage(ERROR_PATH_NOT_FOUND)));
    environment.erase("KV_SUPPORT_DIR");

    // One unreadable repository: the others are listed, the skipped one named.
    WriteText(examples / "network/Repository.xml", "<Repository><Dialogs>");
    const Outcome partial = Run({"items", "Dialogs/*", "--all", "--json"});
    EXPECT_EQ(partial.status, 1);
    EXPECT_EQ(Values(partial.Json(), "repository"), std::set<std::string>{"Local"});
    EXPECT_THAT(partial.err, HasSubstr("skipped repository 'Network': status -103"));

    // A data file that disagrees with its folders in the ways repair decides
    // or leaves alone (each kind of finding is the verifier's own test).
    const fs::path local = examples / "local";
    std::string data = ReadText(local / "Repository.xml");
    for (const auto& [from, to] :
         FlatPairs({"FileName=\"license.kvd\"", "FileName=\"License.kvd\"",
                    // Lower-cased by the library's rule, an accented capital too: no finding.
                    "<ItemAttrib FileName=\"welcome.kvd\"",
                    "<ItemAttrib FileName=\"\xC3\xA9"
                    "clair.kvd\"/><ItemAttrib FileName=\"welcome.kvd\"",
                    "<ItemAttrib FileName=\"prepare.kvs\"",
                    "<ItemAttrib FileName=\"prepare.kvs\"/><ItemAttrib FileName=\"prepare.kvs\""}))
        data.replace(data.find(from), from.size(), to);
    WriteText(local / "Repository.xml", data);
    WriteText(local / "Dialogs" /
                  fs::u8path("\xC3\x89"
                             "clair.kvd"),
              "accented");
    fs::remove_all(local / "SystemSearches");
    WriteText(local / ".kv3F0A.tmp", "torn");  // a killed save's temporary file
    const std::set<std::string> expected{
        "not-lower-case License.kvd", "missing-folder SystemSearches",
        "missing-file find_runtime.ini", "duplicate-entry prepare.kvs", "leftover .kv3F0A.tmp"};
    const Outcome verify = Run({"verify", "Local", "--json"});
    EXPECT_EQ(verify.status, 1);
    EXPECT_EQ(Findings(verify.Json()), expected);
    EXPECT_EQ(ReadText(local / "Repository.xml"), data);
    EXPECT_THAT(
        Run({"verify", "Local"}).out,
        testing::AllOf(HasSubstr("leftover"),
                       HasSubstr("Local: " + std::to_string(expected.size()) + " finding(s)")));

    // Repair: the dry run prints exactly what the run then makes; what repair
    // does not decide is still found afterwards.
    const auto changes = [](const json& report) {
        std::vector<std::string> made;
        for (const json& change : report["changes"])
            made.push_back(change["kind"].get<std::string>() + " " +
                           change["subject"].get<std::string>());
        return made;
    };
    const Outcome dry = Run({"repair", "Local", "--prune-missing", "--dry-run", "--json"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(ReadText(local / "Repository.xml"), data);
    const Outcome repaired = Run({"repair", "Local", "--prune-missing", "--json"});
    EXPECT_EQ(repaired.status, 0) << repaired.err;
    EXPECT_EQ(changes(repaired.Json()), changes(dry.Json()));
    EXPECT_THAT(
        changes(repaired.Json()),
        testing::IsSupersetOf({"lower-case License.kvd", "left-alone prepare.kvs",
                               "remove-missing find_runtime.ini", "remove-leftover .kv3F0A.tmp"}));
    EXPECT_EQ(
        Findings(Run({"verify", "Local", "--json"}).Json()),
        (std::set<std::string>{"duplicate-entry prepare.kvs", "missing-folder SystemSearches"}));
    EXPECT_THAT(Run({"repair", "Local", "--dry-run"}).out,
                HasSubstr("Local: would make 0 change(s)"));
}

}  // namespace
