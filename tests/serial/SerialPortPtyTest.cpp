// The port's waiting read through the real POSIX backend, on a pseudo-terminal
// whose master side the test plays: it wakes on the byte, keeps its deadline,
// and ends at once on a stop or a hang-up.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "serial/LineSettings.h"
#include "serial/SerialError.h"
#include "serial/SerialPort.h"
#include "tests/support/Pty.h"

namespace korvane::serial {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using testing::Pty;

class SerialPortPtyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port.Open(pty.SlavePath(), ParseLineSettings("115200,E,8,1"), 1024, 1024);
    }

    // Runs `action` on another thread after `delay`, joined by the fixture.
    void After(std::chrono::milliseconds delay, std::function<void()> action)
    {
        if (helper.joinable()) helper.join();
        helper = std::thread([delay, action = std::move(action)] {
            std::this_thread::sleep_for(delay);
            action();
        });
    }
    void TearDown() override
    {
        if (helper.joinable()) helper.join();
    }

    Pty pty;
    SerialPort port;
    StoppableSleeper sleeper;
    std::thread helper;
};

// Real time: each limit leaves seconds of room against the few milliseconds asked.
TEST_F(SerialPortPtyTest, AWaitingReadReturnsWhenItsBytesHaveComeNotAtItsDeadline)
{
    After(100ms, [this] { pty.Write(Bytes{0x79}); });
    const auto start = Clock::now();
    EXPECT_EQ(port.Read(1, 20s, sleeper), Bytes{0x79});
    EXPECT_LT(Clock::now() - start, 10s);

    // Bytes that come in parts are gathered until the last one is there.
    After(0ms, [this] {
        pty.Write(Bytes{1, 2});
        std::this_thread::sleep_for(50ms);
        pty.Write(Bytes{3});
    });
    EXPECT_EQ(port.Read(3, 20s, sleeper), (Bytes{1, 2, 3}));

    // More than wanted stays for the next read.
    pty.Write(Bytes{4, 5, 6});
    EXPECT_EQ(port.Read(2, 20s, sleeper), (Bytes{4, 5}));
    EXPECT_EQ(port.Read(5, 0s, sleeper), Bytes{6});
}

TEST_F(SerialPortPtyTest, AShortReplyIsWhatCameByTheDeadline)
{
    pty.Write(Bytes{0x79});
    const auto start = Clock::now();
    EXPECT_EQ(port.Read(2, 200ms, sleeper), Bytes{0x79});
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 200ms);
    EXPECT_LT(took, 10s);
    EXPECT_TRUE(port.Read(1, 0s, sleeper).empty());
}

TEST_F(SerialPortPtyTest, AStopEndsTheWaitAtOnce)
{
    After(100ms, [this] { sleeper.RequestStop(); });
    const auto start = Clock::now();
    EXPECT_THROW(port.Read(1, 60s, sleeper), StopRequested);
    EXPECT_LT(Clock::now() - start, 30s);
    // Once the stop is taken back, the port waits again.
    if (helper.joinable()) helper.join();
    sleeper.Reset();
    pty.Write(Bytes{0x79});
    EXPECT_EQ(port.Read(1, 20s, sleeper), Bytes{0x79});
}

TEST_F(SerialPortPtyTest, AHangUpDuringTheWaitIsALostDevice)
{
    After(100ms, [this] { pty.CloseMaster(); });
    const auto start = Clock::now();
    try {
        port.Read(1, 60s, sleeper);
        ADD_FAILURE() << "the read outlived the hang-up";
    } catch (const SerialError& e) {
        EXPECT_EQ(e.SerialKind(), SerialErrorKind::DeviceGone);
    }
    EXPECT_LT(Clock::now() - start, 30s);
}

}  // namespace
}  // namespace korvane::serial
