// CComPtr: a counted reference to a COM object, AddRef on copy, Release on
// destruction. The project's own on every platform (no framework supplies it
// where the library is built).
#pragma once

#include <memory>

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
