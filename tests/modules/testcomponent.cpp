// A component module for the loader's tests: its class object makes objects
// that report the module's file and the current directory seen while the
// module was being loaded.

#include <string>

#include "foundation/platform/types.h"
#include "components/classfactory.h"
#include "components/comobject.h"
#include "modules/testcomponent.h"
#include "win32/bstr.h"
#include "win32/files.h"
#include "win32/module.h"

namespace {

std::string CurrentDirectory() {
    std::string buffer(MAX_PATH + 1, '\0');
    buffer.resize(GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), &buffer[0]));
    return buffer;
}

// Taken by the module's static initialisation, that is, during the load.
const std::string g_loadDirectory = CurrentDirectory();
const char kModuleAnchor = 0;  // an address inside this module

// The paths are ASCII in the tests: widened byte by byte.
BSTR ToBstr(const std::string& text) {
    const std::basic_string<OLECHAR> wide(text.begin(), text.end());
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

class TestComponent final : public kv::component::ComObject<ITestComponent> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return Answer(iid, object, {&IID_IUnknown, &IID_ITestComponent});
    }
    HRESULT STDMETHODCALLTYPE GetPaths(BSTR* modulePath, BSTR* loadDirectory) override {
        HMODULE module = nullptr;
        GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            &kModuleAnchor, &module);
        std::string path(MAX_PATH + 1, '\0');
        path.resize(GetModuleFileNameA(module, &path[0], static_cast<DWORD>(path.size())));
        *modulePath = ToBstr(path);
        *loadDirectory = ToBstr(g_loadDirectory);
        return S_OK;
    }
};

}  // namespace

KV_EXPORT_C HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return kv::components::GetClassObject<TestComponent>(CLSID_TestComponent, clsid, iid, object);
}
