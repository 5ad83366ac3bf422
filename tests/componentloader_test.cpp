// The component loader's file search, module cache and class creation, the
// installation-folder lookup, and the platform functions they stand on (module
// loading, file attributes, current directory, registry).
//
// The tests copy the test component modules into folder trees under the names
// the loader looks for, and point a loader at a made-up own module file there.

#include "win32/errors.h"
#include "win32/files.h"
#include "win32/module.h"
#include "modules/testcomponent.h"
#include "test_util.h"
#include "win32/bstr.h"
#include "win32/com.h"

namespace fs = std::filesystem;
using kv::ComponentLoader;
using kvtest::SameFile;
using kvtest::ScopedCwd;
using kvtest::ScopedEnv;
using kvtest::TempTree;

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

Created Create(ComponentLoader& loader, const _stringx& file,
               REFCLSID clsid = CLSID_TestComponent) {
    Created created;
    ITestComponent* component = nullptr;
    created.result = loader.CreateInstance(file, clsid, IID_ITestComponent, &component);
    if (!component)
        return created;
    BSTR text = nullptr;
    EXPECT_EQ(S_OK, component->GetModulePath(&text));
    created.modulePath = U8(_stringx(text));
    SysFreeString(text);
    EXPECT_EQ(S_OK, component->GetLoadDirectory(&text));
    created.loadDirectory = U8(_stringx(text));
    SysFreeString(text);
    component->Release();
    return created;
}

// The library sits in <tree>/P/Bin; Common Files is <tree>/Common.
class ComponentLoaderTest : public testing::Test {
protected:
    fs::path Place(const fs::path& relative, const char* module = kComponentModule) {
        return m_tree.Place(relative, module);
    }

    TempTree m_tree;
    ScopedEnv m_common{"KV_COMMON_FILES_DIR", (m_tree / "Common").c_str()};
    ComponentLoader m_loader{_stringx((m_tree / "P/Bin/kvrepo.dll").string())};
};

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

TEST_F(ComponentLoaderTest, NothingElseIsACandidate) {
    // Not a file directly above the library's folder; not Common Files without
    // the Common Files folder.
    Place("P/scrrun.dll");
    Place("Common/Veltrane/scrrun.dll");
    Place("System/scrrun.dll");
    ScopedEnv noCommon("KV_COMMON_FILES_DIR", nullptr);
    const Created created = Create(m_loader, OLESTR("scrrun.dll"));
    EXPECT_TRUE(SameFile(created.modulePath, m_tree / "System/scrrun.dll")) << created.modulePath;

    // Without an own module file, bare names go to the system search, which does
    // not look in the current directory.
    ComponentLoader loader{_stringx()};
    Place("absent.dll");
    ScopedCwd cwd(m_tree.root());
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

TEST_F(ComponentLoaderTest, NameWithAFolderIsLoadedFromThatPathOnly) {
    Place("P/Bin/scrrun.dll");
    const fs::path elsewhere = Place("Elsewhere/scrrun.dll");
    EXPECT_TRUE(SameFile(Create(m_loader, _stringx(elsewhere.string())).modulePath, elsewhere));
    EXPECT_TRUE(SameFile(Create(m_loader, _stringx(Backslashed(elsewhere.string()))).modulePath,
                         elsewhere));
    const _stringx missing((m_tree / "Missing/scrrun.dll").string());
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create(m_loader, missing).result);
    EXPECT_EQ(nullptr, m_loader.CachedModule(missing));

    // A relative one is taken from the current directory, not the library's folder.
    Place("Sub/scrrun.dll");
    Place("P/Bin/Sub/scrrun.dll");
    ScopedCwd cwd(m_tree.root());
    const Created created = Create(m_loader, OLESTR("Sub\\scrrun.dll"));
    EXPECT_TRUE(SameFile(created.modulePath, m_tree / "Sub/scrrun.dll"));
    EXPECT_TRUE(SameFile(created.loadDirectory, m_tree / "Sub"));
    EXPECT_TRUE(SameFile(fs::current_path(), m_tree.root()));
}

TEST_F(ComponentLoaderTest, CacheIsKeyedByTheNameExactlyAsGivenAndNeverSearchedAgain) {
    const fs::path first = Place("P/Bin/scrrun.dll");
    Place("P/Bin/SCRRUN.DLL");
    const Created lower = Create(m_loader, OLESTR("scrrun.dll"));
    const Created upper = Create(m_loader, OLESTR("SCRRUN.DLL"));
    EXPECT_TRUE(SameFile(lower.modulePath, first));
    EXPECT_TRUE(SameFile(upper.modulePath, m_tree / "P/Bin/SCRRUN.DLL"));
    EXPECT_EQ(2u, m_loader.CachedModuleCount());
    EXPECT_NE(m_loader.CachedModule(OLESTR("scrrun.dll")),
              m_loader.CachedModule(OLESTR("SCRRUN.DLL")));
    EXPECT_EQ(nullptr, m_loader.CachedModule(OLESTR("Scrrun.dll")));

    // The file is gone and another candidate has appeared: the cached module answers.
    const HMODULE module = m_loader.CachedModule(OLESTR("scrrun.dll"));
    fs::remove(first);
    Place("P/Bin/System/scrrun.dll");
    EXPECT_EQ(first.string(), Create(m_loader, OLESTR("scrrun.dll")).modulePath);
    EXPECT_EQ(module, m_loader.CachedModule(OLESTR("scrrun.dll")));
    EXPECT_EQ(2u, m_loader.CachedModuleCount());
}

