// Durable file writes on POSIX: open with O_EXCL, write in a loop, fsync; rename,
// then fsync the directory; or write over the file's start, truncate, fsync.
#include "settings/FileSync.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane::settings::detail {

namespace {
constexpr mode_t kNewFileMode = 0666;  // narrowed by the user's umask

// Closes the descriptor on every path out of the function.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_fd; }
    // Closes now so that a close error (delayed write failure) is seen.
    bool Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}
}  // namespace

bool WriteNewFileDurably(const std::filesystem::path& path, std::span<const std::uint8_t> bytes)
{
    Descriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode));
    if (file.Get() < 0) return false;
    if (!WriteAll(file.Get(), bytes)) return false;
    if (::fsync(file.Get()) != 0) return false;
    return file.Close();
}

bool WriteInPlaceDurably(const std::filesystem::path& path, std::span<const std::uint8_t> bytes)
{
    Descriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, kNewFileMode));
    if (file.Get() < 0) return false;
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    if (!WriteAll(file.Get(), bytes)) return false;
    if (::ftruncate(file.Get(), static_cast<off_t>(bytes.size())) != 0) return false;
    if (::fsync(file.Get()) != 0) return false;
    return file.Close();
}

bool ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0) return false;
    // The new directory entry reaches the disk only when the directory is flushed.
    // A failure here is not reported: the data is in place and readable.
    const std::filesystem::path parent = to.parent_path();
    const std::filesystem::path directory = parent.empty() ? "." : parent;
    Descriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) ::fsync(dir.Get());
    return true;
}

}  // namespace korvane::settings::detail
