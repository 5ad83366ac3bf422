// The component loader's file search, module cache and class creation, the
// installation-folder lookup, and the platform functions they stand on (module
// loading, file attributes, current directory, registry).
//
// The tests lay out folder trees in a temporary folder, copy the test component
// modules into them under the names the loader looks for, and point a loader at
// a made-up own module file inside the tree.

#include <gtest/gtest.h>

#include <fstream>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/componentloader.h"
#include "foundation/platform/bstr.h"
#include "foundation/platform/errors.h"
#include "foundation/platform/files.h"
#include "foundation/platform/module.h"
#include "foundation/platform/registry.h"
#include "modules/testcomponent.h"
#include "loader_test_util.h"
#include "test_util.h"

namespace fs = std::filesystem;
using kv::ComponentLoader;
using kvtest::SameFile;
using kvtest::ScopedEnv;
using kvtest::TempTree;

namespace {

const char kComponentModule[] = KV_TEST_COMPONENT_MODULE;
const char kNoExportModule[] = KV_TEST_NOEXPORT_MODULE;

// Copies a test module into a tree (the component module unless told otherwise).
fs::path Place(const TempTree& tree, const fs::path& relative,
               const char* module = kComponentModule) {
    return tree.Place(relative, module);
}

std::string Take(BSTR text) {
    const std::string narrow = _stringx(text).str();
    SysFreeString(text);
    return narrow;
}

// What a created test component reports.
struct Created {
    HRESULT result = E_FAIL;
    std::string modulePath;     // the file the module was loaded from
    std::string loadDirectory;  // the current directory during its load
};

Created Create(ComponentLoader& loader, const _stringx& file,
               REFCLSID clsid = CLSID_TestComponent) {
    Created created;
    ITestComponent* component = nullptr;
    created.result = loader.CreateInstance(file, clsid, IID_ITestComponent, &component);
    if (FAILED(created.result)) {
        EXPECT_EQ(nullptr, component);
        return created;
    }
    BSTR text = nullptr;
    EXPECT_EQ(S_OK, component->GetModulePath(&text));
    created.modulePath = Take(text);
    text = nullptr;
    EXPECT_EQ(S_OK, component->GetLoadDirectory(&text));
    created.loadDirectory = Take(text);
    component->Release();
    return created;
}

_stringx Text(const fs::path& path) {
    return _stringx(path.string());
}

std::string Backslashed(std::string path) {
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// The library sits in <tree>/P/Bin; Common Files is <tree>/Common.
class ComponentLoaderTest : public ::testing::Test {
protected:
    ComponentLoaderTest()
        : m_common("KV_COMMON_FILES_DIR", (m_tree / "Common").c_str()),
          m_loader(Text(m_tree / "P/Bin/kvrepo.dll")) {}

    TempTree m_tree;
    ScopedEnv m_common;
    ComponentLoader m_loader;
};

// ---------------------------------------------------------------------------
// The search order

// Every candidate position, in search order.
const char* const kCandidates[] = {
    "P/Bin/scrrun.dll",                     // 1: the library's folder
    "P/Bin/System/scrrun.dll",              // 2: its System sub-folder
    "Common/Veltrane/scrrun.dll",           // 3: Common Files\Veltrane
    "Common/Veltrane/Lumbrook/scrrun.dll",  // 4: ...\Lumbrook
    "P/System/scrrun.dll",                  // 5: System beside the library's folder
    "System/scrrun.dll",                    // 5: one more level up
};

class ComponentLoaderSearchTest : public ComponentLoaderTest,
                                  public ::testing::WithParamInterface<std::size_t> {};

// With a copy in the candidate under test and in every later one, the one
// under test is loaded: each candidate is reached, and only when all earlier
// ones are missing.
TEST_P(ComponentLoaderSearchTest, FirstExistingCandidateIsLoaded) {
    const std::size_t first = GetParam();
    for (std::size_t i = first; i < std::size(kCandidates); ++i)
        Place(m_tree, kCandidates[i]);

    const Created created = Create(m_loader, u"scrrun.dll");
    ASSERT_EQ(S_OK, created.result);
    EXPECT_TRUE(SameFile(created.modulePath, m_tree / kCandidates[first])) << created.modulePath;
}

INSTANTIATE_TEST_SUITE_P(Candidates, ComponentLoaderSearchTest,
                         ::testing::Range<std::size_t>(0, std::size(kCandidates)));

TEST_F(ComponentLoaderTest, WalkUpLooksOnlyInSystemFolders) {
    // A file lying directly in a folder above the library's is no candidate.
    Place(m_tree, "P/scrrun.dll");
    Place(m_tree, "System/scrrun.dll");
    const Created created = Create(m_loader, u"scrrun.dll");
    ASSERT_EQ(S_OK, created.result);
    EXPECT_TRUE(SameFile(created.modulePath, m_tree / "System/scrrun.dll"));
}

TEST_F(ComponentLoaderTest, CommonFilesCandidatesNeedTheCommonFilesFolder) {
    ScopedEnv noCommon("KV_COMMON_FILES_DIR", nullptr);
    Place(m_tree, "Common/Veltrane/scrrun.dll");
    Place(m_tree, "System/scrrun.dll");
    const Created created = Create(m_loader, u"scrrun.dll");
    ASSERT_EQ(S_OK, created.result);
    EXPECT_TRUE(SameFile(created.modulePath, m_tree / "System/scrrun.dll"));
}

TEST_F(ComponentLoaderTest, NameWithAFolderIsLoadedFromThatPathOnly) {
    Place(m_tree, "P/Bin/scrrun.dll");
    const fs::path elsewhere = Place(m_tree, "Elsewhere/scrrun.dll");

    Created created = Create(m_loader, Text(elsewhere));
    ASSERT_EQ(S_OK, created.result);
    EXPECT_TRUE(SameFile(created.modulePath, elsewhere));

    // Windows separators name the same file.
    created = Create(m_loader, _stringx(Backslashed(elsewhere.string())));
    ASSERT_EQ(S_OK, created.result);
    EXPECT_TRUE(SameFile(created.modulePath, elsewhere));

    // A path to a missing file is not searched for elsewhere.
    const _stringx missing = Text(m_tree / "Missing/scrrun.dll");
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create(m_loader, missing).result);
    EXPECT_EQ(nullptr, m_loader.CachedModule(missing));
}

TEST_F(ComponentLoaderTest, RelativeNameWithAFolderIsTakenFromTheCurrentDirectory) {
    Place(m_tree, "Sub/scrrun.dll");
    Place(m_tree, "P/Bin/Sub/scrrun.dll");  // not a candidate for such a name
    const fs::path previous = fs::current_path();
    fs::current_path(m_tree.root());

    const Created created = Create(m_loader, u"Sub\\scrrun.dll");
    const fs::path after = fs::current_path();
    fs::current_path(previous);

    ASSERT_EQ(S_OK, created.result);
    EXPECT_TRUE(SameFile(created.modulePath, m_tree / "Sub/scrrun.dll"));
    EXPECT_TRUE(SameFile(created.loadDirectory, m_tree / "Sub"));
    EXPECT_TRUE(SameFile(after, m_tree.root()));
}

TEST_F(ComponentLoaderTest, CurrentDirectoryIsTheModulesFolderDuringTheLoadOnly) {
    Place(m_tree, "P/Bin/System/scrrun.dll");
    const fs::path before = fs::current_path();

    const Created created = Create(m_loader, u"scrrun.dll");
    ASSERT_EQ(S_OK, created.result);
    EXPECT_TRUE(SameFile(created.loadDirectory, m_tree / "P/Bin/System")) << created.loadDirectory;
    EXPECT_EQ(before.string(), fs::current_path().string());
}

TEST_F(ComponentLoaderTest, WithoutAnOwnModuleFileBareNamesGoToTheSystemSearch) {
    ComponentLoader loader{_stringx()};
    Place(m_tree, "absent.dll");
    const fs::path previous = fs::current_path();
    fs::current_path(m_tree.root());  // the system search does not look here
    const HRESULT result = Create(loader, u"absent.dll").result;
    fs::current_path(previous);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, result);
    EXPECT_EQ(0u, loader.CachedModuleCount());

#if defined(__linux__)
    // A library the system does find is loaded and cached; it has no class
    // object export.
    IClassFactory* factory = nullptr;
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              loader.GetClassObject(u"libm.so.6", CLSID_TestComponent, &factory));
    EXPECT_NE(nullptr, loader.CachedModule(u"libm.so.6"));
