// An advisory lock on a file that spans processes, one implementation per
// platform (FileLock_posix.cpp with flock, FileLock_win32.cpp with LockFileEx).
#pragma once

#include <cstdint>
#include <filesystem>

namespace korvane::settings::detail {

enum class LockKind { Shared, Exclusive };

// Held from a successful Lock until Unlock or destruction. Each object opens the
// file anew, so two objects exclude each other even within one process.
class FileLock {
public:
    FileLock() = default;
    ~FileLock() { Unlock(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Waits until the lock on the regular file at `path` is granted. With
    // `create`, an absent file is made (empty). False when the file cannot be
    // opened (or made) or the system refuses the lock.
    bool Lock(const std::filesystem::path& path, LockKind kind, bool create);
    void Unlock();
    bool Held() const { return m_handle != kNoHandle; }

private:
    static constexpr std::intptr_t kNoHandle = -1;  // -1 is no descriptor and no HANDLE
    std::intptr_t m_handle = kNoHandle;
};

}  // namespace korvane::settings::detail
