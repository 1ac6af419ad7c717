// The lock across processes on POSIX: flock on a descriptor of our own. flock
// belongs to the open file, not to the process, so two threads that each open
// the file exclude each other too.
#include "settings/FileLock.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane::settings::detail {

namespace {
constexpr mode_t kNewFileMode = 0666;  // narrowed by the user's umask
// No open may block (a FIFO made under the name after our check) or take a terminal.
constexpr int kOpenFlags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

int OpenExisting(const std::filesystem::path& path)
{
    // A file we may not write is still locked through a read-only descriptor.
    const int fd = ::open(path.c_str(), O_RDWR | kOpenFlags);
    if (fd >= 0 || errno == ENOENT) return fd;
    return ::open(path.c_str(), O_RDONLY | kOpenFlags);
}
}  // namespace

LockOpen FileLock::Open(const std::filesystem::path& path, bool create)
{
    Unlock();
    // Something other than a regular file under the name is never opened:
    // opening a device can have effects of its own.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return LockOpen::NotRegular;
    int fd = OpenExisting(path);
    if (fd < 0 && errno == ENOENT) {
        // The name is there but leads nowhere: a link to nothing, whose target we never make.
        if (::lstat(path.c_str(), &info) == 0) return LockOpen::NotRegular;
        if (!create) return LockOpen::Failed;
        // O_EXCL: a link put under the name meanwhile is not followed either.
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | kOpenFlags, kNewFileMode);
        if (fd < 0 && errno == EEXIST) fd = OpenExisting(path);
    }
    if (fd < 0) return LockOpen::Failed;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return LockOpen::NotRegular;
    }
    m_handle = fd;
    return LockOpen::Opened;
}

LockAttempt FileLock::TryLock(LockKind kind)
{
    if (!IsOpen()) return LockAttempt::Failed;
    const int operation = (kind == LockKind::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    int result = 0;
    do {
        result = ::flock(static_cast<int>(m_handle), operation);
    } while (result != 0 && errno == EINTR);
    if (result == 0) return LockAttempt::Granted;
    return errno == EWOULDBLOCK ? LockAttempt::Busy : LockAttempt::Failed;
}

void FileLock::Unlock()
{
    if (!IsOpen()) return;
    // Closing the only descriptor of the open file releases its lock.
    ::close(static_cast<int>(m_handle));
    m_handle = kNoHandle;
}

}  // namespace korvane::settings::detail