#endif
}

// ---------------------------------------------------------------------------
// The module cache

TEST_F(ComponentLoaderTest, CacheIsKeyedByTheNameExactlyAsGiven) {
    Place(m_tree, "P/Bin/scrrun.dll");
    Place(m_tree, "P/Bin/SCRRUN.DLL");

    const Created lower = Create(m_loader, u"scrrun.dll");
    const Created upper = Create(m_loader, u"SCRRUN.DLL");
    ASSERT_EQ(S_OK, lower.result);
    ASSERT_EQ(S_OK, upper.result);
    EXPECT_EQ(2u, m_loader.CachedModuleCount());
    EXPECT_NE(m_loader.CachedModule(u"scrrun.dll"), m_loader.CachedModule(u"SCRRUN.DLL"));
    EXPECT_TRUE(SameFile(lower.modulePath, m_tree / "P/Bin/scrrun.dll"));
    EXPECT_TRUE(SameFile(upper.modulePath, m_tree / "P/Bin/SCRRUN.DLL"));
    EXPECT_EQ(nullptr, m_loader.CachedModule(u"Scrrun.dll"));
}

TEST_F(ComponentLoaderTest, CachedModuleIsUsedWithoutSearchingAgain) {
    const fs::path first = Place(m_tree, "P/Bin/scrrun.dll");
    ASSERT_EQ(S_OK, Create(m_loader, u"scrrun.dll").result);
    const HMODULE module = m_loader.CachedModule(u"scrrun.dll");
    ASSERT_NE(nullptr, module);

    // The file is gone and another candidate has appeared: the cached module
    // still answers.
    fs::remove(first);
    Place(m_tree, "P/Bin/System/scrrun.dll");
    const Created again = Create(m_loader, u"scrrun.dll");
    ASSERT_EQ(S_OK, again.result);
    EXPECT_EQ(first.string(), again.modulePath);
    EXPECT_EQ(module, m_loader.CachedModule(u"scrrun.dll"));
    EXPECT_EQ(1u, m_loader.CachedModuleCount());
}

