// The console: what a command-line program needs to know about its terminal.
#pragma once

#include "foundation/platform/wintypes.h"

namespace kv {
namespace platform {

// Whether standard input is an interactive terminal, so that a question asked
// there can be answered by a person.
KV_API bool IsInteractiveInput();

}  // namespace platform
}  // namespace kv
