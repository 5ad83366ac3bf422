#include "status_text.h"

#include <cstdio>

#include "kvrepo.h"

namespace kvtool {
namespace {

// The system's text for an error number or an HRESULT.
std::string SystemText(long code) {
    const std::string text = kv::win32_exception(static_cast<DWORD>(code)).what();
    return text.empty() ? "no description" : text;
}

}  // namespace

std::string DescribeStatus(long status) {
    if (const char* meaning = kv::status::Meaning(status))
        return "status " + std::to_string(status) + " (" + meaning + ")";
    if (status > 0)
        return "system error " + std::to_string(status) + " (" + SystemText(status) + ")";
    if (status < -0xFFFF) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08lX",
                      static_cast<unsigned long>(status) & 0xFFFFFFFFul);
        return std::string("HRESULT ") + hex + " (" + SystemText(status) + ")";
    }
    return "status " + std::to_string(status) + " (not a status of this library)";
}

}  // namespace kvtool
