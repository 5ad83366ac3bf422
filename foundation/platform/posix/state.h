// What the POSIX layer keeps per thread, held once by the library: every
// module that links the layer (the library, its component modules, the tool,
// the tests) sees the same last error and error information, as Windows
// programs share the system's. The library binds its own calls to these
// directly (it links with -Bsymbolic-functions): GetLastError runs with every
// string made.
#pragma once

#include "foundation/platform/comptr.h"
#include "foundation/platform/types.h"
#include "win32/com.h"

struct IErrorInfo;

namespace kv {
namespace platform {

// The calling thread's last Win32 error.
KV_API DWORD& LastErrorSlot();
// The calling thread's COM error information (null: none).
KV_API CComPtr<IErrorInfo>& ErrorInfoSlot();

}  // namespace platform
}  // namespace kv
