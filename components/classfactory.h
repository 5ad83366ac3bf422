// The class object of a component module's one class, and the body of the
// module's DllGetClassObject that hands it out.
#pragma once

#include <new>

#include "win32/com.h"
#include "foundation/platform/comptr.h"

namespace kv {
namespace components {

// Creates `Object`s: default-constructed with one reference, which
// CreateInstance trades for the asked interface. One per module, never
// destroyed, so its reference count is not kept.
template <class Object>
class ClassFactory final : public IClassFactory {
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
        Object* created = new (std::nothrow) Object();
        if (!created)
            return E_OUTOFMEMORY;
        const HRESULT result = created->QueryInterface(iid, object);
        created->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// DllGetClassObject of a module whose one class `served` is made of `Object`s.
template <class Object>
HRESULT GetClassObject(REFCLSID served, REFCLSID clsid, REFIID iid, void** object) {
    static ClassFactory<Object> factory;
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid != served)
        return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(iid, object);
}

}  // namespace components
}  // namespace kv
