// COM failures as exceptions: com_exception carries an HRESULT with its text;
// CComException wraps it in the host framework's exception family (thrown by
// pointer, deleted by the catcher with Delete()); com_check throws on the first
// failing HRESULT assigned to it.
#pragma once

#include <exception>

#include "foundation/platform/comptr.h"
#include "foundation/platform/framework.h"
#include "foundation/stringx.h"

class KV_API com_exception : public std::exception {
public:
    // Takes the thread's COM error information when there is one (its
    // description, interface, source and the source's class); otherwise the
    // system's text for `hr`, or "Unknown error".
    explicit com_exception(long hr);
    com_exception(const com_exception&) = default;
    com_exception& operator=(const com_exception&) = default;
    ~com_exception() override;

    // The description in the ANSI code page, owned by this exception.
    const char* what() const noexcept override;

    long m_hr;
    GUID m_iid;
    GUID m_clsid;
    _stringx m_description;
    _stringx m_source;
};

template <class T>
class _CComException : public CException {};

class KV_API CComException : public _CComException<int> {
public:
    explicit CComException(const com_exception& error) : m_error(error) {}

    // Copies what() of the embedded exception, truncated to `maxChars`
    // including the terminator; the help context is left alone. TRUE.
    BOOL GetErrorMessage(LPSTR buffer, UINT maxChars, PUINT helpContext = nullptr) const override;

    const com_exception& GetError() const { return m_error; }
    long GetHResult() const { return m_error.m_hr; }

private:
    com_exception m_error;
};

// Holds one HRESULT; storing a failure (below zero) throws a new CComException*.
class KV_API com_check {
public:
    com_check() = default;
    com_check(long hr) : m_hr(hr) { check(); }
    com_check& operator=(long hr) {
        m_hr = hr;
        check();
        return *this;
    }
    operator long() const { return m_hr; }

private:
    void check() const;
    long m_hr = S_OK;
};
