// Whole-block file reads and writes for the settings record, and the lock that
// guards the record against other processes.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

#include "settings/FileLock.h"

namespace korvane::settings {

// Reads at most `limit` bytes (and never more than destination.size()) from the
// start of the file. Bytes past what was read are left as they were.
// False when the file does not exist or cannot be opened or read.
bool ReadFileBlock(std::uint32_t limit, const std::filesystem::path& path,
                   std::span<std::uint8_t> destination);
// The same, with why it failed in `reason` (the system's words, or what the
// name holds when it is not a file).
bool ReadFileBlock(std::uint32_t limit, const std::filesystem::path& path,
                   std::span<std::uint8_t> destination, std::string& reason);

// The file that `path` names: the final target when it is a symbolic link (a
// chain of links is followed), else `path` itself; empty for a loop of links.
std::filesystem::path ResolveLinks(const std::filesystem::path& path);

// What stands under the record's name.
enum class RecordKind {
    File,         // a regular file, or a link to a regular file of at most the record's size
    Missing,      // nothing: no settings yet, the first save makes the file
    RefusedLink,  // a link to anything else: read as no settings, never written
    NotAFile,     // a folder, device or FIFO under the name itself: it cannot be read
};

struct RecordFile {
    RecordKind kind = RecordKind::Missing;
    std::filesystem::path target;  // where reads and saves go: the link's final target
    std::string what;              // for RefusedLink and NotAFile: what is there ("a device")
};

// Looks at the name without opening anything. A link is written through only
// when it leads to a regular file no larger than `recordSize`: a device, FIFO or
// folder would be replaced by a plain file, a larger file cut short, and a link
// to nothing would make a file where the link's owner never meant one to be.
RecordFile InspectRecordFile(const std::filesystem::path& path, std::uintmax_t recordSize);

// How long a lock is waited for, and how. Every attempt is immediate; between
// attempts the wait pauses, so another program that holds the lock for good
// costs at most `limit`, and a stop request ends the wait at the next pause.
struct LockWait {
    static constexpr std::chrono::milliseconds kDefaultLimit{3000};
    static constexpr std::chrono::milliseconds kRetry{20};
    std::chrono::milliseconds limit = kDefaultLimit;
    // Pauses for the given time; false when a stop was requested (the wait ends).
    // Empty: a real sleep that nothing interrupts but the process's end.
    std::function<bool(std::chrono::milliseconds)> pause;

    // One pause as `pause` says; false when the wait is to end now.
    bool Pause(std::chrono::milliseconds duration) const;
};

enum class LockResult {
    Granted,
    Busy,        // another program held it for the whole limit
    Stopped,     // a stop request ended the wait
    NotRegular,  // the lock file's name holds a folder, device, FIFO or a link to nothing
    Failed,      // neither the lock file nor the record could be opened or locked
};

// "<record>.lock": the file whose lock guards the record.
std::filesystem::path LockFilePath(const std::filesystem::path& target);

// Takes the lock that guards the record file `target` (links resolved) against
// other processes, waiting as `wait` says. Its home is "<name>.lock" beside the
// record, made at the first save and kept, because the record itself is
// replaced by rename and a lock on the replaced file would exclude nobody.
// Where that file can be neither opened nor made (a folder the user may not
// write), the record itself is locked: in such a folder no save can make a
// temporary file, so every save writes in place and the record keeps its
// identity. A shared lock never makes a file.
LockResult LockRecordFile(detail::FileLock& lock, const std::filesystem::path& target,
                          detail::LockKind kind, const LockWait& wait);

// Replaces the file with `source` atomically: a temporary file beside it is
// written, flushed and renamed over it, so a crash leaves the old or the new
// contents, never a truncated file. Where no temporary file can be made (a
// folder the user may not write), the bytes are written over the file in place
// and flushed. A symbolic link is written through to its target, and only to a
// regular file of at most the source's size (InspectRecordFile). Temporary
// files that a process killed mid-save left beside the file are removed first,
// so the caller must hold the record's exclusive lock. False on any file error.
bool WriteFileBlock(const std::filesystem::path& path, std::span<const std::uint8_t> source);

}  // namespace korvane::settings
