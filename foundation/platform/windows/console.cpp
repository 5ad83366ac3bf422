// The console on Windows: the command line and the environment are read in
// UTF-16 and converted to the ANSI code page without best-fit substitutes;
// text for a console goes out as UTF-16, text for a file or pipe as UTF-8
// through the C runtime (which ends its lines with CR LF).

#include "foundation/platform/console.h"
#include "foundation/platform/windows/widetext.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>

namespace kv {
namespace platform {
namespace {

std::wstring Widen(const char* ascii) {
    std::wstring wide;
    for (; *ascii; ++ascii)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*ascii));
    return wide;
}

}  // namespace

bool IsInteractiveInput() {
    // Only a console has a console mode: a file, a pipe and NUL have none.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != FALSE;
}

bool GetAnsiArguments(int argc, char** argv, std::vector<std::string>& arguments,
                      std::size_t& failed, std::string& failedText) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) {
        arguments.assign(argv, argv + argc);
        return true;
    }
    arguments.clear();
    bool converted = true;
    for (int i = 0; i < count && converted; ++i) {
        std::string ansi;
        const int length = static_cast<int>(wcslen(wide[i]));
        converted = NarrowText(CP_ACP, wide[i], length, ansi);
        // The program's own path may lie in a folder the code page cannot
        // name; it is only a name for messages, so its substitutes do.
        if (!converted && i == 0) {
            NarrowText(CP_ACP, wide[i], length, ansi, false);
            converted = true;
        }
        if (converted) {
            arguments.push_back(ansi);
        } else {
            failed = static_cast<std::size_t>(i);
            NarrowText(CP_UTF8, wide[i], length, failedText);
        }
    }
    LocalFree(wide);
    return converted;
}

bool GetAnsiEnvironment(const char* name, std::string& value) {
    value.clear();
    const std::wstring wideName = Widen(name);
    const DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size <= 1)
        return false;
    std::wstring wide(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), &wide[0], size);
    if (length == 0 || length >= size)
        return false;
    if (!NarrowText(CP_ACP, wide.c_str(), static_cast<int>(length), value)) {
        value.clear();
        return false;
    }
    return true;
}

bool GetUserSettingsFolder(std::string& folder) {
    return GetAnsiEnvironment("APPDATA", folder);
}

bool WriteStandardText(StandardStream stream, const std::string& utf8) {
    std::FILE* file = stream == StandardStream::kOutput ? stdout : stderr;
    const HANDLE handle =
        GetStdHandle(stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    // What the C runtime still holds goes first.
    std::fflush(file);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
        // Redirected: the bytes as they are, lines ending in "\n" as on every
        // platform (the C runtime's text mode would make them "\r\n").
        for (std::size_t done = 0; done < utf8.size();) {
            const DWORD piece =
                static_cast<DWORD>(std::min<std::size_t>(utf8.size() - done, 1u << 20));
            DWORD written = 0;
            if (!WriteFile(handle, utf8.data() + done, piece, &written, nullptr) || written == 0)
                return false;
            done += written;
        }
        return true;
    }
    if (utf8.empty())
        return true;
    const std::wstring wide = WideText(CP_UTF8, utf8.data(), static_cast<int>(utf8.size()));
    if (wide.empty())
        return false;
    // In pieces: older consoles refuse long writes.
    for (std::size_t done = 0; done < wide.size();) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
        DWORD written = 0;
        if (!WriteConsoleW(handle, wide.data() + done, piece, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

}  // namespace platform
}  // namespace kv
