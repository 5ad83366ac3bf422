// Fuzzes the repository data file: each input becomes the data file of a
// repository whose folders hold a few items of every type, and is listed
// through CRepository::GetItems for every type and two single files.
//
// Checked for every listed item: its FileName is the lower-cased name, its
// DisplayPath is built from Key and FileName, and its properties are exactly
// those of the element the per-file query finds (the catalogue answers from an
// index instead), or the derived FileName and DisplayName when there is none.
#include <memory>
#include <vector>

#include "fuzz_util.h"
#include "xml/xpath.h"

namespace {

using kvfuzz::Catalogue;
using kvfuzz::Property;

struct Listing {
    const char* itemPath;
    const char16_t* typePath;
};

const Listing kListings[] = {
    {"Dialogs/*", u"Dialogs"},
    {"Templates/*", u"Templates"},
    {"MergeModules/*", u"MergeModules"},
    {"KVScripts/*", u"KVScripts"},
    {"SqlScripts/*", u"SqlScripts"},
    {"SystemSearches/*", u"SystemSearches"},
    {"<KVREPOSITORY>\\Dialogs\\WELCOME.kvd", u"Dialogs"},
    {"<KVREPOSITORY>\\Templates\\solo.kvt", u"Templates"},
};

std::string Text(const CComVariant& value) {
    CComVariant text(value);
    if (FAILED(text.ChangeType(VT_BSTR)))
        return "<not text>";
    return _stringx(text.bstrVal, SysStringLen(text.bstrVal)).str();
}

struct Fixture {
    kvfuzz::QuietStatus status;
    kvfuzz::fs::path repo = kvfuzz::MakeRepositoryTree(kvfuzz::Scratch());
    kvfuzz::fs::path dataFile = repo / "Repository.xml";
    CRepository repository{"Local", dataFile.c_str(), true,
                           (kvfuzz::Scratch() / "Repositories.xml").c_str(), &status};
    Catalogue catalogue{&status};
};

void CheckItem(Fixture& f, XMLIntercessor& document, CRepositoryItem* item,
               const _stringx& typePath) {
    const std::string fileName = Property(item, u"FileName");
    FUZZ_CHECK(kv::LowerFileName(_stringx(fileName)).str() == fileName);
    FUZZ_CHECK(Property(item, u"DisplayPath") ==
               "<KVREPOSITORY>\\" + Property(item, u"Key") + "\\" + fileName);

    // A stored LocalCopy replaces the found path; only a real path names the
    // file the catalogue found.
    const std::string local = Property(item, u"LocalCopy");
    if (!kvfuzz::Inside(local, f.repo) || !kvfuzz::fs::is_regular_file(kvfuzz::SystemPath(local)))
        return;
    const _stringx found = kv::PathLastComponent(_stringx(local));
    XmlAttribMap stored;
    document.GetAttribValues(f.catalogue.GetItemAttribXPath(typePath + u"/RepoItem", found).c_str(),
                             stored);
    if (stored.empty()) {
        FUZZ_CHECK(fileName == kv::LowerFileName(found).str());
        FUZZ_CHECK(Property(item, u"DisplayName") == found.str());
        return;
    }
    for (const auto& attribute : stored) {
        if (attribute.first == _stringx(u"DisplayPath") ||
            attribute.first == _stringx(u"ParentRepo"))
            continue;
        FUZZ_CHECK(Property(item, attribute.first.c_str()) == Text(attribute.second));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture* f = new Fixture;
    kvfuzz::WriteFile(f->dataFile, data, size);

    XMLIntercessor document;
    bool opened = false;
    for (const Listing& listing : kListings) {
        CRepositoryItems* raw = nullptr;
        const long status = f->repository.GetItems(listing.itemPath, &raw);
        std::unique_ptr<CRepositoryItems> items(raw);
        FUZZ_CHECK(items);
        FUZZ_CHECK(status == 0 || status == -103);
        if (status != 0)
            return 0;  // the file does not parse: every listing would say so
        if (!opened && items->GetCount() > 0) {
            FUZZ_CHECK(f->repository.OpenXmlFile(document) == 0);
            opened = true;
        }
        for (CRepositoryItem* item = items->MoveFirst(); item; item = items->MoveNext())
            CheckItem(*f, document, item, _stringx(listing.typePath));
    }
    _stringx searchPath;
    FUZZ_CHECK(f->repository.GetProperty(_stringx(u"MMSearchPath"), &searchPath) == 0);
    return 0;
}
