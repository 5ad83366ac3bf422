// Fuzzes item paths and display paths against a fixed repository. The input
// is up to three lines: an item path for CRepository::GetItems, a display path
// for CreateRepositoryItem, and a file name for that new item.
//
// Checked for every listed item: FileName is lower case, DisplayPath is built
// from Key and FileName, the local copy is LocalCopy, and a file outside the
// repository (the data file also lists a group beside it) is never deleted.
// For the new item: its DisplayPath is the one given, its type the first type
// name in it, and the element path it builds selects nothing but elements of
// exactly its lower-cased FileName.
#include <memory>
#include <string>
#include <vector>

#include "fuzz_util.h"

namespace {

using kvfuzz::Catalogue;
using kvfuzz::Property;

const char kDataFile[] = R"(<?xml version="1.0" encoding="utf-8"?>
<Repository>
  <MergeModules><RepoItem Name="MergeModules" Key="MergeModules" Wildcard="*.msm">
    <ItemAttrib FileName="runtime.msm" DisplayName="Runtime" Version="1"/>
  </RepoItem></MergeModules>
  <Templates><RepoItem Name="Templates" Key="Templates" Wildcard="*.kvt">
    <ItemAttrib FileName="basic.kvt" DisplayName="Basic"/>
  </RepoItem></Templates>
  <Dialogs>
    <RepoItem Name="Dialogs" Key="Dialogs" Wildcard="*.kvd">
      <ItemAttrib FileName="welcome.kvd" DisplayName="Welcome"/>
      <ItemAttrib FileName="caf&#xE9;.kvd" DisplayName="Caf&#xE9;"/>
      <ItemAttrib FileName="x&quot;y.kvd" DisplayName="Quoted"/>
    </RepoItem>
    <RepoItem Name="" Key="Dialogs" Wildcard="*.kvd"/>
    <RepoItem Name="../outside" Key="Dialogs" Wildcard="*.kvd"/>
  </Dialogs>
  <KVScripts><RepoItem Name="KVScripts" Key="KVScripts" Wildcard="*.kvs;*.txt"/></KVScripts>
  <SqlScripts><RepoItem Name="SqlScripts" Key="SqlScripts" Wildcard="*.sql"/></SqlScripts>
  <SystemSearches><RepoItem Name="SystemSearches" Key="SystemSearches" Wildcard="*.ini"/></SystemSearches>
</Repository>
)";

struct Fixture {
    Fixture() {
        kvfuzz::WriteFile(dataFile, kDataFile);
        opened = repository.OpenXmlFile(document) == 0;
    }
    kvfuzz::QuietStatus status;
    kvfuzz::fs::path repo = kvfuzz::MakeRepositoryTree(kvfuzz::Scratch());
    kvfuzz::fs::path dataFile = repo / "Repository.xml";
    CRepository repository{"Local", dataFile.c_str(), true,
                           (kvfuzz::Scratch() / "Repositories.xml").c_str(), &status};
    // The data file never changes: one document answers every lookup.
    XMLIntercessor document;
    bool opened = false;
};

// `expression`: the item path holds XPath operators, so its type path may
// select other elements than groups (a union, say), whose attributes then
// stand in for the item's stored ones: FileName and Key are whatever those
// elements carry, as the caller asked.
void CheckListed(Fixture& f, CRepositoryItem* item, bool expression) {
    const std::string fileName = Property(item, u"FileName");
    FUZZ_CHECK(expression || kv::LowerFileName(_stringx(fileName)).str() == fileName);
    FUZZ_CHECK(expression || Property(item, u"DisplayPath") ==
                                 "<KVREPOSITORY>\\" + Property(item, u"Key") + "\\" + fileName);
    const std::string local = Property(item, u"LocalCopy");
    _stringx copy;
    FUZZ_CHECK(item->CreateLocalCopy(&copy) == 0 && copy.str() == local);
    // Only files of the scratch folder are put at risk, and none of the
    // repository's own (they are the fixture).
    if (kvfuzz::Inside(local, kvfuzz::Scratch()) && !kvfuzz::Inside(local, f.repo)) {
        FUZZ_CHECK(item->Delete(true) == E_ACCESSDENIED);
        FUZZ_CHECK(kvfuzz::fs::exists(kvfuzz::SystemPath(local)));
    }
}

void CheckNewItem(Fixture& f, const std::string& displayPath, const std::string& fileName) {
    CRepositoryItem* raw = nullptr;
    FUZZ_CHECK(f.repository.CreateRepositoryItem(displayPath.c_str(), &raw) == 0);
    std::unique_ptr<CRepositoryItem> item(raw);
    // Bytes that are not UTF-8 (the narrow code page here) come back replaced.
    FUZZ_CHECK(Property(item.get(), u"DisplayPath") == _stringx(displayPath).str());
    // The type is the first of the six, in their search order, that the path names.
    const _stringx type = CRepositoryItem::GetRepoItemType(_stringx(displayPath));
    bool earlier = false;
    for (const OLECHAR* candidate : CRepositoryItem::kItemTypes) {
        const bool named = _stringx(displayPath).find(candidate) != _stringx::npos;
        FUZZ_CHECK((type == _stringx(candidate)) == (named && !earlier));
        earlier = earlier || named;
    }
    FUZZ_CHECK(type.empty() == !earlier);
    item->PutProperty(_stringx(u"FileName"), _stringx(fileName));
    const std::string lowered = Property(item.get(), u"FileName");

    const _stringx path = item->GetItemXPath();
    std::unique_ptr<CRepositoryItem> copy(item->Copy());
    FUZZ_CHECK(copy->GetItemXPath() == path);
    std::vector<XmlAttribMap> found;
    f.document.GetAllAttribValues(path.c_str(), found);
    for (const XmlAttribMap& attributes : found) {
        _stringx stored;
        FUZZ_CHECK(f.repository.GetAttribValue(_stringx(u"FileName"), attributes, stored));
        FUZZ_CHECK(stored.str() == lowered);
    }
}

std::string Line(const std::string& input, std::size_t& at) {
    if (at > input.size())
        return std::string();
    std::size_t end = input.find('\n', at);
    if (end == std::string::npos)
        end = input.size();
    std::string line = input.substr(at, end - at);
    at = end + 1;
    // The library takes C strings: they end at the first NUL.
    return line.substr(0, line.find('\0'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture* f = new Fixture;
    FUZZ_CHECK(f->opened);
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t at = 0;
    const std::string itemPath = Line(input, at), displayPath = Line(input, at),
                      fileName = Line(input, at);

    CRepositoryItems* raw = nullptr;
    const long status = f->repository.GetItems(itemPath.c_str(), &raw);
    std::unique_ptr<CRepositoryItems> items(raw);
    FUZZ_CHECK(items && status == 0);
    const bool expression = itemPath.find_first_of("|[]()\"'$") != std::string::npos;
    for (CRepositoryItem* item = items->MoveFirst(); item; item = items->MoveNext())
        CheckListed(*f, item, expression);

    CheckNewItem(*f, displayPath, fileName);
    return 0;
}
