// COM functions and interfaces beyond the basic types (win32/types.h): the
// thread's error information and class creation.
#pragma once

#include "win32/types.h"

extern const GUID GUID_NULL;

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

extern const IID IID_IUnknown;
extern const IID IID_IClassFactory;
extern const IID IID_IErrorInfo;
extern const IID IID_ICreateErrorInfo;

// Replaces the thread's error information (null clears it). `reserved` is 0.
HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);
// Takes the thread's error information: *info receives it (and the thread's is
// cleared), S_FALSE and null when there is none.
HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info);
// A new, empty error information object.
HRESULT CreateErrorInfo(ICreateErrorInfo** info);

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_ALL 0x17

// Classes registered with the system. POSIX has no class registry: creation
// answers REGDB_E_CLASSNOTREG and ProgID lookup CO_E_CLASSSTRING.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);

namespace kv {
namespace platform {

// Whether an object implementing `Interface` answers `iid` as the automation
// interface it derives from. No interface here is an automation interface.
template <class Interface>
bool IsDispatchOf(REFIID) {
    return false;
}

}  // namespace platform
}  // namespace kv

typedef HRESULT(STDMETHODCALLTYPE* LPFNGETCLASSOBJECT)(REFCLSID, REFIID, void**);
