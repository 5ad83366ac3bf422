// The interface of the test component module, shared by the module and the
// tests that load it.
#pragma once

#include "win32/com.h"
#include "foundation/platform/comptr.h"

// {6A1F3C52-0B7E-4D21-9A64-3E5D2C8F7B10}
inline constexpr CLSID CLSID_TestComponent = {
    0x6A1F3C52, 0x0B7E, 0x4D21, {0x9A, 0x64, 0x3E, 0x5D, 0x2C, 0x8F, 0x7B, 0x10}};
// {C4E2B7A9-5D13-4F08-8B6E-71A0D9E3F245}
inline constexpr IID IID_ITestComponent = {
    0xC4E2B7A9, 0x5D13, 0x4F08, {0x8B, 0x6E, 0x71, 0xA0, 0xD9, 0xE3, 0xF2, 0x45}};

// What the loader's tests ask a loaded module: the file it was loaded from and
// the current directory while it was being loaded, as new BSTRs.
struct ITestComponent : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPaths(BSTR* modulePath, BSTR* loadDirectory) = 0;

protected:
    ~ITestComponent() = default;
};
