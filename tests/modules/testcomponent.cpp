// A component module for the loader's tests: DllGetClassObject hands out a
// class factory for CLSID_TestComponent, whose objects report the module's file
// and the current directory seen while the module was being loaded.

#include <string>

#include "foundation/platform/types.h"
#include "win32/bstr.h"
#include "win32/files.h"
#include "win32/module.h"
#include "modules/testcomponent.h"
#include "win32/com.h"

namespace {

std::string CurrentDirectory() {
    std::string buffer(MAX_PATH + 1, '\0');
    buffer.resize(GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), &buffer[0]));
    return buffer;
}

// Taken by the module's static initialisation, that is, during the load.
const std::string g_loadDirectory = CurrentDirectory();
const char kModuleAnchor = 0;  // an address inside this module

std::string ModuleFile() {
    HMODULE module = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        &kModuleAnchor, &module);
    std::string buffer(MAX_PATH + 1, '\0');
    buffer.resize(GetModuleFileNameA(module, &buffer[0], static_cast<DWORD>(buffer.size())));
    return buffer;
}

// The paths are ASCII in the tests: widened byte by byte.
HRESULT ToBstr(const std::string& text, BSTR* out) {
    const std::basic_string<OLECHAR> wide(text.begin(), text.end());
    *out = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return S_OK;
}

class TestComponent final : public ITestComponent {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        *object = iid == IID_IUnknown || iid == IID_ITestComponent
                      ? static_cast<ITestComponent*>(this)
                      : nullptr;
        return *object ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
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

// A static class object: its reference count does not matter.
class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        *object = iid == IID_IUnknown || iid == IID_IClassFactory ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** object) override {
        TestComponent* component = new TestComponent();
        const HRESULT result = component->QueryInterface(iid, object);
        component->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
} g_factory;

}  // namespace

KV_EXPORT_C HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    *object = nullptr;
    return clsid == CLSID_TestComponent ? g_factory.QueryInterface(iid, object)
                                        : CLASS_E_CLASSNOTAVAILABLE;
}
