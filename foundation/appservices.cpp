#include "foundation/appservices.h"

#include "win32/bstr.h"

namespace kv {

HRESULT QuerySupportFolder(_stringx& folder, ComponentLoader& loader) {
    IKvAppServices* services = nullptr;
    HRESULT result = loader.CreateInstance(_stringx(kAppServicesFile), CLSID_KvAppServices,
                                           IID_IKvAppServices, &services);
    if (FAILED(result)) {
        if (services)
            services->Release();
        return result;
    }
    if (!services)
        return E_POINTER;
    BSTR text = nullptr;
    result = services->GetSupportFolder(&text);
    services->Release();
    if (SUCCEEDED(result)) {
        try {
            folder = text ? _stringx(text, SysStringLen(text)) : _stringx();
        } catch (...) {
            SysFreeString(text);
            throw;
        }
    }
    SysFreeString(text);
    return result;
}

}  // namespace kv
