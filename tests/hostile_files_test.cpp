// Hostile repository-list and data files, as a shared folder may hold them:
// every read through the public interface fails as for an unreadable file,
// every write fails without changing a byte, and nothing crashes, recurses
// without bound, expands entities or fetches anything.

#include <gmock/gmock.h>

#include <functional>
#include <memory>

#include "repository/repositoryitems.h"
#include "repository/repositorymgr.h"
#include "test_util.h"
#include "foundation/platform/comptr.h"
#include "foundation/platform/variant.h"
#include "win32/msxml.h"

namespace {

using namespace kvtest;
using testing::Each;
using testing::SizeIs;

constexpr std::size_t kDepth = 100000;

// A hostile file made from the valid text `body`, whose root element closes it.
struct Hostile {
    const char* name;
    std::function<std::string(const std::string& body)> make;
};

void PrintTo(const Hostile& hostile, std::ostream* os) {
    *os << hostile.name;
}

// `body` with `inner` placed just inside its root element's end tag.
std::string Inside(const std::string& body, const std::string& inner) {
    std::string text = body;
    return text.insert(text.rfind("</"), inner);
}

std::string Nested(const char* name, std::size_t depth) {
    std::string open, close;
    for (std::size_t i = 0; i < depth; ++i)
        open += std::string("<") + name + ">", close += std::string("</") + name + ">";
    return open + close;
}

// `body` without its root element's end tag, filled up to `size` bytes.
std::string Unclosed(const std::string& body, std::size_t size) {
    std::string text = body.substr(0, body.rfind("</"));
    const std::string filler = "<Filler Name=\"" + std::string(200, 'x') + "\"/>";
    text.reserve(size);
    while (text.size() < size)
        text += filler;
    return text;
}

const std::vector<Hostile>& Cases() {
    static const std::vector<Hostile> cases = {
        {"Empty", [](const std::string&) { return std::string(); }},
        {"BinaryGarbage",
         [](const std::string&) {
             std::mt19937 random(7);
             std::string bytes(4096, '\0');
             for (char& c : bytes)
                 c = static_cast<char>(random());
             return bytes;
         }},
        {"TruncatedMidElement",
         [](const std::string& body) { return body.substr(0, body.find(" Key=") + 4); }},
        // The same unclosed file at two sizes: Wine's DOM takes minutes over
        // 50 MB, so its run has only the small one (tests/CMakeLists.txt).
        {"FiftyMegabytesUnclosed",
         [](const std::string& body) { return Unclosed(body, 50u << 20); }},
        {"OneMegabyteUnclosed", [](const std::string& body) { return Unclosed(body, 1u << 20); }},
        {"NestedOneHundredThousandDeep",
         [](const std::string& body) { return Inside(body, Nested("Deep", kDepth)); }},
        {"BillionLaughs",
         [](const std::string& body) {
             std::string dtd = "<!DOCTYPE Root [<!ENTITY lol0 \"lol\">";
             for (int i = 1; i < 10; ++i) {
                 dtd += "<!ENTITY lol" + std::to_string(i) + " \"";
                 for (int j = 0; j < 10; ++j)
                     dtd += "&lol" + std::to_string(i - 1) + ";";
                 dtd += "\">";
             }
             return dtd + "]>" + Inside(body, "<Laugh At=\"&lol9;\">&lol9;</Laugh>");
         }},
        {"ExternalEntity",
         [](const std::string& body) {
             return "<!DOCTYPE Root [<!ENTITY ext SYSTEM \"file:///etc/hostname\">]>" +
                    Inside(body, "<Fetched>&ext;</Fetched>");
         }},
        {"DoctypeWithoutEntities",
         [](const std::string& body) { return "<!DOCTYPE Root SYSTEM \"missing.dtd\">" + body; }},
        {"UndeclaredEntityReference",
         [](const std::string& body) { return Inside(body, "<Text>&nbsp;</Text>"); }},
        {"Utf16DeclaredUtf8",
         [](const std::string& body) {
             return Utf16Le(_stringx("<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + body).c_str());
         }},
        {"InvalidUtf8",
         [](const std::string& body) { return Inside(body, "<Bad Name=\"\xC3\x28\xFF\"/>"); }},
    };
    return cases;
}

class HostileFile : public testing::TestWithParam<Hostile> {
protected:
    // The repository-list file and data file, valid unless made hostile.
    std::string ListBody() const {
        return "<Repositories><Repository Key=\"Local\" Local=\"1\" DisplayName=\"Mine\" Path=\"" +
               data + "\"/></Repositories>";
    }
    static std::string DataBody() {
        return "<Repository><MergeModules><RepoItem Name=\"MM\" Key=\"MergeModules\" "
               "Wildcard=\"*.msm\"/></MergeModules><Dialogs><RepoItem Name=\"Dialogs\" "
               "Key=\"Dialogs\" Wildcard=\"*.kvd\"><ItemAttrib FileName=\"a.kvd\" "
               "DisplayName=\"A\"/></RepoItem></Dialogs></Repository>";
    }
    // Every file below the tree with its content.
    std::map<std::string, std::string> Snapshot() const { return Tree(tree.root(), false); }
    // Each message is message 2 with `path`; there are `count`.
    void ExpectOpenErrors(const std::string& path, std::size_t count) {
        EXPECT_THAT(status.messages, SizeIs(count));
        EXPECT_THAT(status.messages, Each("Error opening XML file " + path));
        status.messages.clear();
    }

    TempTree tree;
    RecordingStatus status;
    const std::string list = (tree / "Repos.xml").string();
    const std::string data = (tree / "Repo/Repository.xml").string();
    const std::string work = WriteText(tree / "Work/new.kvd", "new");
};

TEST_P(HostileFile, TheListFileIsUnreadableAndNeverWritten) {
    WriteText(data, DataBody());
    WriteText(list, GetParam().make(ListBody()));
    const auto before = Snapshot();

    CRepositoryMgr manager(list.c_str(), &status);
    CRepositories* repositories = nullptr;
    EXPECT_EQ(manager.GetRepositories("*", &repositories, true), kv::status::kNotOpened);
    ASSERT_NE(repositories, nullptr);
    EXPECT_EQ(repositories->GetCount(), 0);
    EXPECT_EQ(manager.GetRepository("Local", true), nullptr);
    ExpectOpenErrors(list, 2);

    // A repository reads and writes its properties in the list file.
    CRepository repository("Local", data.c_str(), true, list.c_str(), &status);
    _stringx value(OLESTR("unchanged"));
    EXPECT_EQ(repository.GetProperty(OLESTR("DisplayName"), &value), kv::status::kNotFound);
    EXPECT_EQ(U8(value), "unchanged");
    EXPECT_EQ(repository.PutProperty(OLESTR("DisplayName"), OLESTR("Changed")),
              kv::status::kNotOpened);
    ExpectOpenErrors(list, 2);

    XMLIntercessor document;
    EXPECT_EQ(document.Initialize(_stringx(list).c_str(), nullptr, nullptr, false, false), E_FAIL);
    EXPECT_EQ(U8(document.GetErrorText()), "Could not load template.");
    EXPECT_EQ(document.Save(_stringx(list).c_str()), E_UNEXPECTED);
    EXPECT_TRUE(Snapshot() == before);
}

TEST_P(HostileFile, TheDataFileIsUnreadableAndNeverWritten) {
    WriteText(list, ListBody());
    WriteText(data, GetParam().make(DataBody()));
    WriteText(tree / "Repo/Dialogs/a.kvd", "a");
    const auto before = Snapshot();

    CRepositoryMgr manager(list.c_str(), &status);
    CRepositories* repositories = nullptr;
    ASSERT_EQ(manager.GetRepositories("*", &repositories, false), 0);
    CRepository* repository = repositories->GetFirst();
    ASSERT_NE(repository, nullptr);

    CRepositoryItems* raw = nullptr;
    EXPECT_EQ(repository->GetItems("Dialogs/*", &raw), kv::status::kNotOpened);
    std::unique_ptr<CRepositoryItems> items(raw);
    ASSERT_NE(items, nullptr);
    EXPECT_EQ(items->GetCount(), 0);
    EXPECT_EQ(repositories->GetRepositoryItems("<KVREPOSITORY>\\Dialogs\\a.kvd", 1, &raw),
              kv::status::kNotOpened);
    EXPECT_EQ(raw->GetCount(), 0);
    _stringx value(OLESTR("unchanged"));
    EXPECT_EQ(repository->GetProperty(OLESTR("MMSearchPath"), &value), 0);
    EXPECT_EQ(U8(value), "");
    ExpectOpenErrors(data, 3);

    // Publishing writes the data file first, and stops there.
    CRepositoryItem* created = nullptr;
    ASSERT_EQ(repository->CreateRepositoryItem("<KVREPOSITORY>\\Dialogs\\*.kvd", &created), 0);
    std::unique_ptr<CRepositoryItem> item(created);
    item->AddFile(_stringx(work));
    item->PutProperty(OLESTR("DisplayName"), OLESTR("New"));
    EXPECT_EQ(item->Commit(), kv::status::kNotOpened);
    value = OLESTR("unchanged");
    EXPECT_EQ(item->GetProperty(OLESTR("Version"), &value), kv::status::kNotFound);
    EXPECT_EQ(U8(value), "unchanged");
    ExpectOpenErrors(data, 2);
    EXPECT_TRUE(Snapshot() == before);
}

INSTANTIATE_TEST_SUITE_P(Files, HostileFile, testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// No file may nest deeper than kMaxElementDepth, but a tree built deeper is
// still searched, saved and freed without recursion.
TEST(HostileDepth, DeepTreesAreRefusedFromFilesAndHandledWithoutRecursionWhenBuilt) {
    TempTree tree;
    EXPECT_TRUE(Load(NewDocument(), WriteText(tree / "max.xml", Nested("d", 256))));
    EXPECT_FALSE(Load(NewDocument(), WriteText(tree / "over.xml", Nested("d", 257))));

    DocumentPtr document = Parse(tree / "a.xml", "<d/>");
    NodePtr parent = Root(document);
    for (std::size_t i = 1; i < kDepth; ++i) {
        CComPtr<IXMLDOMElement> element;
        ASSERT_EQ(S_OK, document->createElement(_stringx(OLESTR("d")).bstr(), &element));
        NodePtr placed;
        ASSERT_EQ(S_OK, parent->appendChild(element, &placed));
        parent = placed;
    }
    EXPECT_EQ(Select(document, OLESTR("//d")).size(), kDepth);
    EXPECT_EQ(Select(Root(document), OLESTR("//d[not(d)]")).size(), 1u);
    const std::string saved = Saved(document, tree / "deep.xml");
    EXPECT_EQ(saved.substr(0, 6), "<d><d>");
    EXPECT_GT(saved.size(), 6 * kDepth);
    parent.Release();
    document.Release();
    EXPECT_FALSE(Load(NewDocument(), tree / "deep.xml"));
}

// References are resolved as a strict parser does; anything else is refused.
TEST(HostileReferences, OnlyCharacterAndPredefinedReferencesAreResolved) {
    TempTree tree;
    NodePtr root = Root(Parse(tree / "ok.xml",
                              "<r a=\"&lt;&#x41;&#66;&amp;&quot;&apos;&#10;\">&gt;&#233;&#x1F600;"
                              "<![CDATA[&x;]]><!--&y;--></r>"));
    EXPECT_EQ(ValueOf(AttributeNode(root, OLESTR("a"))), "<AB&\"'\n");
    EXPECT_EQ(ValueOf(SelectOne(root, OLESTR("text()"))), ">\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(ValueOf(SelectOne(root, OLESTR("comment()"))), "&y;");
    for (const char* bad :
         {"<r>&</r>", "<r a='&amp'/>", "<r>&#0;</r>", "<r>&#xD800;</r>", "<r>&#x110000;</r>",
          "<r>&#;</r>", "<r>&#x;</r>", "<r a='&#1;'/>", "<r>&lt</r>", "<r>&nbsp;</r>"}) {
        EXPECT_FALSE(Load(NewDocument(), WriteText(tree / "bad.xml", bad))) << bad;
    }
}

// Documents that break the grammar or a well-formedness rule of XML 1.0:
// those the library refuses whichever DOM loaded them, and those only a strict
// parser finds (the data files say which are which).
const std::vector<std::string>& SeenWithAnyDom() {
    static const std::vector<std::string> cases = DataCases("malformed-any-dom.txt");
    return cases;
}
const std::vector<std::string>& SeenByTheParser() {
    static const std::vector<std::string> cases = DataCases("malformed-parser-only.txt");
    return cases;
}

// Every data-file operation on each file reports message 2 and leaves the
// file as it was.
void ExpectEveryOperationRefuses(const std::vector<std::string>& cases) {
    TempTree tree;
    RecordingStatus status;
    const std::string path = (tree / "Repository.xml").string();
    DataFile file(&status, path);
    for (const std::string& bad : cases) {
        SCOPED_TRACE(testing::PrintToString(bad));
        WriteText(path, bad);
        XmlAttribMap map;
        EXPECT_EQ(file.GetAttribValuesFromXmlFile(OLESTR("*"), map), kv::status::kNotOpened);
        EXPECT_EQ(file.Get(OLESTR("*"), OLESTR("a")), "<-101>");
        EXPECT_EQ(file.Set(OLESTR("*"), OLESTR("a"), OLESTR("x")), kv::status::kNotOpened);
        map[_stringx(OLESTR("a"))] = CComVariant(OLESTR("x"));
        EXPECT_EQ(file.SetAttribValuesToXmlFile(OLESTR("*"), map), kv::status::kNotOpened);
        EXPECT_EQ(ReadText(path), bad);
        EXPECT_EQ(status.messages, std::vector<std::string>(4, "Error opening XML file " + path));
        status.messages.clear();
    }
}

TEST(HostileSyntax, BreachesSeenWithAnyDomAreRefusedAndNeverRewritten) {
    ASSERT_EQ(SeenWithAnyDom().size(), 70u);
    ASSERT_EQ(SeenByTheParser().size(), 48u);
    ExpectEveryOperationRefuses(SeenWithAnyDom());
}

// The document component refuses every breach itself, and with it the
// library refuses those only a strict parser finds.
TEST(HostileSyntax, OurParserRefusesEveryBreach) {
    TempTree tree;
    for (const auto* cases : {&SeenWithAnyDom(), &SeenByTheParser()})
        for (const std::string& bad : *cases)
            EXPECT_FALSE(Load(NewDocument(), WriteText(tree / "bad.xml", bad)))
                << testing::PrintToString(bad);
    ExpectEveryOperationRefuses(SeenByTheParser());
}

}  // namespace
