// The item catalogue: item paths, groups and folders, stored and derived
// properties, order, templates in sub-folders, failures, and the index that
// stands in for the per-file ItemAttrib query.

#include <gmock/gmock.h>

#include <algorithm>
#include <map>

#include "repository/repository.h"
#include "foundation/platform/text.h"
#include "repository/repositoryitems.h"
#include "test_util.h"

namespace {

using kvtest::WriteText;
using testing::ElementsAre;

// Exposes the catalogue's protected parts to the tests.
class ItemsProbe : public CRepositoryItems {
public:
    using CRepositoryItems::CRepositoryItems;
    using CRepositoryItems::GetItemAttribXPath;
    using CRepositoryItems::ItemAttribIndex;
};

class ItemsTest : public testing::Test {
protected:
    std::string Repo(const std::string& body) {
        return WriteText(tree / "Repo.xml",
                         "<?xml version=\"1.0\"?>\n<Repository>" + body + "</Repository>\n");
    }
    void File(const std::string& relative, const std::string& content = "") {
        WriteText(tree / relative, content);
    }
    // "<local copy below the tree> key=... fn=... dn=..." per item, from the
    // items' caches, plus any other cached property named in `extra`.
    std::vector<std::string> List(const char* itemPath, long expected = 0,
                                  std::vector<const OLECHAR*> extra = {}) {
        CRepositoryItems items(&repo, &status);
        EXPECT_EQ(items.GetItems(itemPath), expected) << (itemPath ? itemPath : "(null)");
        std::vector<std::string> lines;
        const std::string root = tree.root().string() + char(kv::platform::kPathSeparator);
        for (CRepositoryItem* item = items.MoveFirst(); item; item = items.MoveNext()) {
            std::string line = Cached(item, OLESTR("LocalCopy"));
            if (line.compare(0, root.size(), root) == 0) {
                line.erase(0, root.size());  // relative, with "/" on every platform
                std::replace(line.begin(), line.end(), char(kv::platform::kPathSeparator), '/');
            }
            line += " key=" + Cached(item, OLESTR("Key")) +
                    " fn=" + Cached(item, OLESTR("FileName")) +
                    " dn=" + Cached(item, OLESTR("DisplayName"));
            for (const OLECHAR* name : extra)
                line += " " + U8(name) + "=" + Cached(item, name);
            lines.push_back(line);
        }
        return lines;
    }
    static std::string Cached(CRepositoryItem* item, const OLECHAR* name) {
        _stringx value(OLESTR("-"));
        item->GetPropertyValue(_stringx(name), value, false);
        return U8(value);
    }