// ---------------------------------------------------------------------------
// Failures

// "absent.dll" is a name no build produces: the system search cannot find it
// even where the sanitizer runtime searches from the test program.
TEST_F(ComponentLoaderTest, MissingFileIsClassNotRegisteredAndNothingIsCached) {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              m_loader.GetClassObject(u"absent.dll", CLSID_TestComponent, &factory));
    EXPECT_EQ(nullptr, factory);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create(m_loader, u"absent.dll").result);
    EXPECT_EQ(0u, m_loader.CachedModuleCount());

    // A file that exists but is no module fails the same way.
    std::filesystem::create_directories(m_tree / "P/Bin");
    std::ofstream(m_tree / "P/Bin/junk.dll") << "not a module";
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create(m_loader, u"junk.dll").result);
    EXPECT_EQ(0u, m_loader.CachedModuleCount());
}

TEST_F(ComponentLoaderTest, ModuleWithoutClassObjectExportStaysCached) {
    Place(m_tree, "P/Bin/scrrun.dll", kNoExportModule);
    IClassFactory* factory = nullptr;
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              m_loader.GetClassObject(u"scrrun.dll", CLSID_TestComponent, &factory));
    EXPECT_EQ(nullptr, factory);
    EXPECT_NE(nullptr, m_loader.CachedModule(u"scrrun.dll"));
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create(m_loader, u"scrrun.dll").result);
    EXPECT_EQ(1u, m_loader.CachedModuleCount());
}

TEST_F(ComponentLoaderTest, ModulesOwnFailureCodesPassThrough) {
    Place(m_tree, "P/Bin/scrrun.dll");
    const CLSID other = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};

    IClassFactory* factory = nullptr;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, m_loader.GetClassObject(u"scrrun.dll", other, &factory));
    EXPECT_EQ(nullptr, factory);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, Create(m_loader, u"scrrun.dll", other).result);

    // An interface the object does not have.
    IClassFactory* notThere = nullptr;
    EXPECT_EQ(E_NOINTERFACE, m_loader.CreateInstance(u"scrrun.dll", CLSID_TestComponent,
                                                     IID_IClassFactory, &notThere));
    EXPECT_EQ(nullptr, notThere);
}

TEST_F(ComponentLoaderTest, EmptyFileNameCreatesTheRegisteredClass) {
    Place(m_tree, "P/Bin/scrrun.dll");
    ITestComponent* component = nullptr;
    // POSIX has no class registry.
    EXPECT_EQ(REGDB_E_CLASSNOTREG, m_loader.CreateInstance(_stringx(), CLSID_TestComponent,
                                                           IID_ITestComponent, &component));
    EXPECT_EQ(nullptr, component);
    EXPECT_EQ(0u, m_loader.CachedModuleCount());
}

