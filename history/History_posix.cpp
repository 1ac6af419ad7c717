// The history's locked append and local time on POSIX: O_APPEND puts every
// write at the end, and flock keeps the first line's header and a line longer
// than one write apart from other appenders.
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/TextEncoding.h"
#include "error/Error.h"
#include "history/History.h"
#include "history/HistoryText.h"

namespace korvane::history::detail {

namespace {
constexpr mode_t kNewFileMode = 0666;  // narrowed by the user's umask
// A history held locked longer than this by another program is given up on: a
// job's line is never worth holding the radio's result back.
constexpr auto kLockLimit = std::chrono::seconds(3);
constexpr auto kLockRetry = std::chrono::milliseconds(20);

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

private:
    int m_fd;
};

std::string Reason(int error)
{
    return std::strerror(error);
}

[[noreturn]] void Fail(std::int32_t id, std::string_view english, const std::filesystem::path& file,
                       const std::string& reason)
{
    throw FileError(settings::OwnText(id, english, {base::PathToUtf8(file), reason}),
                    settings::OwnText(kTextHint,
                                      "The job itself is not affected; check that the folder "
                                      "can be written, or give another file with --history."));
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}
}  // namespace

void AppendLocked(const std::filesystem::path& file, std::string_view header,
                  std::string_view bytes)
{
    // O_NONBLOCK: a FIFO put under the name must not hang the job's end.
    const Descriptor fd(::open(file.c_str(),
                               O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK,
                               kNewFileMode));
    if (fd.Get() < 0)
        Fail(kTextCannotOpen, "Cannot open the history {0}: {1}.", file, Reason(errno));
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        Fail(kTextNotRegular, "The history {0} is not a regular file.", file, "");
    const auto giveUp = std::chrono::steady_clock::now() + kLockLimit;
    while (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            Fail(kTextCannotWrite, "Cannot write the history {0}: {1}.", file, Reason(errno));
        if (std::chrono::steady_clock::now() >= giveUp)
            Fail(kTextBusy, "The history {0} is held by another program.", file, "");
        std::this_thread::sleep_for(kLockRetry);
    }
    // Under the lock, an empty file is one nobody has started: it gets the header.
    if (::fstat(fd.Get(), &info) != 0)
        Fail(kTextCannotWrite, "Cannot write the history {0}: {1}.", file, Reason(errno));
    std::string line;
    if (info.st_size == 0) line = header;
    line += bytes;
    if (!WriteAll(fd.Get(), line))
        Fail(kTextCannotWrite, "Cannot write the history {0}: {1}.", file, Reason(errno));
}

LocalTime ToLocalTime(std::int64_t seconds)
{
    const auto when = static_cast<std::time_t>(seconds);
    std::tm t{};
    ::localtime_r(&when, &t);
    return {t.tm_year + 1900,
            t.tm_mon + 1,
            t.tm_mday,
            t.tm_hour,
            t.tm_min,
            t.tm_sec,
            static_cast<std::int64_t>(t.tm_gmtoff)};
}

}  // namespace korvane::history::detail
