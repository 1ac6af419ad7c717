// Durable file writes, one implementation per platform (FileSync_posix.cpp,
// FileSync_win32.cpp). Used by WriteFileBlock for its atomic replace, and for
// the write in place where no temporary file can be made.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace korvane::settings::detail {

// Creates `path` (it must not exist yet), writes all of `bytes` and flushes them
// to the disk before closing. False on any error; a partly written file is left
// for the caller to remove.
bool WriteNewFileDurably(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Moves `from` over `to` in one step, replacing a file there, and makes the
// move itself durable. False when the move failed (`from` is then left as it was).
bool ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Writes all of `bytes` over the start of the file at `path` (made when absent),
// cuts the file after them and flushes it to the disk. A crash midway can leave
// a mix of old and new bytes: only for where no replacement is possible.
bool WriteInPlaceDurably(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace korvane::settings::detail
