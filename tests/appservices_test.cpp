// The application-services interface, the component module "KvAppServices.dll"
// and the support-folder question, end to end through the component loader.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "foundation/appservices.h"
#include "foundation/componentloader.h"
#include "foundation/platform/bstr.h"
#include "loader_test_util.h"
#include "test_util.h"

namespace fs = std::filesystem;
using kv::ComponentLoader;
using kvtest::SameFile;
using kvtest::ScopedEnv;
using kvtest::TempTree;

namespace {

const char kAppServicesModule[] = KV_APPSERVICES_MODULE;
const char kSupportBuildDir[] = KV_SUPPORT_BUILD_DIR;

// A services object of our own, to check where the interface's operations sit.
class FakeServices final : public IKvAppServices {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved7() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved8() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved9() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved10() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved12() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved13() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved14() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved15() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved16() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved17() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved18() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved19() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSupportFolder(BSTR* folder) override {
        *folder = SysAllocString(u"slot");
        return S_FALSE;
    }
};

// The tool's component is built against its own declaration of the interface;
// what both sides share is the place in the function table. Single-inheritance
// interfaces without a virtual destructor have their table in declaration order
// (Itanium and Microsoft ABIs alike), so the 20th entry must be GetSupportFolder.
TEST(AppServicesInterface, SupportFolderIsTheTwentiethTableEntry) {
    static_assert(kv::kSupportFolderSlot == 19, "zero-based place of GetSupportFolder");
    FakeServices services;
    IKvAppServices* object = &services;
    using Entry = HRESULT (*)(IKvAppServices*, BSTR*);
    void* const* table = *reinterpret_cast<void* const* const*>(object);
    const Entry entry = reinterpret_cast<Entry>(table[kv::kSupportFolderSlot]);
    BSTR folder = nullptr;
    EXPECT_EQ(S_FALSE, entry(object, &folder));
    EXPECT_EQ(_stringx(u"slot"), _stringx(folder));
    SysFreeString(folder);
}

TEST(AppServices, ConfiguredSupportFolderThroughTheProcessLoader) {
    TempTree tree;
    fs::create_directories(tree / "kv support");
    const std::string configured = (tree / "kv support").string();
    _stringx folder(u"unchanged");
    {
        ScopedEnv missing("KV_SUPPORT_DIR", (tree / "missing").c_str());
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), kv::QuerySupportFolder(folder));
        EXPECT_EQ(_stringx(u"unchanged"), folder);
    }
    ScopedEnv support("KV_SUPPORT_DIR", configured.c_str());
    ASSERT_EQ(S_OK, kv::QuerySupportFolder(folder));
    EXPECT_EQ(_stringx(configured), folder);

    // Loaded once, from beside the library (the first candidate).
    const HMODULE module = ComponentLoader::Process().CachedModule(kv::kAppServicesFile);
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(S_OK, kv::QuerySupportFolder(folder));
    EXPECT_EQ(module, ComponentLoader::Process().CachedModule(kv::kAppServicesFile));
    EXPECT_EQ(1u, ComponentLoader::Process().CachedModuleCount());
}

TEST(AppServices, UnsetOrEmptyGivesTheBuildTreeSupportFolder) {
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        ScopedEnv support("KV_SUPPORT_DIR", value);
        _stringx folder;
        ASSERT_EQ(S_OK, kv::QuerySupportFolder(folder));
        const std::string path = folder.str();
        EXPECT_TRUE(SameFile(path, kSupportBuildDir)) << path;
        EXPECT_TRUE(fs::is_regular_file(fs::path(path) / "RepositoryTpl.xml")) << path;
        EXPECT_EQ(std::string::npos, path.find("..")) << path;
    }
}

