// A component module for the loader's tests: DllGetClassObject hands out a
// class factory for CLSID_TestComponent, whose objects report the module's file
// and the current directory seen while the module was being loaded.

#include <string>

#include "foundation/platform/bstr.h"
#include "foundation/platform/files.h"
#include "foundation/platform/module.h"
#include "modules/testcomponent.h"

namespace {

std::string CurrentDirectory() {
    std::string buffer(MAX_PATH + 1, '\0');
    const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), &buffer[0]);
    buffer.resize(length < buffer.size() ? length : 0);
    return buffer;
}

// Taken by the module's static initialisation, that is, during the load.
const std::string g_loadDirectory = CurrentDirectory();

// An address inside this module, to ask the system which file holds it.
const char kModuleAnchor = 0;

std::string ModuleFile() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            &kModuleAnchor, &module))
        return std::string();
    std::string buffer(MAX_PATH + 1, '\0');
    const DWORD length = GetModuleFileNameA(module, &buffer[0], static_cast<DWORD>(buffer.size()));
    buffer.resize(length < buffer.size() ? length : 0);
    return buffer;
}

HRESULT ToBstr(const std::string& text, BSTR* out) {
    if (!out)
        return E_POINTER;
    // The paths are ASCII in the tests; widen byte by byte.
    std::u16string wide(text.begin(), text.end());
    *out = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

class TestComponent final : public ITestComponent {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_ITestComponent) {
            *object = static_cast<ITestComponent*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG remaining = --m_references;
        if (remaining == 0)
            delete this;
        return remaining;
    }
    HRESULT STDMETHODCALLTYPE GetModulePath(BSTR* path) override {
        return ToBstr(ModuleFile(), path);
    }
    HRESULT STDMETHODCALLTYPE GetLoadDirectory(BSTR* path) override {
        return ToBstr(g_loadDirectory, path);
    }

private:
    ~TestComponent() = default;
    ULONG m_references = 1;
};

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        TestComponent* component = new TestComponent();
        const HRESULT result = component->QueryInterface(iid, object);
        component->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

}  // namespace

KV_EXPORT_C HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_TestComponent)
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, object);
}