TEST(ComponentLoaderProcess, OwnModuleFileIsTheLibrary) {
    ComponentLoader& loader = ComponentLoader::Process();
    EXPECT_EQ(&loader, &ComponentLoader::Process());
    const std::string own = loader.OwnModuleFile().str();
    ASSERT_FALSE(own.empty());
    EXPECT_TRUE(fs::exists(own)) << own;
    EXPECT_NE(std::string::npos, fs::path(own).filename().string().find("kvrepo")) << own;
}

// ---------------------------------------------------------------------------
// Installation folders

TEST(InstallFolder, KindSelectsTheFolderAndTheHighBitOnlyTheView) {
    ScopedEnv common("KV_COMMON_FILES_DIR", "/opt/common files");
    ScopedEnv programs("KV_PROGRAM_FILES_DIR", "/opt/programs");
    EXPECT_EQ(_stringx(u"/opt/common files"), kv::GetInstallFolder(kv::kCommonFilesFolder));
    EXPECT_EQ(_stringx(u"/opt/common files"),
              kv::GetInstallFolder(kv::kCommonFilesFolder | kv::kInstallFolder64));
    EXPECT_EQ(_stringx(u"/opt/programs"), kv::GetInstallFolder(kv::kProgramFilesFolder));
    EXPECT_EQ(_stringx(u"/opt/programs"), kv::GetInstallFolder(kv::kInstallFolder64));
    EXPECT_EQ(_stringx(u"/opt/programs"), kv::GetInstallFolder(2));
    EXPECT_EQ(_stringx(u"/opt/programs"), kv::GetInstallFolder(-1));
}

TEST(InstallFolder, MissingEmptyOrTooLongValueGivesEmptyPath) {
    {
        ScopedEnv common("KV_COMMON_FILES_DIR", nullptr);
        EXPECT_TRUE(kv::GetInstallFolder(1).empty());
    }
    {
        ScopedEnv common("KV_COMMON_FILES_DIR", "");
        EXPECT_TRUE(kv::GetInstallFolder(1).empty());
    }
    const std::string longest = "/" + std::string(258, 'x');  // 259 bytes and the terminator
    {
        ScopedEnv programs("KV_PROGRAM_FILES_DIR", longest.c_str());
        EXPECT_EQ(_stringx(longest), kv::GetInstallFolder(0));
    }
    {
        ScopedEnv programs("KV_PROGRAM_FILES_DIR", (longest + "x").c_str());
        EXPECT_TRUE(kv::GetInstallFolder(0).empty());
    }
}

// ---------------------------------------------------------------------------
// Platform: registry

TEST(PlatformRegistry, OnlyTheCurrentVersionKeyOpens) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows", 0, KEY_READ, &key));
    EXPECT_EQ(nullptr, key);
    EXPECT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\microsoft\\windows\\currentversion", 0,
                            KEY_READ | KEY_WOW64_64KEY, &key));
    ASSERT_NE(nullptr, key);

    ScopedEnv common("KV_COMMON_FILES_DIR", "/c");
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(key, "CommonFilesDir", nullptr, &type, nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(3u, size);

    BYTE small[2];
    size = sizeof small;
    EXPECT_EQ(234, RegQueryValueExA(key, "CommonFilesDir", nullptr, nullptr, small, &size));
    EXPECT_EQ(3u, size);

    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(key, "Other", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

// ---------------------------------------------------------------------------
// Platform: files and the current directory

TEST(PlatformFiles, AttributesFollowTypeWriteBitAndDotName) {
    TempTree tree;
    std::filesystem::create_directories(tree / "dir/.hidden");
    std::ofstream(tree / "file.txt") << "x";
    fs::copy_file(tree / "file.txt", tree / ".dotfile");
    fs::copy_file(tree / "file.txt", tree / "readonly.txt");
    fs::permissions(tree / "readonly.txt", fs::perms::owner_read | fs::perms::group_read);

    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL),
              GetFileAttributesA((tree / "file.txt").c_str()));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY),
              GetFileAttributesA((tree / "dir").c_str()));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY),
              GetFileAttributesA((tree / "dir/.").c_str()));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN),
              GetFileAttributesA((tree / "dir/.hidden/").c_str()));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN),
              GetFileAttributesA((tree / ".dotfile").c_str()));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY),
              GetFileAttributesA((tree / "readonly.txt").c_str()));
    // Windows separators.
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL),
              GetFileAttributesA(Backslashed((tree / "file.txt").string()).c_str()));
}

