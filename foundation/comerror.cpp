#include "foundation/comerror.h"

#include "win32/errors.h"
#include "foundation/platform/comptr.h"
#include "win32/bstr.h"
#include "win32/com.h"

com_exception::com_exception(long hr) : m_hr(hr), m_iid(GUID_NULL), m_clsid(GUID_NULL) {
    IErrorInfo* raw = nullptr;
    if (GetErrorInfo(0, &raw) == S_OK && raw) {
        CComPtr<IErrorInfo> info;
        info.Attach(raw);
        BSTR text = nullptr;
        if (SUCCEEDED(info->GetDescription(&text)) && text)
            m_description = text;
        SysFreeString(text);
        info->GetGUID(&m_iid);
        text = nullptr;
        if (SUCCEEDED(info->GetSource(&text)) && text)
            m_source = text;
        SysFreeString(text);
        if (FAILED(CLSIDFromProgID(m_source.c_str(), &m_clsid)))
            m_clsid = GUID_NULL;
        return;
    }
    char* text = nullptr;
    if (FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                       reinterpret_cast<LPSTR>(&text), 0, nullptr) != 0 &&
        text) {
        m_description = _stringx(text);
        LocalFree(text);
    } else {
        m_description = _stringx("Unknown error");
    }
}

com_exception::~com_exception() = default;

const char* com_exception::what() const noexcept {
    try {
        return m_description.narrow();
    } catch (...) {
        return "";
    }
}

BOOL CComException::GetErrorMessage(LPSTR buffer, UINT maxChars, PUINT) const {
    if (!buffer || maxChars == 0)
        return TRUE;
    const char* text = m_error.what();
    UINT i = 0;
    for (; i + 1 < maxChars && text[i]; ++i)
        buffer[i] = text[i];
    buffer[i] = '\0';
    return TRUE;
}

void com_check::check() const {
    if (m_hr >= 0)
        return;
    throw new CComException(com_exception(m_hr));
}
