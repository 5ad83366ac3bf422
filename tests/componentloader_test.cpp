// The component loader's file search, module cache and class creation, and the
// installation-folder lookup.
//
// The tests copy the test component modules into folder trees under the names
// the loader looks for, and point a loader at a made-up own module file there.

#include "win32/errors.h"
#include "win32/module.h"
#include "modules/testcomponent.h"
#include "test_util.h"
#include "win32/bstr.h"
#include "win32/com.h"

using kv::ComponentLoader;
using namespace kvtest;

namespace {

const char kComponentModule[] = KV_TEST_COMPONENT_MODULE;
const char kNoExportModule[] = KV_TEST_NOEXPORT_MODULE;

std::string Backslashed(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// What a created test component reports: the file it was loaded from and the
// current directory during its load; empty when creation failed.
struct Created {
    HRESULT result = E_FAIL;
    std::string modulePath, loadDirectory;
};

Created Create(ComponentLoader& loader, const _stringx& file) {
    Created created;
    ITestComponent* component = nullptr;
    created.result =
        loader.CreateInstance(file, CLSID_TestComponent, IID_ITestComponent, &component);
    if (component) {
        BSTR module = nullptr, directory = nullptr;
        EXPECT_EQ(S_OK, component->GetPaths(&module, &directory));
        created.modulePath = U8(_stringx(module));
        created.loadDirectory = U8(_stringx(directory));
        SysFreeString(module);
        SysFreeString(directory);
        component->Release();
    }
    return created;
}

// The library sits in <tree>/P/Bin; Common Files is <tree>/Common.
class ComponentLoaderTest : public testing::Test {
protected:
    fs::path Place(const fs::path& relative, const char* module = kComponentModule) {
        return m_tree.Place(relative, module);
    }

    TempTree m_tree;
    ScopedEnv m_common{"KV_COMMON_FILES_DIR", m_tree / "Common"};
    ComponentLoader m_loader{_stringx((m_tree / "P/Bin/kvrepo.dll").string())};
};

// Why the Common Files folder cannot be a test's own here, or null: the
// POSIX layer takes it from KV_COMMON_FILES_DIR, Windows from its registry.
#ifdef _WIN32
constexpr const char* kCommonFilesFromRegistry =
    "the install folders are the system's, from the registry";
#else
constexpr const char* kCommonFilesFromRegistry = nullptr;
#endif

// Every candidate position, in search order.
const char* const kCandidates[] = {
    "P/Bin/scrrun.dll",                     // the library's folder
    "P/Bin/System/scrrun.dll",              // its System sub-folder
    "Common/Veltrane/scrrun.dll",           // Common Files\Veltrane
    "Common/Veltrane/Lumbrook/scrrun.dll",  // ...\Lumbrook
    "P/System/scrrun.dll",                  // System beside the library's folder
    "System/scrrun.dll",                    // one more level up
};

class ComponentLoaderSearchTest : public ComponentLoaderTest,
                                  public testing::WithParamInterface<std::size_t> {};

// With a copy in the candidate under test and in every later one, the one under
// test is loaded, with the current directory switched to its folder meanwhile.
TEST_P(ComponentLoaderSearchTest, FirstExistingCandidateIsLoadedFromItsFolder) {
    if (kCommonFilesFromRegistry && std::string(kCandidates[GetParam()]).rfind("Common/", 0) == 0)
        GTEST_SKIP() << kCommonFilesFromRegistry;
    for (std::size_t i = GetParam(); i < std::size(kCandidates); ++i)
        Place(kCandidates[i]);
    const fs::path before = fs::current_path();
    const Created created = Create(m_loader, OLESTR("scrrun.dll"));
    ASSERT_EQ(S_OK, created.result);
    const fs::path expected = m_tree / kCandidates[GetParam()];
    EXPECT_TRUE(SameFile(created.modulePath, expected)) << created.modulePath;
    EXPECT_TRUE(SameFile(created.loadDirectory, expected.parent_path())) << created.loadDirectory;
    EXPECT_EQ(before.string(), fs::current_path().string());
}

INSTANTIATE_TEST_SUITE_P(Candidates, ComponentLoaderSearchTest,
                         testing::Range<std::size_t>(0, std::size(kCandidates)));

TEST_F(ComponentLoaderTest, NothingElseIsACandidateAndAFolderInTheNameIsTheOnlyPlace) {
    // Not a file directly above the library's folder; not Common Files without
    // the Common Files folder.
    Place("P/scrrun.dll");
    Place("Common/Veltrane/scrrun.dll");
    Place("System/scrrun.dll");
    {
        ScopedEnv noCommon("KV_COMMON_FILES_DIR", nullptr);
        EXPECT_TRUE(SameFile(Create(m_loader, OLESTR("scrrun.dll")).modulePath,
                             m_tree / "System/scrrun.dll"));
    }
    // A name with a folder is loaded from there only, a relative one from the
    // current directory (not the library's folder), which is switched meanwhile.
    const fs::path elsewhere = Place("Elsewhere/scrrun.dll");
    EXPECT_TRUE(SameFile(Create(m_loader, _stringx(Backslashed(elsewhere.string()))).modulePath,
                         elsewhere));
    const _stringx missing((m_tree / "Missing/scrrun.dll").string());
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create(m_loader, missing).result);
    EXPECT_EQ(nullptr, m_loader.CachedModule(missing));
    Place("Sub/scrrun.dll");
    Place("P/Bin/Sub/scrrun.dll");
    ScopedCwd cwd(m_tree.root());
    const Created created = Create(m_loader, OLESTR("Sub\\scrrun.dll"));
    EXPECT_TRUE(SameFile(created.modulePath, m_tree / "Sub/scrrun.dll"));
    EXPECT_TRUE(SameFile(created.loadDirectory, m_tree / "Sub"));
    EXPECT_TRUE(SameFile(fs::current_path(), m_tree.root()));

    // Without an own module file, bare names go to the system search, which does
    // not look in the current directory.
    ComponentLoader loader{_stringx()};
    Place("absent.dll");
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create(loader, OLESTR("absent.dll")).result);
    EXPECT_EQ(0u, loader.CachedModuleCount());
#if defined(__linux__)
    // One the system does find is loaded and cached; it has no class object.
    IClassFactory* factory = nullptr;
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              loader.GetClassObject(OLESTR("libm.so.6"), CLSID_TestComponent, &factory));
    EXPECT_NE(nullptr, loader.CachedModule(OLESTR("libm.so.6")));
