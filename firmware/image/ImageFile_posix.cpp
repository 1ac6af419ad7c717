// Image files on POSIX: a regular file or nothing. A pipe or a device is
// refused before it is opened, because opening or reading one can block for
// ever (a FIFO with no writer) or never end (/dev/zero).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "firmware/image/ImageFile.h"

namespace korvane::firmware::detail {

namespace {

constexpr std::size_t kGrowStep = 64 * 1024;

std::string Reason(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() { ::close(m_fd); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

}  // namespace

std::vector<std::uint8_t> ReadRegularFile(const std::filesystem::path& path, std::size_t limit)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) ThrowCannotOpen(path, Reason(errno));
    if (!S_ISREG(info.st_mode)) ThrowNotRegular(path, S_ISDIR(info.st_mode));

    // Should the name have been given to a pipe since the check, O_NONBLOCK
    // keeps the open from waiting for a writer, and the check below refuses it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) ThrowCannotOpen(path, Reason(errno));
    const FileDescriptor file(fd);
    if (::fstat(file.Get(), &info) != 0) ThrowCannotRead(path, Reason(errno));
    if (!S_ISREG(info.st_mode)) ThrowNotRegular(path, S_ISDIR(info.st_mode));

    // Sized for the file as measured, grown should it have grown meanwhile.
    const auto measured = static_cast<std::size_t>(std::max<off_t>(info.st_size, 0));
    std::vector<std::uint8_t> bytes(std::min(limit, measured + 1));
    std::size_t length = 0;
    while (length < limit) {
        if (length == bytes.size()) {
            bytes.resize(std::min(limit, std::max(bytes.size() * 2, kGrowStep)));
        }
        const ssize_t n = ::read(file.Get(), bytes.data() + length, bytes.size() - length);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowCannotRead(path, Reason(errno));
        }
        if (n == 0) break;
        length += static_cast<std::size_t>(n);
    }
    bytes.resize(length);
    return bytes;
}

}  // namespace korvane::firmware::detail
