// Helpers for the tests that drive repositories through the public classes: a
// tree with a repository-list file and a manager on it, list entries and item
// groups written in one call, properties and listings as texts.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "repository/repositoryitems.h"
#include "repository/repositorymgr.h"
#include "test_util.h"

namespace kvtest {

// A list entry; `extra` holds further attributes, such as DisplayName="x".
inline std::string Entry(const std::string& key, const std::string& path,
                         const std::string& local = "1", const std::string& extra = "") {
    return "<Repository Key=\"" + key + "\" Local=\"" + local + "\" Path=\"" + path + "\"" +
           (extra.empty() ? "" : " " + extra) + "/>";
}

// A type element with one group whose key is the type, holding `inner`.
inline std::string Group(const std::string& type, const std::string& folder,
                         const std::string& wildcard, const std::string& inner = "") {
    return "<" + type + "><RepoItem Name=\"" + folder + "\" Key=\"" + type + "\" Wildcard=\"" +
           wildcard + "\">" + inner + "</RepoItem></" + type + ">";
}

// A property of a repository or an item, or "<" + status + ">".
template <class T>
std::string Prop(T& object, const OLECHAR* name) {
    _stringx value(OLESTR("<unset>"));
    const long result = object.GetProperty(_stringx(name), &value);
    return result ? "<" + std::to_string(result) + ">" : U8(value);
}

// The items that `path` selects in `repository`, whose GetItems gives `expected`.
inline std::unique_ptr<CRepositoryItems> Items(CRepository* repository, const char* path,
                                               long expected = 0) {
    CRepositoryItems* items = nullptr;
    EXPECT_EQ(repository->GetItems(path, &items), expected) << path;
    return std::unique_ptr<CRepositoryItems>(items);
}

// Per item, the properties named, joined by " | ".
inline std::vector<std::string> Describe(CRepositoryItems* items,
                                         std::initializer_list<const OLECHAR*> names) {
    std::vector<std::string> lines;
    for (CRepositoryItem* item = items->MoveFirst(); item; item = items->MoveNext()) {
        std::string line;
        for (const OLECHAR* name : names)
            line += (line.empty() ? "" : " | ") + Prop(*item, name);
        lines.push_back(line);
    }
    return lines;
}

// A new item of `repository` for `displayPath`, with the file `file` added unless empty.
inline std::unique_ptr<CRepositoryItem> NewItem(CRepository* repository, const char* displayPath,
                                                const std::string& file = "") {
    CRepositoryItem* item = nullptr;
    EXPECT_EQ(repository->CreateRepositoryItem(displayPath, &item), 0);
    if (!file.empty())
        item->AddFile(_stringx(file));
    return std::unique_ptr<CRepositoryItem>(item);
}

// A temporary tree with the repository-list file Repos.xml and a manager on it.
class RepoTest : public testing::Test {
protected:
    std::string List(const std::string& entries) {
        return WriteText(list, "<Repositories>" + entries + "</Repositories>");
    }
    // A data file at `relative` below the tree holding `body`.
    std::string Data(const std::string& relative, const std::string& body) {
        return WriteText(tree / relative, "<Repository>" + body + "</Repository>");
    }

    TempTree tree;
    RecordingStatus status;
    const std::string list = (tree / "Repos.xml").string();
    CRepositoryMgr manager{list.c_str(), &status};
};

// One repository "Local" in Repo/ of the tree, for the upkeep operations.
class OneRepoTest : public RepoTest {
protected:
    // The repository on a data file of `body`.
    void Load(const std::string& body) {
        Data("Repo/Repository.xml", body);
        List(Entry("Local", data));
        repository = manager.GetRepository("Local", false);
        ASSERT_NE(repository, nullptr);
    }
    // A file at `relative` below Repo/, holding its own name.
    void File(const std::string& relative) { WriteText(tree / "Repo" / relative, relative); }

    const std::string data = (tree / "Repo/Repository.xml").string();
    CRepository* repository = nullptr;
};

}  // namespace kvtest
