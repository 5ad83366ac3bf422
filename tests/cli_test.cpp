// The command-line tool, run as a subprocess on a copy of the example
// repositories: what it prints, what it changes and how it exits.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::HasSubstr;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
    json Json() const { return json::parse(out); }
};

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

class CliTest : public testing::Test {
protected:
    CliTest() {
        char pattern[] = "/tmp/kvrepo_cli_XXXXXX";
        root = mkdtemp(pattern);
        fs::copy(KVREPO_EXAMPLES_DIR, root / "examples", fs::copy_options::recursive);
        environment["KVREPO_LIST"] = (root / "examples" / "Repositories.xml").string();
    }
    ~CliTest() override { fs::remove_all(root); }

    // Runs the tool with `args`; standard input is a file that holds `input`,
    // so it is never a terminal.
    Outcome Run(const std::vector<std::string>& args, const std::string& input = "") {
        const fs::path out = root / "stdout", err = root / "stderr", in = root / "stdin";
        Write(in, input);
        const pid_t child = fork();
        if (child == 0) {
            for (const auto& [name, value] : environment)
                value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
            dup2(open(in.c_str(), O_RDONLY), 0);
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
            dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            std::vector<char*> argv{const_cast<char*>(KVREPO_TOOL)};
            for (const std::string& arg : args)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(KVREPO_TOOL, argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        Outcome outcome;
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.out = Read(out);
        outcome.err = Read(err);
        return outcome;
    }

    fs::path Examples() const { return root / "examples"; }

    fs::path root;
    std::map<std::string, std::optional<std::string>> environment;
};

std::set<std::string> Values(const json& array, const char* field) {
    std::set<std::string> values;
    for (const json& element : array)
        values.insert(element.at(field).get<std::string>());
    return values;
}

TEST_F(CliTest, ListsAndReadsTheExamples) {
    const Outcome repos = Run({"repos", "--json"});
    ASSERT_EQ(repos.status, 0) << repos.err;
    const json list = repos.Json();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]["key"], "Local");
    EXPECT_EQ(list[0]["local"], true);
    EXPECT_EQ(list[0]["exists"], true);
    EXPECT_EQ(list[0]["dataFile"], (Examples() / "local" / "Repository.xml").string());
    EXPECT_EQ(list[1]["local"], false);
    EXPECT_EQ(list[1]["displayName"], "Example network repository");

    const Outcome all = Run({"items", "Dialogs/*", "--json"});
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(
        Values(all.Json(), "fileName"),
        (std::set<std::string>{"welcome.kvd", "license.kvd", "finish.kvd", "custom_setup.kvd"}));
    EXPECT_EQ(Values(Run({"items", "Dialogs/*", "--local", "--json"}).Json(), "repository"),
              std::set<std::string>{"Local"});

    const json one = Run({"--json", "items", "Templates/basic.kvt", "--repo", "Local"}).Json();
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0]["displayName"], "Basic installation");
    EXPECT_EQ(one[0]["displayPath"], "<KVREPOSITORY>\\Templates\\basic.kvt");
    EXPECT_EQ(one[0]["localCopy"], (Examples() / "local" / "Templates" / "basic.kvt").string());

    const Outcome table = Run({"items", "KVScripts/*", "--all"});
    EXPECT_THAT(table.out, HasSubstr("DISPLAY NAME"));
    EXPECT_THAT(table.out, HasSubstr("Script notes"));

    EXPECT_EQ(Run({"repo", "get", "Local", "DisplayName"}).out, "Example local repository\n");
    EXPECT_EQ(
        Run({"item", "get", "Network", "Dialogs/finish.kvd", "Version", "--json"}).Json()["value"],
        "2.0");

    // Every type has items in both repositories, and the data files agree with the folders.
    for (const char* type :
         {"MergeModules", "Templates", "Dialogs", "KVScripts", "SqlScripts", "SystemSearches"})
        EXPECT_EQ(Values(Run({"items", std::string(type) + "/*", "--json"}).Json(), "repository"),
                  (std::set<std::string>{"Local", "Network"}))
            << type;
    const Outcome verify = Run({"verify", "--json"});
    EXPECT_EQ(verify.status, 0) << verify.out;
    ASSERT_EQ(verify.Json().size(), 2u);
    for (const json& repository : verify.Json())
        EXPECT_TRUE(repository["findings"].empty()) << repository.dump();
}

