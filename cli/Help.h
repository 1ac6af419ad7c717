// Help texts of `korvane` and of each of its commands, and the version line.
#pragma once

#include <string>

#include "cli/Options.h"

namespace korvane::cli {

// The program's overview for None, otherwise the command's own help.
std::string HelpText(CommandKind command);

// "korvane 1.0.0.1"
std::string VersionText();

// "Try 'korvane flash --help'" (or 'korvane --help' for None).
std::string HelpHint(CommandKind command);

}  // namespace korvane::cli
