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

// A file we may not write is still locked through a read-only descriptor; no
// open may block (a FIFO under the name), and only a regular file is used.
int OpenForLocking(const std::filesystem::path& path, bool create)
{
    const int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    int fd = ::open(path.c_str(), O_RDWR | flags | (create ? O_CREAT : 0), kNewFileMode);
    if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | flags);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}
}  // namespace

bool FileLock::Lock(const std::filesystem::path& path, LockKind kind, bool create)
{
    Unlock();
    const int fd = OpenForLocking(path, create);
    if (fd < 0) return false;
    const int operation = kind == LockKind::Exclusive ? LOCK_EX : LOCK_SH;
    int result = 0;
    do {
        result = ::flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        ::close(fd);
        return false;
    }
    m_handle = fd;
    return true;
}

void FileLock::Unlock()
{
    if (!Held()) return;
    // Closing the only descriptor of the open file releases its lock.
    ::close(static_cast<int>(m_handle));
    m_handle = kNoHandle;
}

}  // namespace korvane::settings::detail
