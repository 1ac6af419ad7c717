// Building the termios structure for a set of line settings (POSIX backend).
#include "serial/TermiosSettings.h"

#include <array>
#include <string>
#include <utility>

#include "serial/SerialError.h"

namespace korvane::serial {

namespace {

constexpr std::array<std::pair<std::uint32_t, speed_t>, 22> kSpeeds{{
    {50, B50},         {75, B75},           {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},         {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},       {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200},   {230400, B230400}, {460800, B460800}, {500000, B500000},
    {921600, B921600}, {1000000, B1000000},
}};

tcflag_t DataBitsFlag(std::uint8_t dataBits)
{
    switch (dataBits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

tcflag_t ParityFlags(Parity parity)
{
    switch (parity) {
        case Parity::Even:
            return PARENB;
        case Parity::Odd:
            return PARENB | PARODD;
        // Mark and space parity are the "stick" variants of odd and even.
        case Parity::Mark:
            return PARENB | CMSPAR | PARODD;
        case Parity::Space:
            return PARENB | CMSPAR;
        case Parity::None:
            break;
    }
    return 0;
}

}  // namespace

speed_t BaudToSpeed(std::uint32_t baud)
{
    for (const auto& [rate, speed] : kSpeeds) {
        if (rate == baud) return speed;
    }
    throw SerialError(
        SerialErrorKind::BadSettings,
        "The baud rate " + std::to_string(baud) + " is not offered by this system's serial ports.");
}

termios BuildTermios(const termios& current, const LineSettings& settings)
{
    termios t = current;
    // Raw input: no break or parity-error marking, no stripping, no CR/NL
    // translation, no software flow control. Input parity checking stays off,
    // so a byte with a parity error is delivered as received.
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | INPCK | IGNPAR);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    // CLOCAL: the modem lines are not used; CREAD: enable the receiver.
    t.c_cflag |= DataBitsFlag(settings.dataBits) | ParityFlags(settings.parity) | CLOCAL | CREAD;
    if (settings.stopBits == 2) t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    const speed_t speed = BaudToSpeed(settings.baud);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return t;
}

}  // namespace korvane::serial
