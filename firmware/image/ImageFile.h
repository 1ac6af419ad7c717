// How an image file is opened and read on this system (one implementation file
// per platform): only a regular file, never past a limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace korvane::firmware::detail {

// Reads at most `limit` bytes of the regular file at `path`; throws ImageError
// (through the functions below) when it is not one or cannot be read.
std::vector<std::uint8_t> ReadRegularFile(const std::filesystem::path& path, std::size_t limit);

[[noreturn]] void ThrowNotRegular(const std::filesystem::path& path, bool folder);
[[noreturn]] void ThrowCannotOpen(const std::filesystem::path& path, const std::string& reason);
[[noreturn]] void ThrowCannotRead(const std::filesystem::path& path, const std::string& reason);

}  // namespace korvane::firmware::detail
