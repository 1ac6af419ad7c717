// The POSIX serial backend: termios raw mode, exclusive use through flock and
// TIOCEXCL, FIONREAD for the waiting count, ppoll() for a read that waits,
// tcflush to discard.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "serial/PortErrors.h"
#include "serial/SerialBackend.h"
#include "serial/SerialError.h"
#include "serial/TermiosSettings.h"

namespace korvane::serial {

namespace {

// A write that makes no progress for this long means the line is stuck.
constexpr int kWriteStallLimitMs = 5000;
// Device numbers of the Unix98 pseudo-terminal slaves (/dev/pts/N).
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;
// Without a stop descriptor to watch, a wait looks at the stop request this often.
constexpr std::chrono::milliseconds kStopLookSlice{50};

std::string Reason(int error)
{
    return std::strerror(error);
}

bool IsGoneError(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV;
}

class PosixSerialBackend : public SerialBackend {
public:
    ~PosixSerialBackend() override { Close(); }

    void Open(const std::string& device, const LineSettings& settings, std::size_t,
              std::size_t) override
    {
        Close();
        const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) throw OpenError(device, errno);
        m_fd = fd;
        m_device = device;
        try {
            Acquire();
            ApplySettings(settings);
            // Nothing received before the open belongs to this session.
            ::tcflush(m_fd, TCIOFLUSH);
        } catch (...) {
            Close();
            throw;
        }
    }

    void Close() override
    {
        if (m_fd < 0) return;
        // Exclusive mode outlives the descriptor on some drivers; give it back.
        ::ioctl(m_fd, TIOCNXCL);
        ::close(m_fd);  // also releases the flock
        m_fd = -1;
    }

    bool IsOpen() const override { return m_fd >= 0; }

    std::size_t BytesWaiting() override
    {
        CheckLine();
        int count = 0;
        if (::ioctl(m_fd, FIONREAD, &count) != 0)
            throw SystemError("count the waiting bytes of", errno);
        return count > 0 ? static_cast<std::size_t>(count) : 0;
    }

    void Write(std::span<const std::uint8_t> bytes) override
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                WaitWritable();
            } else if (n < 0 && errno != EINTR) {
                throw SystemError("write to", errno);
            }
        }
    }

    void DiscardOutput() override
    {
        if (::tcflush(m_fd, TCOFLUSH) != 0) throw SystemError("discard the output of", errno);
    }

    void DiscardInput() override
    {
        // A flush waits for the terminal's buffers to settle, which on a
        // pseudo-terminal costs up to milliseconds: a line with nothing
        // waiting, the common case before each request, is left as it is.
        int count = 0;
        if (::ioctl(m_fd, FIONREAD, &count) == 0 && count == 0) return;
        if (::tcflush(m_fd, TCIFLUSH) != 0) throw SystemError("discard the input of", errno);
    }

