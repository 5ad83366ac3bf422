// COM essentials: GUIDs, IUnknown, IClassFactory, counted references, the
// thread's error information and class creation.
#pragma once

#include <cstring>
#include <memory>

#include "foundation/platform/wintypes.h"

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator==(REFGUID a, REFGUID b) {
    return IsEqualGUID(a, b);
}
inline bool operator!=(REFGUID a, REFGUID b) {
    return !IsEqualGUID(a, b);
}

KV_API extern const GUID GUID_NULL;

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    ~IUnknown() = default;  // objects are destroyed by Release, never through this
};

struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid,
                                                     void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;

protected:
    ~IClassFactory() = default;
};

// The error information a failing COM object leaves on its thread.
struct IErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetGUID(GUID* guid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSource(BSTR* source) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* description) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* helpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* helpContext) = 0;

protected:
    ~IErrorInfo() = default;
};

struct ICreateErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetGUID(REFGUID guid) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR source) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR description) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR helpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD helpContext) = 0;

protected:
    ~ICreateErrorInfo() = default;
};

KV_API extern const IID IID_IUnknown;
KV_API extern const IID IID_IClassFactory;
KV_API extern const IID IID_IErrorInfo;
KV_API extern const IID IID_ICreateErrorInfo;

// Replaces the thread's error information (null clears it). `reserved` is 0.
KV_API HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);
// Takes the thread's error information: *info receives it (and the thread's is
// cleared), S_FALSE and null when there is none.
KV_API HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info);
// A new, empty error information object.
KV_API HRESULT CreateErrorInfo(ICreateErrorInfo** info);

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_ALL 0x17

// Classes registered with the system. POSIX has no class registry: creation
// answers REGDB_E_CLASSNOTREG and ProgID lookup CO_E_CLASSSTRING.
KV_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                                void** object);
KV_API HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);

typedef HRESULT(STDMETHODCALLTYPE* LPFNGETCLASSOBJECT)(REFCLSID, REFIID, void**);

// A counted reference: AddRef on copy, Release on destruction.
template <class T>
class CComPtr {
public:
    CComPtr() = default;
    CComPtr(T* p) : p_(p) {
        if (p_)
            p_->AddRef();
    }
    CComPtr(const CComPtr& other) : CComPtr(other.p_) {}
    CComPtr(CComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    ~CComPtr() { Release(); }

    CComPtr& operator=(T* p) {
        if (p)
            p->AddRef();
        Release();
        p_ = p;
        return *this;
    }
    CComPtr& operator=(const CComPtr& other) { return *this = other.p_; }
    CComPtr& operator=(CComPtr&& other) noexcept {
        if (this != std::addressof(other)) {
            Release();
            p_ = other.p_;
            other.p_ = nullptr;
        }
        return *this;
    }

    void Release() {
        T* p = p_;
        p_ = nullptr;
        if (p)
            p->Release();
    }
    // Takes over a reference without AddRef / gives one up without Release.
    void Attach(T* p) {
        Release();
        p_ = p;
    }
    T* Detach() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }

    T* operator->() const { return p_; }
    operator T*() const { return p_; }
    T* get() const { return p_; }
    // The address of the held pointer, for out-parameters; the held pointer must
    // be null (release it first).
    T** operator&() { return &p_; }
    bool operator!() const { return p_ == nullptr; }

private:
    T* p_ = nullptr;
};
