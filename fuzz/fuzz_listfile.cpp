// Fuzzes the repository-list file: each input becomes the list file of a
// manager, whose repositories are loaded, walked and asked for properties;
// one property is written and the list read again, repositories whose data
// file lies in the scratch folder are asked for their dialogs, and a new
// local repository is created from the template.
//
// Checked: loading answers 0 or -103; every repository answers its own key;
// the key filter and the existence test hold; writing a property keeps every
// entry (same keys, same order) and reads back what was written.
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "win32/fileio.h"

namespace {

using kvfuzz::Property;

struct Fixture {
    kvfuzz::QuietStatus status;
    kvfuzz::fs::path folder = kvfuzz::Scratch() / "list";
    kvfuzz::fs::path repo = kvfuzz::MakeRepositoryTree(folder);
    kvfuzz::fs::path listFile = folder / "Repositories.xml";
    Fixture() {
        kvfuzz::WriteFile(repo / "Repository.xml",
                          "<Repository><Dialogs><RepoItem Name=\"Dialogs\" Key=\"Dialogs\" "
                          "Wildcard=\"*.kvd\"/></Dialogs></Repository>");
    }
};

// The keys of every entry, in list order; false when the list does not load.
bool Keys(Fixture& f, std::vector<std::string>& keys) {
    CRepositoryMgr manager(f.listFile.c_str(), &f.status);
    CRepositories* list = nullptr;
    const long status = manager.GetRepositories(nullptr, &list, true);
    FUZZ_CHECK(list && (status == 0 || status == -103));
    for (CRepository* repository = list->MoveFirst(); repository; repository = list->MoveNext())
        keys.push_back(repository->GetKey().str());
    return status == 0;
}

void Walk(Fixture& f) {
    CRepositoryMgr manager(f.listFile.c_str(), &f.status);
    CRepositories* list = nullptr;
    if (manager.GetRepositories(nullptr, &list, true) != 0)
        return;
    for (CRepository* repository = list->MoveFirst(); repository; repository = list->MoveNext()) {
        FUZZ_CHECK(Property(repository, OLESTR("Key")) == repository->GetKey().str());
        Property(repository, OLESTR("DisplayName"));
        Property(repository, OLESTR("Path"));
        Property(repository, OLESTR("MMSearchPath"));
    }

    CRepositories* locals = nullptr;
    FUZZ_CHECK(manager.GetRepositories("Local", &locals, false) == 0);
    bool contained = true;
    for (CRepository* repository = locals->MoveFirst(); repository;
         repository = locals->MoveNext()) {
        FUZZ_CHECK(repository->GetKey() == _stringx(OLESTR("Local")));
        const std::string dataFile = repository->GetRepoDataFilePath().str();
        FUZZ_CHECK(kvfuzz::fs::is_regular_file(kvfuzz::SystemPath(dataFile)));
        contained = contained && kvfuzz::Inside(dataFile, kvfuzz::Scratch());
    }
    // Only data files of the scratch folder are read: a listed path may name any file.
    if (contained) {
        CRepositoryItems* items = nullptr;
        const long status = locals->GetRepositoryItems("Dialogs/*", 1, &items);
        FUZZ_CHECK(items && (status == 0 || status == -103));
    }
}

void WriteProperty(Fixture& f, const std::vector<std::string>& keys) {
    CRepositoryMgr manager(f.listFile.c_str(), &f.status);
    CRepositories* list = nullptr;
    manager.GetRepositories(nullptr, &list, true);
    CRepository* first = list ? list->MoveFirst() : nullptr;
    if (!first)
        return;
    const _stringx name(OLESTR("DisplayName")), value(OLESTR("Fuzzed \"name\" & <more>"));
    if (first->PutProperty(name, value) != 0)
        return;
    const std::string read = Property(first, OLESTR("DisplayName"));
    FUZZ_CHECK(read == value.str() || read == "<none>");
    std::vector<std::string> after;
    FUZZ_CHECK(Keys(f, after));
    FUZZ_CHECK(after == keys);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture* f = new Fixture;
    kvfuzz::WriteFile(f->listFile, data, size);
    std::vector<std::string> keys;
    if (!Keys(*f, keys))
        return 0;
    Walk(*f);
    WriteProperty(*f, keys);

    CRepositoryMgr manager(f->listFile.c_str(), &f->status);
    CRepository* created = nullptr;
    const long status = manager.CreateRepository(
        _stringx(OLESTR("Local")), _stringx((f->folder / "new" / "Repository.xml").string()),
        &created);
    FUZZ_CHECK(status == 0 || status == -113 || status == -102 || status == -103);
    FUZZ_CHECK((status == 0) == (created != nullptr));
    return 0;
}
