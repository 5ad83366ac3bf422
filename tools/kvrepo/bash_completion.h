// The tool's bash completion, written from its command line: commands and
// nested commands, each command's options together with the global options
// that it passes on, and values by their kind: file names, repository keys,
// or the members of a set that the parser checks.
#pragma once

#include <ostream>

#include "command_doc.h"

namespace kvtool {

void WriteBashCompletion(std::ostream& out, const CommandDoc& program);

}  // namespace kvtool
