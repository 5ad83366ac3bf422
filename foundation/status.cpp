#include "foundation/status.h"

#include <cstdio>
#include <iterator>

#include "foundation/win32error.h"

namespace kv {
namespace status {
namespace {

struct Entry {
    long status;
    const char* meaning;
};

constexpr Entry kMeanings[] = {
    {kNoDataFilePath, "the repository behind an item collection has no data-file path"},
    {kCollectionNotCreated, "an item collection was not created"},
    {kNotFound, "the attribute or property is not in the data file"},
    {kNotSaved, "an XML data file was not saved"},
    {kNotOpened, "an XML data file was not opened or did not parse"},
    {kFolderNotDeleted, "deleting a folder in the repository failed"},
    {kFolderNotCopied, "copying a folder into the repository failed"},
    {kFileOverwriteDeclined, "overwriting an existing file was declined"},
    {kFolderOverwriteDeclined, "overwriting an existing template folder was declined"},
    {kTemplateNotCopied, "copying the template data file to the new repository failed"},
    {kFolderNotCreated, "creating a folder failed"},
    {kRepositoryNotFound,
     "the new repository was not found in the list after its entry was written"},
    {kBadRepositoryKey, "a repository key other than \"Local\" or \"Network\""},
    {kListNotCreated, "the repository list was not created"},
};

// The system's text for an error number or an HRESULT.
std::string SystemText(long code) {
    const std::string text = kv::win32_exception(static_cast<DWORD>(code)).what();
    return text.empty() ? "no description" : text;
}

}  // namespace

std::string Describe(long status) {
    if (const char* meaning = Meaning(status))
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

const char* Meaning(long status) {
    for (const Entry& entry : kMeanings)
        if (entry.status == status)
            return entry.meaning;
    return nullptr;
}

}  // namespace status
}  // namespace kv