TEST_F(CliTest, ChangesPublishesAndDeletes) {
    ASSERT_EQ(Run({"repo", "set", "Local", "DisplayName", "Mine"}).status, 0);
    EXPECT_EQ(Run({"repo", "get", "Local", "DisplayName"}).out, "Mine\n");

    // Only the property set reaches the data file, not what the catalogue cached.
    ASSERT_EQ(Run({"item", "set", "Local", "Dialogs/welcome.kvd", "Version", "2.1"}).status, 0);
    EXPECT_EQ(Run({"item", "get", "Local", "Dialogs/welcome.kvd", "Version"}).out, "2.1\n");
    EXPECT_THAT(Read(Examples() / "local" / "Repository.xml"),
                testing::Not(HasSubstr("LocalCopy")));

    const fs::path source = root / "work" / "Setup.kvd";
    Write(source, "first");
    const Outcome published = Run({"publish", "Local", source.string(), "--type", "Dialogs",
                                   "--set", "DisplayName=Setup", "--set", "Author=me", "--json"});
    ASSERT_EQ(published.status, 0) << published.err;
    const json result = published.Json();
    EXPECT_EQ(result["displayPath"], "<KVREPOSITORY>\\Dialogs\\setup.kvd");
    const fs::path target = Examples() / "local" / "Dialogs" / "Setup.kvd";
    EXPECT_EQ(result["localCopy"], target.string());
    EXPECT_EQ(Read(target), "first");
    EXPECT_EQ(Run({"item", "get", "Local", "Dialogs/setup.kvd", "Author"}).out, "me\n");

    // Standard input is no terminal: the overwrite question is answered no.
    Write(source, "second");
    const Outcome declined = Run({"publish", "Local", source.string(), "--type", "Dialogs"}, "y\n");
    EXPECT_EQ(declined.status, 1);
    EXPECT_THAT(declined.err, HasSubstr("status -109 (overwriting an existing file was declined)"));
    EXPECT_EQ(Read(target), "first");
    EXPECT_EQ(Run({"publish", "Local", source.string(), "--type", "Dialogs", "--yes"}).status, 0);
    EXPECT_EQ(Read(target), "second");
    EXPECT_EQ(Run({"item", "get", "Local", "Dialogs/setup.kvd", "DisplayName"}).out, "Setup\n");

    const Outcome deleted = Run({"delete", "Local", "Dialogs/setup.kvd", "--json"});
    ASSERT_EQ(deleted.status, 0) << deleted.err;
    EXPECT_EQ(deleted.Json()["deleted"], target.string());
    EXPECT_FALSE(fs::exists(target));
    // The entry stays behind, and verify finds it.
    const Outcome verify = Run({"verify", "Local", "--json"});
    EXPECT_EQ(verify.status, 1);
    const json findings = verify.Json()[0]["findings"];
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0]["kind"], "missing-file");
    EXPECT_EQ(findings[0]["subject"], "setup.kvd");
}

TEST_F(CliTest, FirstRunCreatesThePerUserList) {
    environment["KVREPO_LIST"] = std::nullopt;
    environment["XDG_CONFIG_HOME"] = (root / "config").string();
    const Outcome first = Run({"repos", "--include-missing", "--json"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(Values(first.Json(), "key"), (std::set<std::string>{"Local", "Network"}));
    EXPECT_EQ(first.Json()[0]["exists"], false);
    EXPECT_TRUE(fs::exists(root / "config" / "kvrepo" / "Repositories.xml"));

    const fs::path dataFile = root / "mine" / "Repository.xml";
    const Outcome created = Run({"create", "Local", dataFile.string()});
    ASSERT_EQ(created.status, 0) << created.err;
    EXPECT_EQ(Run({"verify"}).status, 0);  // the group folders exist too

    Write(root / "prepare.kvs", "script");
    ASSERT_EQ(
        Run({"publish", "Local", (root / "prepare.kvs").string(), "--type", "KVScripts"}).status,
        0);
    const json items = Run({"items", "KVScripts/*", "--local", "--json"}).Json();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]["displayName"], "prepare.kvs");
    EXPECT_EQ(items[0]["localCopy"], (root / "mine" / "KVScripts" / "prepare.kvs").string());
}

