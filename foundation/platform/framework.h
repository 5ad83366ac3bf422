// The host application framework's exception family: exceptions are thrown by
// pointer and deleted by the catcher with Delete().
#pragma once

#include "foundation/platform/types.h"

struct CRuntimeClass {
    const char* m_lpszClassName;
    const CRuntimeClass* m_pBaseClass;
};

class KV_API CObject {
public:
    virtual const CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject();
    // Framework diagnostics; they do nothing here.
    virtual void Serialize(void* archive);
    virtual void AssertValid() const;
    virtual void Dump(void* context) const;

    static const CRuntimeClass classCObject;
};

class KV_API CException : public CObject {
public:
    explicit CException(BOOL autoDelete = TRUE) : m_bAutoDelete(autoDelete) {}
    const CRuntimeClass* GetRuntimeClass() const override;

    // Copies the exception's text into `buffer` (at most maxChars - 1
    // characters, always terminated). The base has no text: it answers FALSE.
    virtual BOOL GetErrorMessage(LPSTR buffer, UINT maxChars, PUINT helpContext = nullptr) const;
    // Shows the text to the user. There is no user interface here: the text
    // goes to the standard error stream. Returns the answer (IDOK).
    virtual int ReportError(UINT type = 0, UINT messageId = 0) const;

    // Deletes the exception when it was allocated to be thrown by pointer.
    void Delete();

    static const CRuntimeClass classCException;

protected:
    BOOL m_bAutoDelete;
};

class KV_API CMemoryException : public CException {
public:
    BOOL GetErrorMessage(LPSTR buffer, UINT maxChars, PUINT helpContext = nullptr) const override;
};

class KV_API COleException : public CException {
public:
    explicit COleException(SCODE sc) : m_sc(sc) {}
    BOOL GetErrorMessage(LPSTR buffer, UINT maxChars, PUINT helpContext = nullptr) const override;
    SCODE m_sc;
};

// Throw a new exception by pointer.
[[noreturn]] KV_API void AfxThrowMemoryException();
[[noreturn]] KV_API void AfxThrowOleException(SCODE sc);

#define IDOK 1
