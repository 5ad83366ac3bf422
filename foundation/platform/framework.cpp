// The host framework's exception family.
#include <cstdio>
#include <cstring>
#include <new>

#include "win32/errors.h"
#include "foundation/platform/framework.h"

const CRuntimeClass CObject::classCObject = {"CObject", nullptr};
const CRuntimeClass CException::classCException = {"CException", &CObject::classCObject};

const CRuntimeClass* CObject::GetRuntimeClass() const {
    return &classCObject;
}
CObject::~CObject() = default;
void CObject::Serialize(void*) {}
void CObject::AssertValid() const {}
void CObject::Dump(void*) const {}

const CRuntimeClass* CException::GetRuntimeClass() const {
    return &classCException;
}

BOOL CException::GetErrorMessage(LPSTR buffer, UINT maxChars, PUINT) const {
    if (buffer && maxChars > 0)
        buffer[0] = '\0';
    return FALSE;
}

int CException::ReportError(UINT, UINT) const {
    char text[512];
    if (GetErrorMessage(text, sizeof(text)))
        std::fprintf(stderr, "%s\n", text);
    return IDOK;
}

void CException::Delete() {
    if (m_bAutoDelete)
        delete this;
}

namespace {
BOOL CopyText(const char* text, LPSTR buffer, UINT maxChars) {
    if (!buffer || maxChars == 0)
        return FALSE;
    std::strncpy(buffer, text, maxChars - 1);
    buffer[maxChars - 1] = '\0';
    return TRUE;
}
}  // namespace

BOOL CMemoryException::GetErrorMessage(LPSTR buffer, UINT maxChars, PUINT) const {
    return CopyText("Out of memory.", buffer, maxChars);
}

BOOL COleException::GetErrorMessage(LPSTR buffer, UINT maxChars, PUINT) const {
    char* text = nullptr;
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(m_sc), 0, reinterpret_cast<LPSTR>(&text), 0,
                       nullptr) == 0)
        return CopyText("Unknown error", buffer, maxChars);
    BOOL copied = CopyText(text, buffer, maxChars);
    LocalFree(text);
    return copied;
}

void AfxThrowMemoryException() {
    throw new CMemoryException();
}

void AfxThrowOleException(SCODE sc) {
    if (sc == E_OUTOFMEMORY)
        AfxThrowMemoryException();
    throw new COleException(sc);
}
