// The console: what a command-line program needs to know about its terminal.
#pragma once

#include "foundation/platform/types.h"

namespace kv {
namespace platform {

// Whether standard input is an interactive terminal, so that a question asked
// there can be answered by a person.
bool IsInteractiveInput();

}  // namespace platform
}  // namespace kv
