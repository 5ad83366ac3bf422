#include "console_status.h"

#include <filesystem>
#include <iostream>
#include <string>

#include "foundation/platform/console.h"
#include "items.h"
#include "output.h"

namespace kvtool {

ConsoleStatus::ConsoleStatus()
    : m_overwrite(kv::platform::IsInteractiveInput() ? Overwrite::kAsk : Overwrite::kNo) {}

long ConsoleStatus::OnError(const _stringx& text) {
    Warn(Text(text));
    return 0;
}

long ConsoleStatus::OnStatus(const _stringx& text) {
    Warn(Text(text));
    return 0;
}

bool ConsoleStatus::OnOverwriteFile(const _stringx& path) {
    return Answer("file", path);
}

bool ConsoleStatus::OnOverwriteFolder(const _stringx& path) {
    return Answer("folder", path);
}

bool ConsoleStatus::Answer(const char* what, const _stringx& path) {
    // The library also asks about a template folder that is not there yet;
    // there is nothing to lose then.
    std::error_code error;
    if (!std::filesystem::exists(LocalPath(Text(path)), error))
        return true;
    switch (m_overwrite) {
        case Overwrite::kYes:
            return true;
        case Overwrite::kNo:
            m_declinedUnasked = m_declinedUnasked || !m_chosen;
            Warn(std::string("not overwriting the existing ") + what + " " + Text(path));
            return false;
        case Overwrite::kAsk:
            break;
    }
    PrintError(std::string(kProgram) + ": overwrite the existing " + what + " " + Text(path) +
               "? [y/N] ");
    std::string reply;
    if (!std::getline(std::cin, reply))
        return false;
    return reply == "y" || reply == "Y" || reply == "yes" || reply == "Yes";
}

}  // namespace kvtool
