// COM essentials: interface identifiers, the thread's error information and
// class creation without a registry.
#include <atomic>
#include <new>
#include <string>

#include "win32/bstr.h"
#include "win32/com.h"
#include "foundation/platform/posix/state.h"
#include "foundation/platform/comptr.h"

const GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IErrorInfo = {
    0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const IID IID_ICreateErrorInfo = {
    0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

namespace {

// Error information: written through ICreateErrorInfo, read through IErrorInfo.
class ErrorInfo final : public IErrorInfo, public ICreateErrorInfo {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IErrorInfo) {
            *object = static_cast<IErrorInfo*>(this);
        } else if (iid == IID_ICreateErrorInfo) {
            *object = static_cast<ICreateErrorInfo*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetGUID(GUID* guid) override {
        if (!guid)
            return E_POINTER;
        *guid = guid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* text) override { return Out(source_, text); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* text) override {
        return Out(description_, text);
    }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* text) override { return Out(helpFile_, text); }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* context) override {
        if (!context)
            return E_POINTER;
        *context = helpContext_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID guid) override {
        guid_ = guid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR text) override { return In(text, source_); }
    HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR text) override {
        return In(text, description_);
    }
    HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR text) override { return In(text, helpFile_); }
    HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD context) override {
        helpContext_ = context;
        return S_OK;
    }

private:
    ~ErrorInfo() = default;

    static HRESULT Out(const std::u16string& value, BSTR* text) {
        if (!text)
            return E_POINTER;
        *text = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
        return *text ? S_OK : E_OUTOFMEMORY;
    }
    static HRESULT In(LPOLESTR text, std::u16string& value) {
        value = text ? text : u"";
        return S_OK;
    }

    std::atomic<ULONG> refs_{1};
    GUID guid_ = GUID_NULL;
    std::u16string source_, description_, helpFile_;
    DWORD helpContext_ = 0;
};

}  // namespace

HRESULT SetErrorInfo(ULONG, IErrorInfo* info) {
    kv::platform::ErrorInfoSlot() = info;
    return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** info) {
    if (!info)
        return E_INVALIDARG;
    *info = kv::platform::ErrorInfoSlot().Detach();
    return *info ? S_OK : S_FALSE;
}

HRESULT CreateErrorInfo(ICreateErrorInfo** info) {
    if (!info)
        return E_INVALIDARG;
    auto* created = new (std::nothrow) ErrorInfo();
    *info = created;
    return created ? S_OK : E_OUTOFMEMORY;
}

HRESULT CoCreateInstance(REFCLSID, IUnknown*, DWORD, REFIID, void** object) {
    if (object)
        *object = nullptr;
    return REGDB_E_CLASSNOTREG;
}

HRESULT CLSIDFromProgID(LPCOLESTR, CLSID* clsid) {
    if (clsid)
        *clsid = GUID_NULL;
    return CO_E_CLASSSTRING;
}
