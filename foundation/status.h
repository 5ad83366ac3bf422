// The library's own status codes: operations return them as `long`, 0 being
// success. Item file operations also return the system's error numbers
// (positive) and HRESULTs (below -0xFFFF) unchanged; these are the rest.
#pragma once

#include <string>

#include "foundation/platform/types.h"

namespace kv {
namespace status {

constexpr long kSuccess = 0;
constexpr long kNoDataFilePath = -3;
constexpr long kCollectionNotCreated = -100;
constexpr long kNotFound = -101;
constexpr long kNotSaved = -102;
constexpr long kNotOpened = -103;
constexpr long kFolderNotDeleted = -107;
constexpr long kFolderNotCopied = -108;
constexpr long kFileOverwriteDeclined = -109;
constexpr long kFolderOverwriteDeclined = -110;
constexpr long kTemplateNotCopied = -111;
constexpr long kFolderNotCreated = -112;
constexpr long kRepositoryNotFound = -113;
constexpr long kBadRepositoryKey = -114;
constexpr long kListNotCreated = -200;

// What one of the codes above means, in a few words ("an XML data file was not
// saved"); null for any other value, success included.
KV_API const char* Meaning(long status);

// "status -103 (an XML data file was not opened or did not parse)", "system
// error 5 (Access is denied.)" or "HRESULT 0x80070005 (Access is denied.)":
// any status together with what it means, never the bare number.
KV_API std::string Describe(long status);

}  // namespace status
}  // namespace kv
