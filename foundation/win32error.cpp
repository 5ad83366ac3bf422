#include "foundation/win32error.h"

#include <atomic>
#include <mutex>

#include "win32/errors.h"

namespace kv {

struct win32_exception::shared {
    std::atomic<long> refs{1};
    std::once_flag formatted;
    char* message = nullptr;
};

win32_exception::win32_exception() : win32_exception(GetLastError()) {}

win32_exception::win32_exception(DWORD error) : m_error(error), m_shared(new shared) {}

win32_exception::win32_exception(const win32_exception& other) noexcept
    : std::exception(other), m_error(other.m_error), m_shared(other.m_shared) {
    m_shared->refs.fetch_add(1, std::memory_order_relaxed);
}

win32_exception& win32_exception::operator=(const win32_exception& other) noexcept {
    if (m_shared != other.m_shared) {
        other.m_shared->refs.fetch_add(1, std::memory_order_relaxed);
        release();
        m_shared = other.m_shared;
    }
    m_error = other.m_error;
    return *this;
}

win32_exception::~win32_exception() {
    release();
}

void win32_exception::release() noexcept {
    if (m_shared->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        LocalFree(m_shared->message);
        delete m_shared;
    }
}

const char* win32_exception::what() const noexcept {
    if (m_error == 0)
        return "";
    std::call_once(m_shared->formatted, [this] {
        char* text = nullptr;
        if (FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, m_error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                           reinterpret_cast<LPSTR>(&text), 0, nullptr) != 0)
            m_shared->message = text;
    });
    return m_shared->message ? m_shared->message : "";
}

}  // namespace kv
