// The console on Windows.

#include "foundation/platform/console.h"

namespace kv {
namespace platform {

bool IsInteractiveInput() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != FALSE;
}

}  // namespace platform
}  // namespace kv
