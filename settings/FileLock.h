// An advisory lock on a file that spans processes, one implementation per
// platform (FileLock_posix.cpp with flock, FileLock_win32.cpp with LockFileEx).
// Attempts never wait: whoever needs the lock loops with a limit of its own, so
// another program that holds it can never hang this one.
#pragma once

#include <cstdint>
#include <filesystem>

namespace korvane::settings::detail {

enum class LockKind { Shared, Exclusive };

// How opening the file to lock went.
enum class LockOpen {
    Opened,
    NotRegular,  // the name holds a folder, device, FIFO or a link to nothing: never used
    Failed,      // absent (and not to be made) or not openable (rights, a folder we may not write)
};

// How one attempt at the lock went.
enum class LockAttempt { Granted, Busy, Failed };

// Held from a successful TryLock until Unlock or destruction. Each object opens
// the file anew, so two objects exclude each other even within one process.
class FileLock {
public:
    FileLock() = default;
    ~FileLock() { Unlock(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Opens the regular file at `path` (a link to one is followed). With
    // `create`, an absent name gets a new empty file, but a link to nothing is
    // never followed to make its target. Nothing but a regular file is opened.
    LockOpen Open(const std::filesystem::path& path, bool create);
    // One attempt at the lock on the opened file; never waits.
    LockAttempt TryLock(LockKind kind);
    // Releases the lock and closes the file.
    void Unlock();
    bool IsOpen() const { return m_handle != kNoHandle; }

private:
    static constexpr std::intptr_t kNoHandle = -1;  // -1 is no descriptor and no HANDLE
    std::intptr_t m_handle = kNoHandle;
};

}  // namespace korvane::settings::detail
