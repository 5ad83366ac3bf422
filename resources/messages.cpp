// The library's message table (English, United States), compiled into the
// library and loaded by identifier through LoadStringA.
#include "foundation/platform/types.h"
#include "resources/messages.h"

#include "win32/resources.h"

namespace {
constexpr KV_STRING_RESOURCE kMessages[] = {
    {IDS_XML_SAVE_FAILED, "Unable to save XML file %1."},
    {IDS_XML_OPEN_FAILED, "Error opening XML file %1"},
    {IDS_REPO_FILE_CREATE_FAILED, "Unable to create repository file %1"},
    {IDS_DIRECTORY_CREATE_FAILED, "Unable to create directory %1"},
    {0, nullptr},
};
}  // namespace

KV_EXPORT_C const KV_STRING_RESOURCE* KvStringResources() {
    return kMessages;
}
