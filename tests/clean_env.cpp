// Every test program starts without the variables that point the library at
// a user's own folders, whatever the shell that runs the tests has set.

#include "test_util.h"

namespace {

[[maybe_unused]] const bool kCleared = [] {
    for (const char* name : {"KV_SUPPORT_DIR", "KV_COMMON_FILES_DIR", "KV_PROGRAM_FILES_DIR"})
        kvtest::SetEnv(name, nullptr);
    return true;
}();

}  // namespace
