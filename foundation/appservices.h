// The authoring tool's application-services component as the library sees it:
// one object, created from "KvAppServices.dll", that reports the tool's support
// folder (where the template data file lies and relative XML names are loaded
// from).
#pragma once

#include "foundation/componentloader.h"
#include "win32/com.h"
#include "foundation/platform/comptr.h"
#include "foundation/stringx.h"

// {FD4CCFF8-13A5-44AE-AE27-33D7F91B03FF}
inline constexpr CLSID CLSID_KvAppServices = {
    0xFD4CCFF8, 0x13A5, 0x44AE, {0xAE, 0x27, 0x33, 0xD7, 0xF9, 0x1B, 0x03, 0xFF}};
// {94B47DE6-92F4-442B-9BEF-06FE3BAD95FB}
inline constexpr IID IID_IKvAppServices = {
    0x94B47DE6, 0x92F4, 0x442B, {0x9B, 0xEF, 0x06, 0xFE, 0x3B, 0xAD, 0x95, 0xFB}};

// The services interface. The library uses only GetSupportFolder, which must
// stay in the 20th place of the function table (counting IUnknown's three);
// the operations before it belong to the tool and are not used here.
struct IKvAppServices : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Reserved4() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved7() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved8() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved9() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved10() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved11() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved12() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved13() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved14() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved15() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved16() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved17() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved18() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved19() = 0;
    // The support folder as a new BSTR that the caller frees.
    virtual HRESULT STDMETHODCALLTYPE GetSupportFolder(BSTR* folder) = 0;

protected:
    ~IKvAppServices() = default;
};

namespace kv {

// The component file that provides CLSID_KvAppServices.
inline constexpr OLECHAR kAppServicesFile[] = OLESTR("KvAppServices.dll");
// The zero-based place of GetSupportFolder in the interface's function table.
constexpr int kSupportFolderSlot = 19;

// Asks a fresh services object for the support folder: creates it through
// `loader`, asks once, frees the BSTR and releases the object. Returns the first
// failure code of the creation or the question; `folder` is set only on success.
KV_API HRESULT QuerySupportFolder(_stringx& folder,
                                  ComponentLoader& loader = ComponentLoader::Process());

}  // namespace kv