    kvtest::TempTree tree;
    kvtest::RecordingStatus status;
    CRepository repo{"R", kvtest::Ansi(tree / "Repo.xml"), true, "", &status};
};

TEST_F(ItemsTest, ListsATypeOrOneFileWithStoredOrDerivedProperties) {
    Repo(R"(<MergeModules>
  <RepoItem Name="MM" Key="MergeModules" Wildcard="*.msm">
    <ItemAttrib FileName="alpha.msm" DisplayName="Alpha module" Version="2"/>
    <ItemAttrib FileName="BETA.MSM" DisplayName="never matched"/>
    <ItemAttrib FileName="zeta.msm" Version="1"/>
  </RepoItem>
</MergeModules>)");
    File("MM/Zeta.msm");
    File("MM/alpha.msm", std::string(5000, 'a'));
    File("MM/Beta.msm");
    File("MM/notes.txt");

    // Upper case sorts first; DisplayName keeps the case found, FileName is
    // lower-cased; a stored ItemAttrib without DisplayName gives none.
    const std::vector<std::string> all = {
        "MM/Beta.msm key=MergeModules fn=beta.msm dn=Beta.msm Version=-",
        "MM/Zeta.msm key=MergeModules fn=zeta.msm dn=- Version=1",
        "MM/alpha.msm key=MergeModules fn=alpha.msm dn=Alpha module Version=2"};
    EXPECT_EQ(List("MergeModules/*", 0, {OLESTR("Version")}), all);
    EXPECT_EQ(List("<KVREPOSITORY>\\MergeModules/*", 0, {OLESTR("Version")}), all);

    // One file by its display path, in any case, also one the pattern does not
    // match; a display path takes no wildcards.
    EXPECT_THAT(List("<KVREPOSITORY>\\MergeModules\\Alpha.MSM"),
                ElementsAre("MM/alpha.msm key=MergeModules fn=alpha.msm dn=Alpha module"));
    EXPECT_THAT(List("<KVREPOSITORY>\\MergeModules\\notes.txt"),
                ElementsAre("MM/notes.txt key=MergeModules fn=notes.txt dn=notes.txt"));
    EXPECT_THAT(List("<KVREPOSITORY>\\MergeModules\\missing.msm"), ElementsAre());
    EXPECT_THAT(List("<KVREPOSITORY>\\MergeModules\\*.msm"), ElementsAre());
    // A bare type name, an empty or null path select nothing.
    EXPECT_THAT(List("MergeModules"), ElementsAre());
    EXPECT_THAT(List(""), ElementsAre());
    EXPECT_THAT(List(nullptr), ElementsAre());

    // GetItems appends; a copy is a view that leaves the items to the original
    // and owns what it finds itself (no leak, no second delete).
    CRepositoryItems items(&repo, &status);
    EXPECT_EQ(items.GetItems("MergeModules/*"), 0);
    EXPECT_EQ(items.GetItems("MergeModules/*"), 0);
    EXPECT_EQ(items.GetCount(), 6);
    {
        CRepositoryItems view(items);
        EXPECT_EQ(view.GetFirst(), items.GetFirst());
        EXPECT_EQ(U8(view.GetRepoDataFilePath()), (tree / "Repo.xml").string());
        EXPECT_EQ(view.GetItems("MergeModules/*"), 0);
        EXPECT_EQ(view.GetCount(), 9);
    }
    EXPECT_EQ(Cached(items.GetLast(), OLESTR("FileName")), "alpha.msm");
    EXPECT_TRUE(status.messages.empty());
}

TEST_F(ItemsTest, GroupsPatternsAndFolders) {
    Repo(R"(<Dialogs>
  <!-- the shared dialogs -->
  <RepoItem Name="D" Key="Dialogs" Wildcard="*.kvd;;*.txt;"/>
  <Other Name="D" Key="Other" Wildcard="*"/>
  <RepoItem Name="D" Key="Second" Wildcard="b*.KVD"/>
  <RepoItem Name="D" Key="NoWildcard"/>
  <RepoItem Name="Absent" Key="Absent" Wildcard="*"/>
</Dialogs>)");
    for (const char* file : {"D/c.kvd", "D/b.kvd", "D/a.txt", "D/skip.xml", "D/Y/Y.kvd"})
        File(file);

    // Two patterns merge into one order; empty patterns, "." and ".." give
    // nothing; groups sharing a folder list its files again; no recursion
    // outside templates.
    EXPECT_THAT(List("Dialogs/*"), ElementsAre("D/a.txt key=Dialogs fn=a.txt dn=a.txt",
                                               "D/b.kvd key=Dialogs fn=b.kvd dn=b.kvd",
                                               "D/c.kvd key=Dialogs fn=c.kvd dn=c.kvd",
                                               "D/b.kvd key=Second fn=b.kvd dn=b.kvd"));
    // A named file: one item per group whose folder holds it, pattern or not.
    EXPECT_THAT(List("<KVREPOSITORY>\\Dialogs\\a.txt"),
                ElementsAre("D/a.txt key=Dialogs fn=a.txt dn=a.txt",
                            "D/a.txt key=Second fn=a.txt dn=a.txt"));
    // Only templates are looked for in a folder of their own name.
    EXPECT_THAT(List("<KVREPOSITORY>\\Dialogs\\Y.kvd"), ElementsAre());
}

TEST_F(ItemsTest, TemplatesAreFoundInSubFolders) {
    if (kvtest::kNoSymlinks)
        GTEST_SKIP() << kvtest::kNoSymlinks;
    Repo(R"(<Templates><RepoItem Name="Tpl" Key="Templates" Wildcard="*.kvt"/></Templates>)");
    for (const char* file : {"Tpl/Top.kvt", "Tpl/Sub/Leaf.kvt", "Tpl/Sub/Deeper/Deep.KVT",
                             "Tpl/Sub/skip.txt", "Tpl/X/X.kvt"})
        File(file);
    // Linked folders are followed where they lead inside the repository, and
    // never back into a folder the search is in.
    namespace fs = std::filesystem;
    kvtest::TempTree elsewhere;
    WriteText(elsewhere / "Out/out.kvt", "");
    File("Shared/Inner/In.kvt");
    fs::create_directory_symlink(tree / "Tpl", tree / "Tpl" / "Loop");
    fs::create_directory_symlink(tree / "Shared", tree / "Tpl" / "Linked");
    fs::create_directory_symlink(tree / "Tpl", tree / "Shared" / "Back");
    fs::create_directory_symlink(elsewhere / "Out", tree / "Tpl" / "Out");

    EXPECT_THAT(List("Templates/*"),
                ElementsAre("Tpl/Linked/Inner/In.kvt key=Templates fn=in.kvt dn=In.kvt",
                            "Tpl/Sub/Deeper/Deep.KVT key=Templates fn=deep.kvt dn=Deep.KVT",
                            "Tpl/Sub/Leaf.kvt key=Templates fn=leaf.kvt dn=Leaf.kvt",
                            "Tpl/Top.kvt key=Templates fn=top.kvt dn=Top.kvt",
                            "Tpl/X/X.kvt key=Templates fn=x.kvt dn=X.kvt"));
    EXPECT_THAT(List("<KVREPOSITORY>\\Templates\\X.KVT"),
                ElementsAre("Tpl/X/X.kvt key=Templates fn=x.kvt dn=X.kvt"));
    EXPECT_THAT(List("<KVREPOSITORY>\\Templates\\Top.kvt"),
                ElementsAre("Tpl/Top.kvt key=Templates fn=top.kvt dn=Top.kvt"));
    EXPECT_THAT(List("<KVREPOSITORY>\\Templates\\Leaf.kvt"), ElementsAre());
}

// (A repository entry without a data file, and unreadable data files, are
// met where items are gathered and among the hostile files.)
TEST_F(ItemsTest, ACatalogueWithoutARepositoryHasNoDataFile) {
    CRepositoryItems container(&status);
    EXPECT_TRUE(container.GetRepoDataFilePath().empty());
    EXPECT_EQ(container.GetItems("Dialogs/*"), kv::status::kNoDataFilePath);
    EXPECT_TRUE(status.messages.empty());
}

// The attributes as texts (none for no element).
std::map<std::string, std::string> Texts(const XmlAttribMap& map) {
    std::map<std::string, std::string> texts;
    for (const auto& attribute : map)
        texts[U8(attribute.first)] = kvtest::Attr(map, attribute.first.c_str());
    return texts;
}

std::map<std::string, std::string> Texts(const XmlAttribTextsUtf8& texts, std::size_t node) {
    std::map<std::string, std::string> found;
    if (node != ItemsProbe::ItemAttribIndex::npos)
        for (std::size_t i = texts.First(node); i < texts.End(node); ++i)
            found[std::string(texts.Name(i))] = std::string(texts.Value(i));
    return found;
}

TEST_F(ItemsTest, TheIndexAnswersAsThePerFileQuery) {
    // Several groups and types; duplicates, upper case, quotes, an element
    // without FileName, and an element of another type with the same name.
    std::string body =
        "<Dialogs><RepoItem Name=\"D\"><ItemAttrib FileName=\"m1.msm\" "
        "DisplayName=\"dialog\"/></RepoItem></Dialogs><MergeModules>";
    for (const std::string group : {"0", "1", "2"}) {
        body += "<RepoItem Name=\"G" + group + "\"><!-- c -->";
        for (int i = 0; i < 4; ++i)
            body += "<ItemAttrib FileName=\"m" + std::to_string(std::stoi(group) + i) +
                    ".msm\" Group=\"" + group + "\"/>";
        body += "<ItemAttrib FileName=\"UP" + group + ".MSM\" Group=\"u\"/>" +
                "<ItemAttrib DisplayName=\"no file name\"/></RepoItem>";
    }
    body +=
        "<RepoItem><ItemAttrib FileName=\"q&quot;.msm\" X=\"1\"/>"
        "<ItemAttrib FileName=\"\" X=\"empty\"/>"
        "<ItemAttrib FileName=\"\xC3\xA9t\xC3\xA9.msm\" X=\"\xE2\x82\xAC \xF0\x9F\x98\x80\"/>"
        "<ItemAttrib FileName=\"\xEF\xBF\xBD.msm\" X=\"replacement\"/></RepoItem></MergeModules>";
    XMLIntercessor document;
    ASSERT_EQ(S_OK,
              document.Initialize(_stringx(Repo(body)).c_str(), nullptr, nullptr, false, false));
    ItemsProbe probe(&status);
    int found = 0;
    for (const OLECHAR* group :
         {OLESTR("MergeModules/RepoItem"), OLESTR("Dialogs/RepoItem"), OLESTR("Missing/RepoItem"),
          OLESTR("*/RepoItem"), OLESTR("//RepoItem"), OLESTR("MergeModules//RepoItem")}) {
        ASSERT_TRUE(ItemsProbe::ItemAttribIndex::CanIndex(group));
        ItemsProbe::ItemAttribIndex index(document, group);
        for (const OLECHAR* name :
             {OLESTR("m0.msm"), OLESTR("m3.msm"), OLESTR("m5.msm"), OLESTR("M1.MSM"),
              OLESTR("m6.msm"), OLESTR("up0.msm"), OLESTR("UP1.MSM"), OLESTR("q\".msm"),
              OLESTR("Q\".MSM"), OLESTR("x\" or \"1\"=\"1"), OLESTR(""), OLESTR("absent.msm"),
              OLESTR("\u00C9t\u00E9.msm"), OLESTR("\uFFFD.msm")}) {
            XmlAttribMap byQuery;
            document.GetAttribValues(probe.GetItemAttribXPath(group, name).c_str(), byQuery);
            const std::size_t byIndex = index.Find(name);
            EXPECT_EQ(Texts(index.Texts(), byIndex), Texts(byQuery))
                << U8(group) << " " << U8(name);
            found += byIndex != ItemsProbe::ItemAttribIndex::npos;
        }
        // A name with a lone surrogate, which the document reads as U+FFFD.
        const OLECHAR lone[] = {0xD800, OLESTR('.'), OLESTR('m'), OLESTR('s'), OLESTR('m')};
        const _stringx name(lone, 5);
        XmlAttribMap byQuery;
        document.GetAttribValues(probe.GetItemAttribXPath(group, name).c_str(), byQuery);
        EXPECT_EQ(Texts(index.Texts(), index.Find(kv::text_view(name.data(), name.size()))),
                  Texts(byQuery))
            << U8(group);
    }
    EXPECT_GT(found, 10);

    // Paths the index cannot answer for are queried file by file.
    for (const OLECHAR* path :
         {OLESTR("A|B/RepoItem"), OLESTR("A[1]/RepoItem"), OLESTR("id(\"x\")/RepoItem")})
        EXPECT_FALSE(ItemsProbe::ItemAttribIndex::CanIndex(_stringx(path)));
    File("G1/m1.msm");
    File("G1/m9.msm");
    body.insert(body.find("<RepoItem Name=\"G1\">") + 9, " Wildcard=\"*.msm\"");
    Repo(body);
    const auto indexed = List("MergeModules/*", 0, {OLESTR("Group")});
    EXPECT_THAT(indexed, ElementsAre("G1/m1.msm key= fn=m1.msm dn=- Group=0",
                                     "G1/m9.msm key= fn=m9.msm dn=m9.msm Group=-"));
    EXPECT_EQ(List("MergeModules[1]/*", 0, {OLESTR("Group")}), indexed);
}

}  // namespace
