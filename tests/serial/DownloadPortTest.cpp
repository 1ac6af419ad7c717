// Opening the port for a download through the real POSIX backend on a
// pseudo-terminal: the download's line is what the terminal gets, a port open
// before is closed first, and a refused open says what failed and, apart from
// it, what to try.
#include <gtest/gtest.h>

#include <termios.h>

#include <functional>
#include <string>

#include "serial/CMscomm.h"
#include "serial/DownloadPort.h"
#include "serial/SerialError.h"
#include "tests/support/Pty.h"

namespace korvane::serial {
namespace {

using testing::Pty;

PortResolver NoNumbers()
{
    return [](int number) -> std::string {
        throw SerialError(SerialErrorKind::NoSuchPort, "no port " + std::to_string(number));
    };
}

TEST(DownloadPort, OpensWithTheDownloadLineAndClosesAPortOpenBefore)
{
    Pty first;
    Pty second;
    CMscomm port(MakePlatformBackend(), NoNumbers());
    ASSERT_EQ(OpenPortForDownload(port, first.SlavePath()), DownloadPortOpen::Opened);
    ASSERT_EQ(OpenPortForDownload(port, second.SlavePath()), DownloadPortOpen::Opened);
    EXPECT_EQ(port.DeviceName(), second.SlavePath());
    termios applied{};
    ASSERT_EQ(tcgetattr(second.MasterFd(), &applied), 0);
    EXPECT_EQ(cfgetispeed(&applied), static_cast<speed_t>(B115200));
    EXPECT_EQ(applied.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(applied.c_lflag & (ICANON | ECHO));
    // The first port was released: another user may take it now.
    CMscomm other(MakePlatformBackend(), NoNumbers());
    EXPECT_EQ(OpenPortForDownload(other, first.SlavePath()), DownloadPortOpen::Opened);
}

TEST(DownloadPort, ARefusedOpenKeepsMessageAndHintApart)
{
    Pty held;
    CMscomm holder(MakePlatformBackend(), NoNumbers());
    OpenPortForDownload(holder, held.SlavePath());
    struct Case {
        std::string device;
        SerialErrorKind kind;
        std::string hintPart;
    };
    for (const Case& c : {Case{"/dev/ttyKorvaneNone0", SerialErrorKind::NoSuchPort, "plugged in"},
                          Case{"/dev/null", SerialErrorKind::NoSuchPort, "serial adapter"},
                          Case{held.SlavePath(), SerialErrorKind::Busy, "Close that program"}}) {
        SCOPED_TRACE(c.device);
        CMscomm port(MakePlatformBackend(), NoNumbers());
        try {
            OpenPortForDownload(port, c.device);
            ADD_FAILURE() << "opened";
        } catch (const SerialError& error) {
            const std::string message = error.what();
            EXPECT_EQ(error.SerialKind(), c.kind);
            EXPECT_NE(message.find(c.device), std::string::npos) << message;
            EXPECT_NE(error.Hint().find(c.hintPart), std::string::npos) << error.Hint();
            EXPECT_EQ(message.find(error.Hint()), std::string::npos) << message;
        }
        EXPECT_FALSE(port.GetPortOpen());
    }
}

}  // namespace
}  // namespace korvane::serial
