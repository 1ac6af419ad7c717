// The settings module's own texts (ids 501-519 above each language base): what
// stands where Sys.dat should be, and why it could not be read or saved.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "error/Error.h"

namespace korvane::settings {

// "a folder", "a device", "a FIFO", ... for what a name holds.
std::string DescribeFileType(std::filesystem::file_type type);
// What a link to nothing leads to: "missing".
std::string DescribeMissingTarget();
// "a file larger than 1,024 bytes".
std::string DescribeLargerFile(std::uintmax_t limit);
// "it is a folder, not a file".
std::string NotAFileReason(const std::string& what);
// How a counter that could not be read is shown: "unknown".
std::string UnknownCountText();

// The errors the store reports, each with its hint.
FileError RefusedLinkError(const std::filesystem::path& link, const std::filesystem::path& target,
                           const std::string& what);
FileError ReadError(const std::filesystem::path& path, const std::string& reason);
FileError LockBusyError(const std::filesystem::path& lockFile, std::chrono::milliseconds waited);
FileError LockStoppedError(const std::filesystem::path& lockFile);
FileError LockNotRegularError(const std::filesystem::path& lockFile, const std::string& what);
FileError WriteError(const std::filesystem::path& path);

}  // namespace korvane::settings
