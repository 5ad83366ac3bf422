// Built into the library only (not the layer's static library), so that
// there is exactly one of each thread's state in the process.
#include "foundation/platform/posix/state.h"

#include "win32/com.h"
#include "foundation/platform/comptr.h"

namespace kv {
namespace platform {
namespace {

// Initial-exec: read at a fixed offset rather than through a call per access;
// the variable is small enough for the space the loader keeps for libraries
// opened later.
__attribute__((tls_model("initial-exec"))) thread_local DWORD t_lastError = ERROR_SUCCESS;
thread_local CComPtr<IErrorInfo> t_errorInfo;

}  // namespace

DWORD& LastErrorSlot() {
    return t_lastError;
}

CComPtr<IErrorInfo>& ErrorInfoSlot() {
    return t_errorInfo;
}

}  // namespace platform
}  // namespace kv
