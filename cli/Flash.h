// `korvane flash`: one firmware download job per port, all at once, run by the
// same DownloadJob as the dialog on ports opened the one way a download opens
// them, watched from the terminal.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Options.h"

namespace korvane::cli {

// Reads an image for a command, the one way the core reads images: anything
// but a regular file (a pipe, a device) is refused before it is opened, so
// nothing blocks. Throws firmware::ImageError.
std::vector<std::uint8_t> ReadImageFile(const std::filesystem::path& path);

// What to try about an image that cannot be used: the error's own hint, or ours.
std::string ImageHint(const korvane::Error& error);

int RunFlash(const Console& console, const std::filesystem::path& programDir,
             const FlashOptions& options);

}  // namespace korvane::cli