private:
    static SerialError OpenError(const std::string& device, int error)
    {
        switch (error) {
            case ENOENT:
            case ENODEV:
            case ENXIO:
                return PortMissingError(device, Reason(error));
            case EBUSY:
                return PortBusyError(device);
            case EACCES:
            case EPERM:
                return PortPermissionError(device, Reason(error));
            default:
                return PortOpenFailedError(device, Reason(error));
        }
    }

    SerialError SystemError(const char* action, int error) const
    {
        if (IsGoneError(error)) return GoneError(error);
        return SerialError(SerialErrorKind::Io, "Could not " + std::string(action) +
                                                    " the serial port " + m_device + " (" +
                                                    Reason(error) + ").");
    }

    SerialError GoneError(int error) const
    {
        return SerialError(SerialErrorKind::DeviceGone,
                           "The serial port " + m_device + " has gone away (" + Reason(error) +
                               "). Check the cable, then close the port and open it again.");
    }

    // Exclusive use: flock keeps out programs that honour advisory locks,
    // TIOCEXCL keeps out any further open of the terminal.
    void Acquire()
    {
        if (!::isatty(m_fd)) {
            throw NotASerialPortError(m_device);
        }
        if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) throw PortBusyError(m_device);
            throw SystemError("lock", errno);
        }
        if (::ioctl(m_fd, TIOCEXCL) != 0) throw SystemError("reserve", errno);
    }

    bool IsPseudoTerminal() const
    {
        struct stat info {};
        if (::fstat(m_fd, &info) != 0) return false;
        const unsigned major = ::major(info.st_rdev);
        return major >= kPtySlaveMajorFirst && major <= kPtySlaveMajorLast;
    }

    void ApplySettings(const LineSettings& settings)
    {
        termios current{};
        if (::tcgetattr(m_fd, &current) != 0) throw SystemError("read the settings of", errno);
        const termios wanted = BuildTermios(current, settings);
        // A pseudo-terminal has no parity: its driver clears the flag, and the
        // kernel refuses a change that differs from the present state only in
        // parity with EINVAL. That refusal costs nothing on a pty, so go on.
        const bool pty = IsPseudoTerminal();
        if (::tcsetattr(m_fd, TCSANOW, &wanted) != 0) {
            if (!pty || errno != EINVAL) throw SettingsError(settings, Reason(errno));
            termios withoutParity = wanted;
            withoutParity.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
            if (::tcsetattr(m_fd, TCSANOW, &withoutParity) != 0 && errno != EINVAL)
                throw SettingsError(settings, Reason(errno));
        }

        termios applied{};
        if (::tcgetattr(m_fd, &applied) != 0) throw SystemError("read the settings of", errno);
        if (!Matches(applied, wanted, pty)) {
            throw SettingsError(settings, "the device kept other settings");
        }
    }

    static bool Matches(const termios& applied, const termios& wanted, bool pty)
    {
        tcflag_t checked = CSIZE | CSTOPB | CLOCAL | CREAD | CRTSCTS;
        if (!pty) checked |= PARENB | PARODD | CMSPAR;
        const tcflag_t rawLocal = ICANON | ECHO | ISIG | IEXTEN;
        return cfgetispeed(&applied) == cfgetispeed(&wanted) &&
               cfgetospeed(&applied) == cfgetospeed(&wanted) &&
               (applied.c_cflag & checked) == (wanted.c_cflag & checked) &&
               (applied.c_lflag & rawLocal) == 0 && (applied.c_oflag & OPOST) == 0;
    }

    SerialError SettingsError(const LineSettings& settings, const std::string& reason) const
    {
        return SerialError(SerialErrorKind::BadSettings,
                           "The serial port " + m_device + " refused the line settings (" +
                               std::to_string(settings.baud) + " baud, " +
                               std::to_string(settings.dataBits) + " data bits, " +
                               std::to_string(settings.stopBits) + " stop bits): " + reason + ".");
    }

    // Hang-up shows as POLLHUP/POLLERR rather than as an error of FIONREAD.
    void CheckLine() override
    {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 0) < 0) throw SystemError("watch", errno);
        if (p.revents & POLLNVAL) throw GoneError(EBADF);
        if (p.revents & (POLLHUP | POLLERR)) throw GoneError(EIO);
    }

    // Appends what waits, up to `most` bytes in all: reads until the
    // descriptor has nothing more, with no count asked first.
    void TakeWaiting(std::vector<std::uint8_t>& bytes, std::size_t most) override
    {
        while (bytes.size() < most) {
            const std::size_t start = bytes.size();
            bytes.resize(most);
            const ssize_t n = ::read(m_fd, bytes.data() + start, most - start);
            bytes.resize(start + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
            if (n > 0) continue;
            // A raw terminal reads as empty when nothing waits; a hang-up
            // shows in the wait that follows, or in the next count.
            if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) return;
            if (errno != EINTR) throw SystemError("read from", errno);
        }
    }

    // Returns when a byte has come, a stop is signalled or `left` has
    // passed; a line that hangs up meanwhile is a lost device.
    void AwaitBytes(std::vector<std::uint8_t>&, std::chrono::nanoseconds left,
                    ISleeper& stop) override
    {
        const int stopDescriptor = stop.StopDescriptor();
        if (stopDescriptor < 0) left = std::min<std::chrono::nanoseconds>(left, kStopLookSlice);
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
        const timespec timeout{static_cast<time_t>(seconds.count()),
                               static_cast<long>((left - seconds).count())};
        std::array<pollfd, 2> fds{{{m_fd, POLLIN, 0}, {stopDescriptor, POLLIN, 0}}};
        const nfds_t count = stopDescriptor < 0 ? 1 : 2;
        if (::ppoll(fds.data(), count, &timeout, nullptr) < 0 && errno != EINTR)
            throw SystemError("watch", errno);
        if (fds[0].revents & POLLNVAL) throw GoneError(EBADF);
        if (fds[0].revents & (POLLHUP | POLLERR)) throw GoneError(EIO);
    }

    void WaitWritable() const
    {
        pollfd p{m_fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, kWriteStallLimitMs);
        if (ready < 0 && errno != EINTR) throw SystemError("watch", errno);
        if (ready == 0) {
            throw SerialError(SerialErrorKind::Io,
                              "The serial port " + m_device + " took no bytes for " +
                                  std::to_string(kWriteStallLimitMs / 1000) + " s.");
        }
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) throw GoneError(EIO);
    }

    int m_fd = -1;
    std::string m_device;
};

}  // namespace

std::unique_ptr<SerialBackend> MakePlatformBackend()
{
    return std::make_unique<PosixSerialBackend>();
}

}  // namespace korvane::serial
