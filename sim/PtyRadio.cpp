// Serving the simulated radio on a pseudo-terminal master: read what the
// program writes, hand it to the engine with the time it came, write the
// answers when they are due. A hang-up closes the master. On a simulated wire
// the engine times every byte; the thread wakes when the next one is due, and
// takes a long run of bytes in steps of a millisecond rather than one by one.
#include "sim/PtyRadio.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <system_error>

namespace korvane::sim {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kIdlePoll = std::chrono::milliseconds(100);
// A run of bytes on the wire is handed over in steps of this, its last byte on time.
constexpr SimTime kWireStep = std::chrono::milliseconds(1);
constexpr std::size_t kReadChunk = 8192;

[[noreturn]] void ThrowSystem(int error, const char* what)
{
    throw std::system_error(error, std::generic_category(), what);
}

const Clock::time_point kEpoch = Clock::now();

SimTime Now()
{
    return std::chrono::duration_cast<SimTime>(Clock::now() - kEpoch);
}

void CloseFd(int& fd)
{
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

PtyRadio::PtyRadio(SimOptions options) : m_radio(std::move(options))
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) ThrowSystem(errno, "opening a pseudo-terminal");
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        const int error = errno;
        CloseFd(m_master);
        ThrowSystem(error, "unlocking the pseudo-terminal");
    }
    const char* name = ::ptsname(m_master);
    m_slavePath = name != nullptr ? name : "";
    m_slaveHold = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slaveHold < 0 || ::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        const int error = errno;
        CloseFd(m_slaveHold);
        CloseFd(m_master);
        ThrowSystem(error, "preparing the pseudo-terminal");
    }
    // Raw from the start, so nothing is echoed or translated before the
    // program configures the port itself.
    termios raw{};
    if (::tcgetattr(m_slaveHold, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(m_slaveHold, TCSANOW, &raw);
    }
    m_thread = std::thread(&PtyRadio::Serve, this);
}

PtyRadio::~PtyRadio()
{
    Stop();
    CloseFd(m_wake[0]);
    CloseFd(m_wake[1]);
    CloseFd(m_slaveHold);
    CloseFd(m_master);
}

void PtyRadio::Stop()
{
    if (!m_thread.joinable()) return;
    const char wake = 1;
    (void)!::write(m_wake[1], &wake, 1);
    m_thread.join();
}

SimResults PtyRadio::Results() const
{
    std::lock_guard lock(m_mutex);
    return m_radio.Results();
}

bool PtyRadio::Quiet() const
{
    std::lock_guard lock(m_mutex);
    return !m_radio.NextDue().has_value();
}

void PtyRadio::Serve()
{
    while (true) {
        std::chrono::nanoseconds timeout = kIdlePoll;
        {
            std::lock_guard lock(m_mutex);
            if (const auto due = m_radio.NextDue(kWireStep)) {
                timeout = std::clamp<std::chrono::nanoseconds>(*due - Now(), {}, kIdlePoll);
            }
        }
        const timespec wait{0, static_cast<long>(timeout.count())};
        std::array<pollfd, 2> fds{{{m_wake[0], POLLIN, 0}, {m_master, POLLIN, 0}}};
        const nfds_t count = m_master >= 0 ? 2 : 1;
        if (::ppoll(fds.data(), count, &wait, nullptr) < 0 && errno != EINTR) return;
        if (fds[0].revents != 0) return;  // asked to stop
        if (m_master >= 0 && (fds[1].revents & POLLIN) != 0) {
            std::array<std::uint8_t, kReadChunk> chunk;
            const ssize_t n = ::read(m_master, chunk.data(), chunk.size());
            if (n > 0) {
                std::lock_guard lock(m_mutex);
                m_radio.Receive(std::span(chunk.data(), static_cast<std::size_t>(n)), Now());
            }
        }
        WriteDue();
    }
}

void PtyRadio::WriteDue()
{
    std::vector<std::uint8_t> due;
    bool hungUp = false;
    {
        std::lock_guard lock(m_mutex);
        due = m_radio.TakeDue(Now());
        hungUp = m_radio.HungUp();
    }
    if (m_master < 0) return;
    if (hungUp) return HangUp();
    std::size_t done = 0;
    while (done < due.size()) {
        const ssize_t n = ::write(m_master, due.data() + done, due.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return;
        }
    }
}

void PtyRadio::HangUp()
{
    // Closing the master hangs up the slave: the program's next operation on
    // the port fails as it does when a USB adapter is pulled.
    CloseFd(m_master);
    CloseFd(m_slaveHold);
}

}  // namespace korvane::sim
