// Shared plumbing of the component modules' COM objects: the reference
// count, and the guard that turns exceptions into HRESULTs at the interface.
#pragma once

#include <atomic>
#include <initializer_list>
#include <new>

#include "win32/com.h"
#include "foundation/platform/comptr.h"

namespace kv {
namespace component {

// A counted object implementing one interface (and its bases; for a DOM
// interface, platform::DomInterface of it, see win32/msxml.h). Created with
// one reference, which the creator hands on; destroyed by the last Release.
template <class Interface>
class ComObject : public Interface {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG remaining = --m_references;
        if (remaining == 0)
            delete this;
        return remaining;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    // Answers `iid` with this object when it is one of `iids`, or the
    // automation interface (IDispatch) that `Interface` derives from.
    HRESULT Answer(REFIID iid, void** object, std::initializer_list<const IID*> iids) {
        if (!object)
            return E_POINTER;
        bool answered = platform::IsDispatchOf<Interface>(iid);
        for (const IID* candidate : iids)
            answered = answered || iid == *candidate;
        if (!answered) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }

private:
    std::atomic<ULONG> m_references{1};
};

// Runs an interface method's body; nothing thrown crosses the interface.
template <class Body>
HRESULT Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// Stores a counted reference in an out-parameter (null gives S_FALSE, "none").
template <class I>
HRESULT Hand(I* object, I** out) {
    *out = object;
    if (!object)
        return S_FALSE;
    object->AddRef();
    return S_OK;
}

}  // namespace component
}  // namespace kv
