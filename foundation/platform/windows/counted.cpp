// The system's status query and directory search, counted where the tests
// count the layer's calls (FileCall::kStatus, kFolderList) and otherwise the
// system's own, so that a test can show on Windows too that a listing does
// not ask each file for its attributes.
#include <windows.h>

#include "foundation/platform/faults.h"
#include "foundation/platform/windows/filecalls.h"

using kv::platform::FileCall;

DWORD KvGetFileAttributesA(LPCSTR path) {
#ifdef KV_FAULT_INJECTION
    kv::platform::DecideFault(FileCall::kStatus);  // counted only, never failed
#endif
    return GetFileAttributesA(path);
}

HANDLE KvFindFirstFileA(LPCSTR search, LPWIN32_FIND_DATAA data) {
#ifdef KV_FAULT_INJECTION
    kv::platform::DecideFault(FileCall::kFolderList);
#endif
    return FindFirstFileA(search, data);
}
