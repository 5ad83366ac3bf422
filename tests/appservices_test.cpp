// The application-services interface, the component module "KvAppServices.dll"
// and the support-folder question, end to end through the component loader.

#include <regex>

#include "foundation/appservices.h"
#include "test_util.h"
#include "win32/bstr.h"

namespace fs = std::filesystem;
using kv::ComponentLoader;
using kvtest::ScopedEnv;
using kvtest::TempTree;

namespace {

const char kAppServicesModule[] = KV_APPSERVICES_MODULE;
const char kSupportBuildDir[] = KV_SUPPORT_BUILD_DIR;

// The tool's component is built against its own declaration of the interface;
// what both sides share is the place in the function table, so the object is
// asked through the 20th entry of its table (counting IUnknown's three).
TEST(AppServicesObject, AnswersTheSupportFolderFromTheTwentiethTableEntryOnly) {
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
    EXPECT_EQ(E_NOTIMPL, services->Reserved4());
    EXPECT_EQ(E_NOTIMPL, services->Reserved19());

    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, ComponentLoader::Process().GetClassObject(kv::kAppServicesFile,
                                                              CLSID_KvAppServices, &factory));
    void* object = nullptr;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              factory->CreateInstance(services, IID_IKvAppServices, &object));
    EXPECT_EQ(nullptr, object);
    factory->Release();
    services->Release();
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, ComponentLoader::Process().GetClassObject(
                                             kv::kAppServicesFile, IID_IKvAppServices, &factory));
}

TEST(AppServices, ConfiguredSupportFolderThroughTheProcessLoader) {
    TempTree tree;
    fs::create_directories(tree / "kv support");
    _stringx folder(OLESTR("unchanged"));
    {
        ScopedEnv missing("KV_SUPPORT_DIR", (tree / "missing").c_str());
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), kv::QuerySupportFolder(folder));
        EXPECT_EQ(OLESTR("unchanged"), folder);
    }
    ScopedEnv support("KV_SUPPORT_DIR", (tree / "kv support").c_str());
    ASSERT_EQ(S_OK, kv::QuerySupportFolder(folder));
    EXPECT_EQ((tree / "kv support").string(), U8(folder));
    // Loaded once, from beside the library (the first candidate).
    EXPECT_NE(nullptr, ComponentLoader::Process().CachedModule(kv::kAppServicesFile));
    EXPECT_EQ(1u, ComponentLoader::Process().CachedModuleCount());

    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        ScopedEnv unset("KV_SUPPORT_DIR", value);  // the build tree's support folder
        ASSERT_EQ(S_OK, kv::QuerySupportFolder(folder));
        EXPECT_TRUE(kvtest::SameFile(U8(folder), kSupportBuildDir)) << U8(folder);
        EXPECT_EQ(std::string::npos, U8(folder).find("..")) << U8(folder);
    }
}

TEST(AppServices, InstalledLayoutsFindShareBesideTheLibraryFolder) {
    ScopedEnv support("KV_SUPPORT_DIR", nullptr);
    TempTree tree;
    fs::create_directories(tree / "usr/share/kvrepo");
    const auto query = [&](const char* libraryFolder, _stringx& folder) {
        tree.Place(fs::path(libraryFolder) / "KvAppServices.dll", kAppServicesModule);
        ComponentLoader loader(_stringx((tree / libraryFolder / "kvrepo.dll").string()));
        return kv::QuerySupportFolder(folder, loader);
    };
    // <prefix>/lib and a multiarch <prefix>/lib/<triplet> both give <prefix>/share/kvrepo.
    for (const char* libraryFolder : {"usr/lib", "usr/lib/x86_64-linux-gnu"}) {
        _stringx folder;
        ASSERT_EQ(S_OK, query(libraryFolder, folder)) << libraryFolder;
        EXPECT_EQ((tree / "usr/share/kvrepo").string(), U8(folder));
    }
    _stringx folder(OLESTR("unchanged"));  // no support folder installed
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), query("opt/lib", folder));
    // A file of that name that is no module: the system search is never reached.
    kvtest::WriteText(tree / "bad/KvAppServices.dll", "not a module");
    ComponentLoader loader(_stringx((tree / "bad/kvrepo.dll").string()));
    EXPECT_EQ(REGDB_E_CLASSNOTREG, kv::QuerySupportFolder(folder, loader));
    EXPECT_EQ(OLESTR("unchanged"), folder);
}

// The shipped template is a complete, empty repository data file: one group per
// item type, whose folder and key are the type's name, with the type's patterns.
TEST(AppServicesSupportFolder, TemplateHoldsOneGroupPerItemType) {
    const std::string text = kvtest::ReadText(fs::path(kSupportBuildDir) / "RepositoryTpl.xml");
    EXPECT_EQ(0u, text.find("<?xml version=\"1.0\" encoding=\"utf-8\"?>"));
    EXPECT_NE(std::string::npos, text.find("<Repository>"));
    EXPECT_EQ(std::string::npos, text.find("ItemAttrib"));
    const std::pair<std::string, std::string> types[] = {
        {"MergeModules", "\\*\\.msm"}, {"Templates", "\\*\\.kvt"},
        {"Dialogs", "\\*\\.kvd"},      {"KVScripts", "\\*\\.kvs;\\*\\.txt"},
        {"SqlScripts", "\\*\\.sql"},   {"SystemSearches", "\\*\\.ini"}};
    for (const auto& [name, wildcard] : types) {
        const std::regex group("<" + name + R"(>\s*<RepoItem Name=")" + name + R"(" Key=")" + name +
                               R"(" Wildcard=")" + wildcard + R"("\s*/>\s*</)" + name + ">");
        EXPECT_TRUE(std::regex_search(text, group)) << name;
    }
}

}  // namespace
