// The component loader: creates COM objects straight from a component's module
// file, without relying on the component's registration, and the lookup of the
// installation folders that the file search uses.
//
// A component file named without a folder is searched for among the product's
// installation folders (see ComponentLoader::GetClassObject), loaded once per
// loader and name, and kept loaded: components are never unloaded. A loader
// may be used from several threads at once: its cache and its loads are
// locked.
#pragma once

#include <cstddef>
#include <map>
#include <mutex>

#include "foundation/platform/comptr.h"
#include "foundation/stringx.h"

namespace kv {

// Installation-folder kinds: the Common Files folder; any other value gives the
// Program Files folder. Or-ing in kInstallFolder64 reads the 64-bit registry view.
constexpr int kCommonFilesFolder = 1;
constexpr int kProgramFilesFolder = 0;
constexpr int kInstallFolder64 = static_cast<int>(0x80000000u);

// The installation folder of `kind` as recorded in the registry (at most 260
// bytes of text); empty when the key or value is missing or too long.
KV_API _stringx GetInstallFolder(int kind);

class KV_API ComponentLoader {
public:
    // A loader whose search starts from the folder of `ownModuleFile`, the file
    // the loader's code is taken to live in. An empty name (or one without a
    // folder) means that file is not known: component names without a folder
    // then go to the system's search.
    explicit ComponentLoader(const _stringx& ownModuleFile);
    ComponentLoader(const ComponentLoader&) = delete;
    ComponentLoader& operator=(const ComponentLoader&) = delete;
    // Loaded components stay loaded.
    ~ComponentLoader();

    // The process-wide loader, created on first use and kept until the process
    // ends; its own module file is the file that holds this library's code.
    static ComponentLoader& Process();

    // The class object (IClassFactory) of `clsid` from the component file `file`.
    // The module is looked up in the cache under `file` exactly as given; when
    // it is not there, it is found and loaded:
    //  - a name with a folder separator is loaded as it stands;
    //  - otherwise the first of these that exists is loaded: the own module's
    //    folder, then its System sub-folder, then Common Files\Veltrane and
    //    Common Files\Veltrane\Lumbrook, then the System sub-folder of each
    //    folder above the own module's folder (nearest first, the root
    //    excluded); failing all of them, the bare name through the system search.
    // The current directory is the module's folder while it loads. Answers
    // REGDB_E_CLASSNOTREG when nothing loads (nothing is cached) or when the
    // module has no DllGetClassObject (the module stays cached); otherwise the
    // result of DllGetClassObject.
    HRESULT GetClassObject(const _stringx& file, REFCLSID clsid, IClassFactory** factory);

    // A new object of `clsid` from `file`, asked for `iid`. An empty file name
    // creates the registered class through CoCreateInstance instead.
    HRESULT CreateInstance(const _stringx& file, REFCLSID clsid, REFIID iid, void** object);
    template <class I>
    HRESULT CreateInstance(const _stringx& file, REFCLSID clsid, REFIID iid, I** object) {
        return CreateInstance(file, clsid, iid, reinterpret_cast<void**>(object));
    }

    // Held while any loader switches the process's current folder to load a
    // module: a caller that reads the current folder (to make a relative path
    // absolute) while other threads may load components takes it too.
    static std::recursive_mutex& CurrentFolderMutex();

    // The file the search starts from; empty when unknown.
    const _stringx& OwnModuleFile() const { return m_ownModuleFile; }
    // The cached module of a file name as given to GetClassObject; null when
    // there is none.
    HMODULE CachedModule(const _stringx& file) const;
    std::size_t CachedModuleCount() const;

private:
    _stringx FindModuleFile(const _stringx& file) const;
    static HMODULE LoadFromFolder(const _stringx& path);

    _stringx m_ownModuleFile;
    // The cache and its loads are one thread's at a time; recursive, since a
    // module may create objects through the loader while it loads.
    mutable std::recursive_mutex m_mutex;
    std::map<_stringx, HMODULE> m_modules;
};

}  // namespace kv
