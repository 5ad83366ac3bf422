// KvAppServices.dll: the application-services component. Its one working
// operation reports the support folder, where the template data file
// "RepositoryTpl.xml" lies:
//  - $KV_SUPPORT_DIR when it is set and not empty;
//  - otherwise the folder installed with the module (foundation/platform/
//    layout.h): on Windows "support" beside it (<prefix>\bin\support), elsewhere
//    the share/kvrepo folder beside its library folder (<prefix>/lib/
//    KvAppServices.dll -> <prefix>/share/kvrepo). The build tree is laid out
//    the same way.
// Either way the folder must exist; otherwise the answer is a failure.

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "foundation/platform/types.h"
#include "components/classfactory.h"
#include "foundation/appservices.h"
#include "foundation/pathx.h"
#include "foundation/platform/layout.h"
#include "win32/bstr.h"
#include "win32/errors.h"
#include "win32/files.h"
#include "win32/module.h"
#include "win32/com.h"

namespace {

// An address inside this module, to ask the system which file holds it.
const char kModuleAnchor = 0;

bool IsFolder(const _stringx& path) {
    const DWORD attributes = GetFileAttributesA(path.narrow());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HRESULT LastErrorResult() {
    const DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

HRESULT OwnModuleFile(_stringx& file) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            &kModuleAnchor, &module))
        return LastErrorResult();
    std::string path(MAX_PATH + 1, '\0');
    const DWORD length = GetModuleFileNameA(module, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size())
        return LastErrorResult();
    path.resize(length);
    file = _stringx(path);
    return S_OK;
}

// The support folder of the installation that holds this module. Where the
// layout allows a few ancestors (a nested library folder, lib/<multiarch>),
// the nearest that has one wins.
HRESULT InstalledSupportFolder(_stringx& folder) {
    _stringx file;
    const HRESULT result = OwnModuleFile(file);
    if (FAILED(result))
        return result;
    const kv::platform::SupportFolderLayout& layout = kv::platform::kSupportFolderLayout;
    const _stringx relative(layout.relative);
    _stringx ancestor = kv::PathFolderPart(file);
    for (int level = 0; level < layout.firstLevel && !ancestor.empty(); ++level)
        ancestor = kv::PathFolderPart(ancestor);
    for (int level = 0; level < layout.levels && !ancestor.empty(); ++level) {
        const _stringx candidate = kv::PathJoin(ancestor, relative);
        if (IsFolder(candidate)) {
            folder = candidate;
            return S_OK;
        }
        ancestor = kv::PathFolderPart(ancestor);
    }
    return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

// The support folder must exist: a folder that is not there (a mistyped
// KV_SUPPORT_DIR, an installation without its share folder) is reported as a
// failure rather than handed on.
HRESULT SupportFolder(_stringx& folder) {
    const char* configured = std::getenv("KV_SUPPORT_DIR");
    if (!configured || !*configured)
        return InstalledSupportFolder(folder);
    const _stringx candidate(configured);
    if (!IsFolder(candidate))
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    folder = candidate;
    return S_OK;
}

class AppServices final : public IKvAppServices {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IKvAppServices) {
            *object = static_cast<IKvAppServices*>(this);
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
        if (!folder)
            return E_POINTER;
        *folder = nullptr;
        try {
            _stringx text;
            const HRESULT result = SupportFolder(text);
            if (FAILED(result))
                return result;
            *folder = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
            return *folder ? S_OK : E_OUTOFMEMORY;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;
        }
    }

private:
    ~AppServices() = default;
    std::atomic<ULONG> m_references{1};
};

}  // namespace

KV_EXPORT_C HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return kv::components::GetClassObject<AppServices>(CLSID_KvAppServices, clsid, iid, object);
}
