// The console on POSIX: arguments, the environment and output are bytes,
// which the ANSI code page (UTF-8) takes as they are.

#include "foundation/platform/console.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace kv {
namespace platform {

bool IsInteractiveInput() {
    return isatty(STDIN_FILENO) == 1;
}

bool GetAnsiArguments(int argc, char** argv, std::vector<std::string>& arguments, std::size_t&,
                      std::string&) {
    arguments.assign(argv, argv + argc);
    return true;
}

bool GetAnsiEnvironment(const char* name, std::string& value) {
    const char* found = std::getenv(name);
    value = found ? found : "";
    return !value.empty();
}

bool GetUserSettingsFolder(std::string& folder) {
    if (GetAnsiEnvironment("XDG_CONFIG_HOME", folder))
        return true;
    if (!GetAnsiEnvironment("HOME", folder))
        return false;
    folder += "/.config";
    return true;
}

bool WriteStandardText(StandardStream stream, const std::string& utf8) {
    std::FILE* file = stream == StandardStream::kOutput ? stdout : stderr;
    return std::fwrite(utf8.data(), 1, utf8.size(), file) == utf8.size();
}

}  // namespace platform
}  // namespace kv