TEST(AppServices, InstalledLayoutsFindShareBesideTheLibraryFolder) {
    ScopedEnv support("KV_SUPPORT_DIR", nullptr);
    TempTree tree;
    fs::create_directories(tree / "usr/share/kvrepo");

    // <prefix>/lib and a multiarch <prefix>/lib/<triplet> both give <prefix>/share/kvrepo.
    for (const char* libraryFolder : {"usr/lib", "usr/lib/x86_64-linux-gnu"}) {
        const fs::path component =
            tree.Place(fs::path(libraryFolder) / "KvAppServices.dll", kAppServicesModule);
        ComponentLoader loader(_stringx((component.parent_path() / "kvrepo.dll").string()));
        _stringx folder;
        ASSERT_EQ(S_OK, kv::QuerySupportFolder(folder, loader)) << libraryFolder;
        EXPECT_EQ((tree / "usr/share/kvrepo").string(), folder.str());
    }

    // With no support folder installed there is no answer.
    const fs::path bare = tree.Place("opt/lib/KvAppServices.dll", kAppServicesModule);
    ComponentLoader loader(_stringx((bare.parent_path() / "kvrepo.dll").string()));
    _stringx folder;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), kv::QuerySupportFolder(folder, loader));
}

TEST(AppServices, FailureLeavesTheFolderAlone) {
    // A file of that name that is no module: the system search is never reached.
    TempTree tree;
    std::ofstream((tree / "KvAppServices.dll").string()) << "not a module";
    ComponentLoader loader(_stringx((tree / "kvrepo.dll").string()));
    _stringx folder(u"unchanged");
    EXPECT_EQ(REGDB_E_CLASSNOTREG, kv::QuerySupportFolder(folder, loader));
    EXPECT_EQ(_stringx(u"unchanged"), folder);
}

class AppServicesObject : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK,
                  ComponentLoader::Process().CreateInstance(
                      kv::kAppServicesFile, CLSID_KvAppServices, IID_IKvAppServices, &m_services));
        ASSERT_NE(nullptr, m_services);
    }
    void TearDown() override {
        if (m_services)
            m_services->Release();
    }
    IKvAppServices* m_services = nullptr;
};

TEST_F(AppServicesObject, OnlyTheSupportFolderIsImplemented) {
    EXPECT_EQ(E_NOTIMPL, m_services->Reserved4());
    EXPECT_EQ(E_NOTIMPL, m_services->Reserved19());
    EXPECT_EQ(E_POINTER, m_services->GetSupportFolder(nullptr));
    ScopedEnv support("KV_SUPPORT_DIR", "/");
    BSTR folder = nullptr;
    ASSERT_EQ(S_OK, m_services->GetSupportFolder(&folder));
    EXPECT_EQ(1u, SysStringLen(folder));
    SysFreeString(folder);
}

TEST_F(AppServicesObject, ClassObjectRefusesAggregationAndOtherClasses) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, ComponentLoader::Process().GetClassObject(kv::kAppServicesFile,
                                                              CLSID_KvAppServices, &factory));
    void* object = nullptr;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              factory->CreateInstance(m_services, IID_IKvAppServices, &object));
    EXPECT_EQ(nullptr, object);
    factory->Release();

    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, ComponentLoader::Process().GetClassObject(
                                             kv::kAppServicesFile, IID_IKvAppServices, &factory));
}

// The shipped template is a complete, empty repository data file: one group per
// item type, whose folder and key are the type's name, with the type's patterns.
TEST(AppServicesSupportFolder, TemplateHoldsOneGroupPerItemType) {
    std::ifstream file(fs::path(kSupportBuildDir) / "RepositoryTpl.xml");
    ASSERT_TRUE(file.good());
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    EXPECT_EQ(0u, text.find("<?xml version=\"1.0\" encoding=\"utf-8\"?>"));
    EXPECT_NE(std::string::npos, text.find("<Repository>"));
    EXPECT_EQ(std::string::npos, text.find("ItemAttrib"));

    const std::pair<const char*, const char*> types[] = {
        {"MergeModules", "*.msm"},    {"Templates", "*.kvt"},  {"Dialogs", "*.kvd"},
        {"KVScripts", "*.kvs;*.txt"}, {"SqlScripts", "*.sql"}, {"SystemSearches", "*.ini"}};
    for (const auto& type : types) {
        const std::string name = type.first;
        std::string wildcard = type.second;
        wildcard = std::regex_replace(wildcard, std::regex(R"([*.])"), R"(\$&)");
        const std::regex group("<" + name + R"(>\s*<RepoItem Name=")" + name + R"(" Key=")" + name +
                               R"(" Wildcard=")" + wildcard + R"("\s*/>\s*</)" + name + ">");
        EXPECT_TRUE(std::regex_search(text, group)) << name;
    }
}

}  // namespace
