// A failed Win32 call as an exception, carrying the thread's last error.
#pragma once

#include <exception>

#include "foundation/platform/types.h"

namespace kv {

// Copies share one message; the message is formatted once, on the first what()
// of any copy, and freed when the last copy goes.
class KV_API win32_exception : public std::exception {
public:
    // Captures the thread's last error.
    win32_exception();
    // Carries `error` instead.
    explicit win32_exception(DWORD error);
    win32_exception(const win32_exception& other) noexcept;
    win32_exception& operator=(const win32_exception& other) noexcept;
    ~win32_exception() override;

    // The system's text for the error; empty for 0 or a code without text.
    const char* what() const noexcept override;
    DWORD error() const { return m_error; }

private:
    struct shared;
    void release() noexcept;

    DWORD m_error;
    shared* m_shared;  // counter, once-flag and message, shared by all copies
};

}  // namespace kv
