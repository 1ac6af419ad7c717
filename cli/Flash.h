// `korvane flash`: one firmware download job per port, all at once, run by the
// same DownloadJob as the dialog on ports opened the one way a download opens
// them, watched from the terminal.
#pragma once

#include <filesystem>
#include <string>

#include "cli/Commands.h"
#include "cli/Options.h"

namespace korvane::cli {

// What to try about an image that cannot be used: the error's own hint, or ours.
std::string ImageHint(const korvane::Error& error);

int RunFlash(const Console& console, const std::filesystem::path& programDir,
             const FlashOptions& options);

}  // namespace korvane::cli
