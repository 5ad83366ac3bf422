// The console: what a command-line program takes from its surroundings (its
// arguments, environment variables, the user's settings folder) and what it
// gives back (text on standard output and error), and whether a person sits at
// its terminal.
//
// Text comes in the ANSI code page, which is what the library takes; on
// Windows the system keeps arguments and the environment in UTF-16, and these
// functions convert, refusing what the code page cannot hold rather than
// passing '?' on. Output is written as UTF-8, or as UTF-16 to a Windows
// console, which shows every character whatever its code page.
#pragma once

#include <string>
#include <vector>

#include "foundation/platform/types.h"

namespace kv {
namespace platform {

// Whether standard input is an interactive terminal, so that a question asked
// there can be answered by a person.
bool IsInteractiveInput();

// The program's arguments, its name first, in the ANSI code page: `argv` as
// it is on POSIX; the system's UTF-16 command line converted on Windows. When
// an argument holds a character that the code page cannot hold, returns false
// with that argument's index in `failed` and its text, in UTF-8, in
// `failedText`; only the program's name gets the system's substitutes then.
bool GetAnsiArguments(int argc, char** argv, std::vector<std::string>& arguments,
                      std::size_t& failed, std::string& failedText);

// An environment variable in the ANSI code page; false when it is not set, or
// is empty, or holds a character that the code page cannot hold.
bool GetAnsiEnvironment(const char* name, std::string& value);

// The folder where per-user settings belong, in the ANSI code page:
// $XDG_CONFIG_HOME, else $HOME/.config on POSIX; %APPDATA% on Windows. False
// when the environment names none.
bool GetUserSettingsFolder(std::string& folder);

enum class StandardStream { kOutput, kError };

// Writes UTF-8 text to standard output or error: to a Windows console as
// UTF-16, anywhere else as the bytes given (no carriage return added before line ends).
// False when not all was written.
bool WriteStandardText(StandardStream stream, const std::string& utf8);

}  // namespace platform
}  // namespace kv
