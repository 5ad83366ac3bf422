// The console on POSIX.

#include "foundation/platform/console.h"

#include <unistd.h>

namespace kv {
namespace platform {

bool IsInteractiveInput() {
    return isatty(STDIN_FILENO) == 1;
}

}  // namespace platform
}  // namespace kv
