// Whole-block file reads and writes for the settings record, and the program's folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace korvane::settings {

// Directory of the running executable (no trailing separator), any length.
std::filesystem::path GetExeDir();

// Reads at most `limit` bytes (and never more than destination.size()) from the
// start of the file. Bytes past what was read are left as they were.
// False when the file does not exist or cannot be opened or read.
bool ReadFileBlock(std::uint32_t limit, const std::filesystem::path& path,
                   std::span<std::uint8_t> destination);

// Replaces the file with `source` atomically: a temporary file beside it is
// written, flushed and renamed over it, so a crash leaves the old or the new
// contents, never a truncated file. False on any file error.
bool WriteFileBlock(const std::filesystem::path& path, std::span<const std::uint8_t> source);

}  // namespace korvane::settings
