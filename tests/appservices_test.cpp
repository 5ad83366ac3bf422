// The application-services component "KvAppServices.dll" and the
// support-folder question, through the component loader. (Repository creation
// asks it for the template whenever a test creates a repository.)

#include <regex>

#include "foundation/appservices.h"
#include "test_util.h"
#include "win32/bstr.h"

using kv::ComponentLoader;
using namespace kvtest;

namespace {

// The tool's component is built against its own declaration of the interface;
// what both sides share is the place in the function table, so the object is
// asked through the 20th entry of its table (counting IUnknown's three).
TEST(AppServices, AnswersTheSupportFolderFromTheTwentiethTableEntry) {
    IKvAppServices* services = nullptr;
    ASSERT_EQ(S_OK, ComponentLoader::Process().CreateInstance(
                        kv::kAppServicesFile, CLSID_KvAppServices, IID_IKvAppServices, &services));
    ScopedEnv support("KV_SUPPORT_DIR", "/");
    using Entry = HRESULT (*)(IKvAppServices*, BSTR*);
    void* const* table = *reinterpret_cast<void* const* const*>(services);
    BSTR folder = nullptr;
    ASSERT_EQ(S_OK, reinterpret_cast<Entry>(table[kv::kSupportFolderSlot])(services, &folder));
    EXPECT_EQ(OLESTR("/"), _stringx(folder));
    SysFreeString(folder);
    EXPECT_EQ(E_POINTER, services->GetSupportFolder(nullptr));
    services->Release();
}

// Without KV_SUPPORT_DIR the folder is share/kvrepo beside the library's
// folder, for <prefix>/lib and a multiarch <prefix>/lib/<triplet> alike; on
// Windows it is "support" in the library's folder, bin/.
#ifdef _WIN32
const char* const kLibraryFolders[] = {"usr/bin"};
const char* const kSupportFolder = "usr/bin/support";
#else
const char* const kLibraryFolders[] = {"usr/lib", "usr/lib/x86_64-linux-gnu"};
const char* const kSupportFolder = "usr/share/kvrepo";
#endif

TEST(AppServices, InstalledLayoutsFindShareBesideTheLibraryFolder) {
    ScopedEnv support("KV_SUPPORT_DIR", nullptr);
    TempTree tree;
    fs::create_directories(tree / kSupportFolder);
    const auto query = [&](const char* libraryFolder, _stringx& folder) {
        tree.Place(fs::path(libraryFolder) / "KvAppServices.dll", KV_APPSERVICES_MODULE);
        ComponentLoader loader(_stringx((tree / libraryFolder / "kvrepo.dll").string()));
        return kv::QuerySupportFolder(folder, loader);
    };
    for (const char* libraryFolder : kLibraryFolders) {
        _stringx folder;
        ASSERT_EQ(S_OK, query(libraryFolder, folder)) << libraryFolder;
        EXPECT_EQ((tree / kSupportFolder).make_preferred().string(), U8(folder));
    }
    _stringx folder(OLESTR("unchanged"));  // no support folder installed
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), query("opt/lib", folder));
    // A file of that name that is no module: the system search is never reached.
    WriteText(tree / "bad/KvAppServices.dll", "not a module");
    ComponentLoader loader(_stringx((tree / "bad/kvrepo.dll").string()));
    EXPECT_EQ(REGDB_E_CLASSNOTREG, kv::QuerySupportFolder(folder, loader));
    EXPECT_EQ(OLESTR("unchanged"), folder);

    // In the build tree: its own support folder, loaded once, from beside the library.
    ASSERT_EQ(S_OK, kv::QuerySupportFolder(folder));
    EXPECT_TRUE(SameFile(U8(folder), KV_SUPPORT_BUILD_DIR)) << U8(folder);
    EXPECT_EQ(std::string::npos, U8(folder).find("..")) << U8(folder);
    EXPECT_EQ(1u, ComponentLoader::Process().CachedModuleCount());

    // The template there is a complete, empty repository data file: one group
    // per item type, whose folder and key are the type's name, with its patterns.
    const std::string text = ReadText(fs::path(U8(folder)) / "RepositoryTpl.xml");
    EXPECT_EQ(std::string::npos, text.find("ItemAttrib"));
    for (const auto& [type, wildcard] :
         FlatPairs({"MergeModules", "\\*\\.msm", "Templates", "\\*\\.kvt", "Dialogs", "\\*\\.kvd",
                    "KVScripts", "\\*\\.kvs;\\*\\.txt", "SqlScripts", "\\*\\.sql", "SystemSearches",
                    "\\*\\.ini"}))
        EXPECT_TRUE(std::regex_search(
            text, std::regex("<" + type + R"(>\s*<RepoItem Name=")" + type + R"(" Key=")" + type +
                             R"(" Wildcard=")" + wildcard + R"("\s*/>\s*</)" + type + ">")))
            << type;
}

}  // namespace
