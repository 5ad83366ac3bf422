// The tool's manual page, in roff for section 1, written from its command
// line: every command with its usage, arguments and notes, the global options
// and the examples; exit status, environment and files as the tool has them.
#pragma once

#include <ostream>
#include <string>

#include "command_doc.h"

namespace kvtool {

void WriteManPage(std::ostream& out, const CommandDoc& program, const std::string& version);

}  // namespace kvtool
