#include "foundation/componentloader.h"

#include <string>

#include "foundation/folderpath.h"
#include "foundation/ownmodule.h"
#include "foundation/pathx.h"
#include "win32/files.h"
#include "win32/registry.h"
#include "foundation/platform/text.h"
#include "win32/com.h"
#include "win32/errors.h"
#include "win32/module.h"

namespace kv {
namespace {

// The registry text buffer's size, as the installation folders are recorded.
constexpr DWORD kInstallFolderBytes = 260;

bool HasSeparator(const _stringx& name) {
    for (OLECHAR c : name)
        if (platform::IsPathSeparator(c))
            return true;
    return false;
}

// Whether a load of `path` does not change with the current directory: it
// begins with a separator or a drive. (Names under the support folder follow
// kv::PathIsRooted instead.)
bool StartsAtRoot(const _stringx& path) {
    if (!path.empty() && platform::IsPathSeparator(path[0]))
        return true;
    return path.size() >= 2 && path[1] == OLESTR(':');
}

// The end of the walk up the folder tree: nothing left, only separators (the
// POSIX root or a UNC prefix), or a drive ("C:").
bool IsRootOrEmpty(const _stringx& folder) {
    bool separatorsOnly = true;
    for (OLECHAR c : folder)
        if (!platform::IsPathSeparator(c))
            separatorsOnly = false;
    if (separatorsOnly)
        return true;
    return folder.size() == 2 && folder[1] == OLESTR(':');
}

}  // namespace

_stringx GetInstallFolder(int kind) {
    auto bits = static_cast<unsigned>(kind);
    REGSAM access = KEY_READ;
    if (bits & 0x80000000u) {
        bits &= 0x7FFFFFFFu;
        access |= KEY_WOW64_64KEY;
    }
    const char* valueName = bits == 1 ? "CommonFilesDir" : "ProgramFilesDir";

    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, access,
                      &key) != ERROR_SUCCESS)
        return _stringx();
    char text[kInstallFolderBytes + 1] = {};
    DWORD size = kInstallFolderBytes;
    DWORD type = 0;
    const LONG result =
        RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return _stringx();
    text[size < kInstallFolderBytes ? size : kInstallFolderBytes] = '\0';
    return _stringx(text);
}

ComponentLoader::ComponentLoader(const _stringx& ownModuleFile) : m_ownModuleFile(ownModuleFile) {}

ComponentLoader::~ComponentLoader() = default;

ComponentLoader& ComponentLoader::Process() {
    // Never destroyed: components may still be in use while the process ends.
    static ComponentLoader* const loader = new ComponentLoader(GetLibraryModuleFile());
    return *loader;
}

std::recursive_mutex& ComponentLoader::CurrentFolderMutex() {
    // Never destroyed, as the process loader.
    static std::recursive_mutex* const mutex = new std::recursive_mutex;
    return *mutex;
}

std::size_t ComponentLoader::CachedModuleCount() const {
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_modules.size();
}

HMODULE ComponentLoader::CachedModule(const _stringx& file) const {
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const auto found = m_modules.find(file);
    return found == m_modules.end() ? nullptr : found->second;
}

_stringx ComponentLoader::FindModuleFile(const _stringx& file) const {
    // A name with a folder is taken as it stands; without a known own module
    // folder there is nowhere to search from.
    if (HasSeparator(file) || !HasSeparator(m_ownModuleFile))
        return file;

    const _stringx libraryFolder = PathFolderPart(m_ownModuleFile);
    const _stringx system(OLESTR("System"));
    const _stringx product(OLESTR("Veltrane"));

    _stringx candidate = PathJoin(libraryFolder, file);
    if (PathExists(candidate))
        return candidate;
    candidate = PathJoin(PathJoin(libraryFolder, system), file);
    if (PathExists(candidate))
        return candidate;

    // Without a Common Files folder these candidates do not exist.
    const _stringx commonFiles = GetInstallFolder(kCommonFilesFolder);
    if (!commonFiles.empty()) {
        const _stringx productFolder = PathJoin(commonFiles, product);
        candidate = PathJoin(productFolder, file);
        if (PathExists(candidate))
            return candidate;
        candidate = PathJoin(PathJoin(productFolder, _stringx(OLESTR("Lumbrook"))), file);
        if (PathExists(candidate))
            return candidate;
    }

    for (_stringx folder = PathFolderPart(libraryFolder); !IsRootOrEmpty(folder);
         folder = PathFolderPart(folder)) {
        candidate = PathJoin(PathJoin(folder, system), file);
        if (PathExists(candidate))
            return candidate;
    }
    return file;
}

HMODULE ComponentLoader::LoadFromFolder(const _stringx& path) {
    // The module loads with its own folder as the current directory, so that
    // whatever it loads or opens by relative name while starting up is found
    // beside it.
    const std::lock_guard<std::recursive_mutex> lock(CurrentFolderMutex());
    std::string previous(MAX_PATH + 1, '\0');
    const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(previous.size()), &previous[0]);
    const bool restore = length > 0 && length < previous.size();

    // A relative path names its file from the current directory as it is now,
    // not from the folder switched to below.
    _stringx file = path;
    if (restore && HasSeparator(path) && !StartsAtRoot(path))
        file = PathJoin(_stringx(previous.c_str()), path);

    const _stringx folder = PathFolderPart(file);
    if (!folder.empty())
        SetCurrentDirectoryA(folder.narrow());
    HMODULE module = LoadLibraryA(file.narrow());
    if (restore) {
        const DWORD error = GetLastError();
        SetCurrentDirectoryA(previous.c_str());
        SetLastError(error);
    }
    return module;
}

HRESULT ComponentLoader::GetClassObject(const _stringx& file, REFCLSID clsid,
                                        IClassFactory** factory) {
    if (factory)
        *factory = nullptr;
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    HMODULE module = CachedModule(file);
    if (!module) {
        module = LoadFromFolder(FindModuleFile(file));
        if (!module)
            return REGDB_E_CLASSNOTREG;
        m_modules.emplace(file, module);
    }
    lock.unlock();
    const auto getClassObject = GetProcAddressAs<LPFNGETCLASSOBJECT>(module, "DllGetClassObject");
    if (!getClassObject)
        return REGDB_E_CLASSNOTREG;
    return getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory));
}

HRESULT ComponentLoader::CreateInstance(const _stringx& file, REFCLSID clsid, REFIID iid,
                                        void** object) {
    if (file.empty())
        return CoCreateInstance(clsid, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                                    CLSCTX_REMOTE_SERVER,
                                iid, object);
    IClassFactory* factory = nullptr;
    HRESULT result = GetClassObject(file, clsid, &factory);
    if (FAILED(result)) {
        if (factory)
            factory->Release();
        return result;
    }
    if (!factory)
        return E_UNEXPECTED;
    result = factory->CreateInstance(nullptr, iid, object);
    factory->Release();
    return result;
}

}  // namespace kv