// "absent.dll" is a name no build produces: the system search cannot find it
// even where the sanitizer runtime searches from the test program.
TEST_F(ComponentLoaderTest, FailuresAreClassNotRegisteredOrTheModulesOwnCode) {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              m_loader.GetClassObject(OLESTR("absent.dll"), CLSID_TestComponent, &factory));
    EXPECT_EQ(nullptr, factory);
    kvtest::WriteText(m_tree / "P/Bin/junk.dll", "not a module");
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create(m_loader, OLESTR("junk.dll")).result);
    EXPECT_EQ(0u, m_loader.CachedModuleCount());  // nothing loaded, nothing cached
    // POSIX has no class registry for an empty file name.
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create(m_loader, _stringx()).result);

    Place("P/Bin/noexport.dll", kNoExportModule);  // loaded, so cached
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create(m_loader, OLESTR("noexport.dll")).result);
    EXPECT_NE(nullptr, m_loader.CachedModule(OLESTR("noexport.dll")));

    Place("P/Bin/scrrun.dll");
    const CLSID other = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              m_loader.GetClassObject(OLESTR("scrrun.dll"), other, &factory));
    EXPECT_EQ(nullptr, factory);
    IClassFactory* notThere = nullptr;
    EXPECT_EQ(E_NOINTERFACE, m_loader.CreateInstance(OLESTR("scrrun.dll"), CLSID_TestComponent,
                                                     IID_IClassFactory, &notThere));
    EXPECT_EQ(nullptr, notThere);
}

TEST(ComponentLoaderProcess, OwnModuleFileIsTheLibrary) {
    const std::string own = U8(ComponentLoader::Process().OwnModuleFile());
    EXPECT_EQ(&ComponentLoader::Process(), &ComponentLoader::Process());
    EXPECT_TRUE(fs::exists(own)) << own;
    EXPECT_NE(std::string::npos, fs::path(own).filename().string().find("kvrepo")) << own;
}

TEST(InstallFolder, KindSelectsTheFolderAndTooLongOrMissingValuesGiveNothing) {
    ScopedEnv common("KV_COMMON_FILES_DIR", "/opt/common files");
    ScopedEnv programs("KV_PROGRAM_FILES_DIR", "/opt/programs");
    EXPECT_EQ(OLESTR("/opt/common files"), kv::GetInstallFolder(kv::kCommonFilesFolder));
    EXPECT_EQ(OLESTR("/opt/common files"),
              kv::GetInstallFolder(kv::kCommonFilesFolder | kv::kInstallFolder64));
    for (int kind : {kv::kProgramFilesFolder, kv::kInstallFolder64, 2, -1})
        EXPECT_EQ(OLESTR("/opt/programs"), kv::GetInstallFolder(kind)) << kind;

    const std::string longest = "/" + std::string(258, 'x');  // 259 bytes and the terminator
    ScopedEnv atLimit("KV_PROGRAM_FILES_DIR", longest.c_str());
    EXPECT_EQ(_stringx(longest), kv::GetInstallFolder(0));
    ScopedEnv tooLong("KV_PROGRAM_FILES_DIR", (longest + "x").c_str());
    EXPECT_TRUE(kv::GetInstallFolder(0).empty());
    ScopedEnv empty("KV_COMMON_FILES_DIR", "");
    EXPECT_TRUE(kv::GetInstallFolder(1).empty());
    ScopedEnv unset("KV_COMMON_FILES_DIR", nullptr);
    EXPECT_TRUE(kv::GetInstallFolder(1).empty());
}

TEST(PlatformFiles, AttributesFollowTypeWriteBitAndDotName) {
    TempTree tree;
    const std::string file = kvtest::WriteText(tree / "dir/file.txt", "x");
    kvtest::WriteText(tree / "dir/.hidden", "");
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_NORMAL), GetFileAttributesA(Backslashed(file).c_str()));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesA((tree / "dir/.").c_str()));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_HIDDEN), GetFileAttributesA((tree / "dir/.hidden").c_str()));
    kvtest::SetPerms(file, kvtest::kReadOnly);
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY), GetFileAttributesA(file.c_str()));
    SetLastError(0);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((tree / "missing").c_str()));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((tree / "dir/file.txt/x").c_str()));
    EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), GetLastError());
}

// The loader keeps the current directory in a buffer of its own to restore it.
TEST(PlatformFiles, CurrentDirectoryFollowsWin32BufferConventions) {
    TempTree tree;
    ScopedCwd cwd(tree.root());
    const std::string expected = tree.root().string();
    char small[4];  // too small: the size needed, terminator included
    EXPECT_EQ(expected.size() + 1, GetCurrentDirectoryA(sizeof small, small));
    std::vector<char> buffer(expected.size() + 1);
    EXPECT_EQ(expected.size(), GetCurrentDirectoryA(DWORD(buffer.size()), buffer.data()));
    EXPECT_EQ(expected, buffer.data());
    EXPECT_FALSE(SetCurrentDirectoryA((tree / "missing").c_str()));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
}

// Module files are named exactly; only a module's own exports are found in it.
TEST(PlatformModule, NamesAndExports) {
    TempTree tree;
    const fs::path placed = tree.Place("b.dll", kComponentModule);
    HMODULE module = LoadLibraryA(Backslashed(placed.string()).c_str());
    ASSERT_NE(nullptr, module);
    char name[6];  // truncated and terminated, with the buffer's size returned
    EXPECT_EQ(sizeof name, GetModuleFileNameA(module, name, sizeof name));
    EXPECT_EQ(placed.string().substr(0, 5), name);
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_NE(nullptr, GetProcAddress(module, "DllGetClassObject"));
    for (const char* other : {"NoSuchExport", "malloc"}) {  // nor what the module links to
        SetLastError(0);
        EXPECT_EQ(nullptr, GetProcAddress(module, other));
        EXPECT_EQ(DWORD(ERROR_PROC_NOT_FOUND), GetLastError());
    }
}

}  // namespace