#endif
}

TEST_F(ComponentLoaderTest, CacheIsKeyedByTheNameExactlyAsGivenAndNeverSearchedAgain) {
    const fs::path first = Place("P/Bin/scrrun.dll");
    Place("P/Bin/SCRRUN.DLL");
    EXPECT_TRUE(SameFile(Create(m_loader, OLESTR("scrrun.dll")).modulePath, first));
    EXPECT_TRUE(
        SameFile(Create(m_loader, OLESTR("SCRRUN.DLL")).modulePath, m_tree / "P/Bin/SCRRUN.DLL"));
    EXPECT_EQ(2u, m_loader.CachedModuleCount());
    EXPECT_EQ(nullptr, m_loader.CachedModule(OLESTR("Scrrun.dll")));

    // The file is gone and another candidate has appeared: the cached module answers.
    const HMODULE module = m_loader.CachedModule(OLESTR("scrrun.dll"));
    fs::rename(first, m_tree / "P/Bin/moved.dll");  // (Windows removes no loaded module)
    Place("P/Bin/System/scrrun.dll");
    EXPECT_EQ(first.string(), Create(m_loader, OLESTR("scrrun.dll")).modulePath);
    EXPECT_EQ(module, m_loader.CachedModule(OLESTR("scrrun.dll")));
    EXPECT_EQ(2u, m_loader.CachedModuleCount());

    // Its file name, cut to a buffer too small, fills the buffer (the library's
    // own-module lookup relies on it); only its own exports are found.
    char small[6];
    EXPECT_EQ(sizeof small, GetModuleFileNameA(module, small, sizeof small));
#ifndef _WIN32
    // As current Windows does; the layer's own call. (Windows' own call under
    // Wine 8 neither terminates the text nor sets the error, as Windows XP
    // did: the library relies on the length alone.)
    EXPECT_EQ(first.string().substr(0, 5), small);
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
#endif
    EXPECT_EQ(nullptr, GetProcAddress(module, "malloc"));  // linked to, not exported
    EXPECT_EQ(DWORD(ERROR_PROC_NOT_FOUND), GetLastError());
}

