// Built into the library only (not the layer's static library), so that
// there is exactly one of each thread's state in the process.
#include "foundation/platform/posix/state.h"

#include "win32/com.h"
#include "foundation/platform/comptr.h"

namespace kv {
namespace platform {
namespace {

// The default model, not initial-exec: one initial-exec variable puts the
// library's whole thread-local block (several kilobytes) in the space the
// loader keeps for libraries opened later, which is smaller, so that dlopen
// (ctypes, any language's loader) would refuse the library.
thread_local DWORD t_lastError = ERROR_SUCCESS;
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
