// What the tool prints: results as aligned text or as JSON on standard output,
// and its own messages, prefixed with the program name, on standard error.
// Failures travel as exceptions to main, which turns them into exit statuses.
//
// The tool's strings are the library's: text in the ANSI code page (UTF-8 on
// POSIX, usually windows-1252 on Windows). They become UTF-8 on the way out
// (and UTF-16 on a Windows console), so JSON is always UTF-8.
#pragma once

#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>
#include <vector>

#include "kvrepo.h"

namespace kvtool {

constexpr const char kProgram[] = "kvrepo";

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// A failed operation: one line on standard error, exit status 1.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Bad usage found after the command line was parsed: exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws a Failure that says what failed and what the status means.
[[noreturn]] void ThrowStatus(const std::string& what, long status);

// "kvrepo: <text>" on standard error.
void Warn(const std::string& text);
// Tells a user whose list names no repository with a data file yet how to
// make one (on standard error, so that output stays as it is).
void WarnNoRepositories(const std::string& listFile);

// Text as it is, no line end added, on standard output or error.
void Print(const std::string& text);
void PrintError(const std::string& text);

// The text of a library string, in the ANSI code page.
inline std::string Text(const _stringx& text) {
    return text.str();
}

// Text in the ANSI code page as UTF-8.
std::string Utf8(const std::string& text);

// JSON null for a property the library did not find.
nlohmann::json OptionalText(long status, const _stringx& value);

// Prints `value`, whose strings are in the ANSI code page, as indented UTF-8
// JSON, invalid UTF-8 replaced.
void PrintJson(const nlohmann::json& value);

// Prints rows under a header line, each column as wide as its widest cell.
void PrintTable(const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows);

}  // namespace kvtool