// "absent.dll" is a name no build produces: the system search cannot find it
// even where the sanitizer runtime searches from the test program.
TEST_F(ComponentLoaderTest, FailuresAreClassNotRegisteredOrTheModulesOwnCode) {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              m_loader.GetClassObject(OLESTR("absent.dll"), CLSID_TestComponent, &factory));
    EXPECT_EQ(nullptr, factory);
    WriteText(m_tree / "P/Bin/junk.dll", "not a module");
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create(m_loader, OLESTR("junk.dll")).result);
    EXPECT_EQ(0u, m_loader.CachedModuleCount());  // nothing loaded, nothing cached
#ifndef _WIN32
    // POSIX has no class registry for an empty file name (Windows asks COM's).
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create(m_loader, _stringx()).result);
#endif

    Place("P/Bin/noexport.dll", kNoExportModule);  // loaded, so cached
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create(m_loader, OLESTR("noexport.dll")).result);
    EXPECT_NE(nullptr, m_loader.CachedModule(OLESTR("noexport.dll")));

    Place("P/Bin/scrrun.dll");  // (another class: see the XML component's tests)
    IClassFactory* notThere = nullptr;
    EXPECT_EQ(E_NOINTERFACE, m_loader.CreateInstance(OLESTR("scrrun.dll"), CLSID_TestComponent,
                                                     IID_IClassFactory, &notThere));
    EXPECT_EQ(nullptr, notThere);
}

TEST(InstallFolder, KindSelectsTheFolderAndTooLongOrMissingValuesGiveNothing) {
    if (kCommonFilesFromRegistry)
        GTEST_SKIP() << kCommonFilesFromRegistry;
    ScopedEnv common("KV_COMMON_FILES_DIR", "/opt/common files");
    ScopedEnv programs("KV_PROGRAM_FILES_DIR", "/opt/programs");
    for (int kind : {kv::kCommonFilesFolder, kv::kCommonFilesFolder | kv::kInstallFolder64})
        EXPECT_EQ(OLESTR("/opt/common files"), kv::GetInstallFolder(kind)) << kind;
    for (int kind : {kv::kProgramFilesFolder, kv::kInstallFolder64, 2, -1})
        EXPECT_EQ(OLESTR("/opt/programs"), kv::GetInstallFolder(kind)) << kind;

    const std::string longest = "/" + std::string(258, 'x');  // 259 bytes and the terminator
    ScopedEnv atLimit("KV_PROGRAM_FILES_DIR", longest.c_str());
    EXPECT_EQ(_stringx(longest), kv::GetInstallFolder(0));
    ScopedEnv tooLong("KV_PROGRAM_FILES_DIR", (longest + "x").c_str());
    EXPECT_TRUE(kv::GetInstallFolder(0).empty());
    for (const char* value : {"", static_cast<const char*>(nullptr)}) {
        ScopedEnv unset("KV_COMMON_FILES_DIR", value);
        EXPECT_TRUE(kv::GetInstallFolder(1).empty());
    }
}

}  // namespace
