// Whole-block file reads and writes for the settings record, the lock that
// guards the record against other processes, and the program's folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "settings/FileLock.h"

namespace korvane::settings {

// Directory of the running executable (no trailing separator), any length.
std::filesystem::path GetExeDir();

// Reads at most `limit` bytes (and never more than destination.size()) from the
// start of the file. Bytes past what was read are left as they were.
// False when the file does not exist or cannot be opened or read.
bool ReadFileBlock(std::uint32_t limit, const std::filesystem::path& path,
                   std::span<std::uint8_t> destination);

// The file that `path` names: the final target when it is a symbolic link (a
// chain of links is followed), else `path` itself; empty for a loop of links.
std::filesystem::path ResolveLinks(const std::filesystem::path& path);

// Takes the lock that guards the record file `target` (links resolved) against
// other processes. Its home is "<name>.lock" beside the record, made at the first
// save and kept, because the record itself is replaced by rename and a lock on
// the replaced file would exclude nobody. Where that file can be neither opened
// nor made (a folder the user may not write), the record itself is locked: in
// such a folder no save can make a temporary file, so every save writes in
// place and the record keeps its identity. A shared lock never makes a file.
bool LockRecordFile(detail::FileLock& lock, const std::filesystem::path& target,
                    detail::LockKind kind);

// Replaces the file with `source` atomically: a temporary file beside it is
// written, flushed and renamed over it, so a crash leaves the old or the new
// contents, never a truncated file. Where no temporary file can be made (a
// folder the user may not write), the bytes are written over the file in place
// and flushed. A symbolic link is written through to its target. Temporary
// files that a process killed mid-save left beside the file are removed first,
// so the caller must hold the record's exclusive lock. False on any file error.
bool WriteFileBlock(const std::filesystem::path& path, std::span<const std::uint8_t> source);

}  // namespace korvane::settings