TEST_F(CliTest, ReportsFailuresAndBadUsage) {
    const std::vector<std::vector<std::string>> usage = {
        {},
        {"items"},
        {"items", "Dialogs/*", "--repo", "Local", "--all"},
        {"publish", "Local", KVREPO_TOOL, "--type", "Pictures"},
        {"publish", "Local", KVREPO_TOOL, "--type", "Dialogs", "--set", "NoEquals"},
        {"create", "Elsewhere", "x.xml"},
        {"repos", "--no-such-option"},
    };
    for (const auto& args : usage) {
        const Outcome outcome = Run(args);
        EXPECT_EQ(outcome.status, 2) << testing::PrintToString(args);
        EXPECT_THAT(outcome.err, HasSubstr("kvrepo: "));
    }
    EXPECT_THAT(Run({"--help"}).out, HasSubstr("kvrepo publish Local"));
    EXPECT_THAT(Run({"--version"}).out, HasSubstr("kvrepo "));

    const Outcome missingList = Run({"--list", (root / "none.xml").string(), "repos"});
    EXPECT_EQ(missingList.status, 1);
    EXPECT_THAT(missingList.err, HasSubstr("kvrepo: Error opening XML file"));
    EXPECT_THAT(missingList.err,
                HasSubstr("status -103 (an XML data file was not opened or did not parse)"));
    EXPECT_EQ(Run({"item", "get", "Local", "Dialogs/none.kvd", "DisplayName"}).status, 1);
    environment["KV_SUPPORT_DIR"] = (root / "no-support").string();
    const Outcome noTemplate = Run({"create", "Local", (root / "new" / "Repository.xml").string()});
    EXPECT_EQ(noTemplate.status, 1);
    EXPECT_THAT(noTemplate.err, HasSubstr("The system cannot find the path specified."));
    environment.erase("KV_SUPPORT_DIR");

    // One unreadable repository: the others are listed, the skipped one named.
    Write(Examples() / "network" / "Repository.xml", "<Repository><Dialogs>");
    const Outcome partial = Run({"items", "Dialogs/*", "--all", "--json"});
    EXPECT_EQ(partial.status, 1);
    EXPECT_EQ(Values(partial.Json(), "repository"), std::set<std::string>{"Local"});
    EXPECT_THAT(partial.err, HasSubstr("skipped repository 'Network': status -103"));

    // A data file that disagrees with its folders, every way verify knows.
    const fs::path local = Examples() / "local";
    std::string data = Read(local / "Repository.xml");
    auto replace = [&data](const std::string& from, const std::string& to) {
        data.replace(data.find(from), from.size(), to);
    };
    replace("FileName=\"license.kvd\"", "FileName=\"License.kvd\"");
    replace("Name=\"SqlScripts\" Key", "Name=\"../../elsewhere\" Key");
    // Lower-cased by the library's rule, an accented capital too: no finding.
    replace("<ItemAttrib FileName=\"welcome.kvd\"",
            "<ItemAttrib FileName=\"\xC3\xA9"
            "clair.kvd\"/><ItemAttrib FileName=\"welcome.kvd\"");
    replace("<ItemAttrib FileName=\"notes.txt\"",
            "<ItemAttrib FileName=\"../../x.txt\"/><ItemAttrib FileName=\"notes.txt\"");
    Write(local / "Repository.xml", data);
    Write(local / "Dialogs" / "Welcome.kvd", "twin");
    Write(local / "Dialogs" /
              "\xC3\x89"
              "clair.kvd",
          "accented");
    fs::remove_all(local / "SystemSearches");
    const std::string before = Read(local / "Repository.xml");
    const Outcome verify = Run({"verify", "Local", "--json"});
    EXPECT_EQ(verify.status, 1);
    std::set<std::string> found;
    const json report = verify.Json();
    for (const json& finding : report[0]["findings"])
        found.insert(finding["kind"].get<std::string>() + " " +
                     finding["subject"].get<std::string>());
    EXPECT_EQ(found, (std::set<std::string>{
                         "not-lower-case License.kvd", "unlisted-file Dialogs/license.kvd",
                         "case-conflict Dialogs/Welcome.kvd", "outside-repository ../../elsewhere",
                         "missing-file create_tables.sql", "outside-repository ../../x.txt",
                         "missing-folder SystemSearches", "missing-file find_runtime.ini"}));
    EXPECT_EQ(Read(local / "Repository.xml"), before);
}

}  // namespace
