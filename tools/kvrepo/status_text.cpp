#include "status_text.h"

#include <cstdio>

#include "kvrepo.h"

namespace kvtool {
namespace {

// The library's own codes.
const char* LibraryMeaning(long status) {
    switch (status) {
        case -3:
            return "the repository behind an item collection has no data-file path";
        case -100:
            return "an item collection was not created";
        case -101:
            return "the attribute or property is not in the data file";
        case -102:
            return "an XML data file was not saved";
        case -103:
            return "an XML data file was not opened or did not parse";
        case -107:
            return "deleting a folder in the repository failed";
        case -108:
            return "copying a folder into the repository failed";
        case -109:
            return "overwriting an existing file was declined";
        case -110:
            return "overwriting an existing template folder was declined";
        case -111:
            return "copying the template data file to the new repository failed";
        case -112:
            return "creating a folder failed";
        case -113:
            return "the new repository was not found in the list after its entry was written";
        case -114:
            return "a repository key other than \"Local\" or \"Network\"";
        case -200:
            return "the repository list was not created";
        default:
            return nullptr;
    }
}

// The system's text for an error number or an HRESULT.
std::string SystemText(long code) {
    const std::string text = kv::win32_exception(static_cast<DWORD>(code)).what();
    return text.empty() ? "no description" : text;
}

}  // namespace

std::string DescribeStatus(long status) {
    if (const char* meaning = LibraryMeaning(status))
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
