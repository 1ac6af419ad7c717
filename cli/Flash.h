// `korvane flash`: one firmware download job per port, all at once, run by the
// same DownloadJob as the dialog on ports opened the one way a download opens
// them, watched from the terminal.
#pragma once

#include <filesystem>
#include <string>

#include "cli/Commands.h"
#include "cli/Options.h"
#include "cli/RadioRun.h"  // ImageHint

namespace korvane::cli {

int RunFlash(const Console& console, const std::filesystem::path& programDir,
             const FlashOptions& options);

}  // namespace korvane::cli
