// A pseudo-terminal pair for device tests (master side played by the test).
#include "tests/support/Pty.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace korvane::testing {

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void ThrowSystem(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

// While no one holds the slave open, the master reports a hang-up at once;
// this pause keeps the wait for data from spinning.
constexpr std::chrono::milliseconds kHangUpPause{1};
// How much one read of ReadAll takes at most; it loops for more.
constexpr std::size_t kReadChunk = 4096;

}  // namespace

Pty::Pty()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) ThrowSystem("posix_openpt");
    unsigned number = 0;
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
        ::ioctl(m_master, TIOCGPTN, &number) != 0) {
        const int error = errno;
        ::close(m_master);
        throw std::system_error(error, std::generic_category(), "preparing the pty slave");
    }
    m_slavePath = "/dev/pts/" + std::to_string(number);
}

Pty::~Pty()
{
    CloseMaster();
}

void Pty::CloseMaster()
{
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
}

void Pty::Write(std::span<const std::uint8_t> bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            ThrowSystem("write to the pty master");
        }
    }
}

std::vector<std::uint8_t> Pty::ReadOnce(std::size_t most, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (true) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return {};
        pollfd p{m_master, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) ThrowSystem("poll on the pty master");
        if (ready <= 0) continue;
        if (p.revents & POLLIN) {
            std::vector<std::uint8_t> chunk(most);
            const ssize_t n = ::read(m_master, chunk.data(), chunk.size());
            if (n > 0) {
                chunk.resize(static_cast<std::size_t>(n));
                return chunk;
            }
        }
        std::this_thread::sleep_for(kHangUpPause);
    }
}

std::vector<std::uint8_t> Pty::Read(std::size_t count, std::chrono::milliseconds timeout)
{
    std::vector<std::uint8_t> bytes;
    const auto deadline = Clock::now() + timeout;
    while (bytes.size() < count && Clock::now() < deadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const std::vector<std::uint8_t> chunk = ReadOnce(count - bytes.size(), left);
        bytes.insert(bytes.end(), chunk.begin(), chunk.end());
    }
    return bytes;
}

std::vector<std::uint8_t> Pty::ReadAll(std::chrono::milliseconds timeout,
                                       std::chrono::milliseconds settle)
{
    std::vector<std::uint8_t> bytes;
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        const std::vector<std::uint8_t> chunk = ReadOnce(kReadChunk, settle);
        if (chunk.empty() && !bytes.empty()) break;
        bytes.insert(bytes.end(), chunk.begin(), chunk.end());
    }
    return bytes;
}

}  // namespace korvane::testing