TEST(PlatformFiles, MissingPathSetsTheMappedLastError) {
    TempTree tree;
    SetLastError(0);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((tree / "missing").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

    std::ofstream(tree / "file") << "x";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((tree / "file/below").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST(PlatformFiles, CurrentDirectoryFollowsWin32Conventions) {
    TempTree tree;
    fs::create_directories(tree / "sub");
    const fs::path previous = fs::current_path();

    ASSERT_TRUE(SetCurrentDirectoryA(Backslashed((tree / "sub").string()).c_str()));
    const std::string expected = (tree / "sub").string();
    // Too small: the size needed, terminator included.
    char small[4];
    EXPECT_EQ(expected.size() + 1, GetCurrentDirectoryA(sizeof small, small));
    EXPECT_EQ(expected.size() + 1, GetCurrentDirectoryA(0, nullptr));
    std::vector<char> buffer(expected.size() + 1);
    EXPECT_EQ(expected.size(),
              GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data()));
    EXPECT_EQ(expected, buffer.data());

    SetLastError(0);
    EXPECT_FALSE(SetCurrentDirectoryA((tree / "missing").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    std::ofstream(tree / "file") << "x";
    EXPECT_FALSE(SetCurrentDirectoryA((tree / "file").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DIRECTORY), GetLastError());
    EXPECT_TRUE(SameFile(fs::current_path(), tree / "sub"));

    fs::current_path(previous);
}

// ---------------------------------------------------------------------------
// Platform: modules

TEST(PlatformModule, LoadFailuresSetModuleAndProcedureNotFound) {
    TempTree tree;
    SetLastError(0);
    EXPECT_EQ(nullptr, LoadLibraryA((tree / "missing.dll").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());

    HMODULE module = LoadLibraryA(Place(tree, "a.dll").c_str());
    ASSERT_NE(nullptr, module);
    EXPECT_NE(nullptr, GetProcAddress(module, "DllGetClassObject"));
    SetLastError(0);
    EXPECT_EQ(nullptr, GetProcAddress(module, "NoSuchExport"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    // Exports of what the module links to are not the module's own.
    SetLastError(0);
    EXPECT_EQ(nullptr, GetProcAddress(module, "malloc"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
}

TEST(PlatformModule, FileNameOfModulesAndProgram) {
    TempTree tree;
    const fs::path placed = Place(tree, "sub/b.dll");
    // A relative path is resolved against the current directory of the load.
    const fs::path previous = fs::current_path();
    fs::current_path(tree.root());
    HMODULE module = LoadLibraryA("sub\\b.dll");
    fs::current_path(previous);
    ASSERT_NE(nullptr, module);

    char name[4096];
    const DWORD length = GetModuleFileNameA(module, name, sizeof name);
    EXPECT_EQ(placed.string(), std::string(name, length));

    // Truncated to the buffer, terminated, with the buffer's size returned.
    char small[6];
    SetLastError(0);
    EXPECT_EQ(sizeof small, GetModuleFileNameA(module, small, sizeof small));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(placed.string().substr(0, 5), small);

    // Null is the program.
    const DWORD programLength = GetModuleFileNameA(nullptr, name, sizeof name);
    ASSERT_GT(programLength, 0u);
    EXPECT_EQ("componentloader_test",
              fs::path(std::string(name, programLength)).filename().string());
}

TEST(PlatformModule, HandleFromAddressNamesTheModuleHoldingIt) {
    TempTree tree;
    const fs::path placed = Place(tree, "c.dll", kNoExportModule);
    HMODULE module = LoadLibraryA(placed.c_str());
    ASSERT_NE(nullptr, module);
    const FARPROC export_ = GetProcAddress(module, "DllCanUnloadNow");
    ASSERT_NE(nullptr, export_);
    const LPCSTR address = reinterpret_cast<LPCSTR>(reinterpret_cast<std::uintptr_t>(export_));

    HMODULE found = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        address, &found));
    EXPECT_EQ(module, found);

    // Without UNCHANGED_REFCOUNT the handle holds a reference of its own.
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, address, &found));
    EXPECT_TRUE(FreeLibrary(module));
    HMODULE byName = nullptr;
    EXPECT_TRUE(
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, placed.c_str(), &byName));
    EXPECT_EQ(module, byName);
    EXPECT_TRUE(FreeLibrary(found));
    EXPECT_FALSE(GetModuleHandleExA(0, placed.c_str(), &byName));
    EXPECT_EQ(nullptr, byName);
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());

    // An address in the program gives the program's module.
    static const char inProgram = 0;
    ASSERT_TRUE(GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        &inProgram, &found));
    char name[4096];
    const DWORD length = GetModuleFileNameA(found, name, sizeof name);
    EXPECT_EQ("componentloader_test", fs::path(std::string(name, length)).filename().string());
}

}  // namespace
