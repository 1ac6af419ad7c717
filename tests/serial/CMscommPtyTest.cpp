// The serial control through the real POSIX backend, on a pseudo-terminal
// whose master side the test plays.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <numeric>
#include <thread>

#include "serial/ByteExchange.h"
#include "serial/CMscomm.h"
#include "serial/SerialError.h"
#include "tests/support/Pty.h"

namespace korvane::serial {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using testing::Pty;

constexpr std::int16_t kQueueSize = 1024;

// Runs `call` and returns the kind of SerialError it threw; fails the test if none.
SerialErrorKind ErrorKindOf(const std::function<void()>& call, std::string* message = nullptr)
{
    try {
        call();
    } catch (const SerialError& e) {
        if (message) *message = e.what();
        return e.SerialKind();
    }
    ADD_FAILURE() << "no SerialError";
    return SerialErrorKind::Io;
}

class CMscommPtyTest : public ::testing::Test {
protected:
    // The port list of this test: number 1 is the pty, any other number is none.
    PortResolver Resolver()
    {
        return [this](int number) -> std::string {
            if (number == 1) return pty.SlavePath();
            throw SerialError(SerialErrorKind::NoSuchPort, "no port " + std::to_string(number));
        };
    }

    void Configure(CMscomm& target, std::string_view settings = "115200,E,8,1")
    {
        target.SetCommPort(1);
        target.SetInBufferSize(kQueueSize);
        target.SetOutBufferSize(kQueueSize);
        target.SetInputLen(0);
        target.SetInputMode(1);
        target.SetRThreshold(1);
        target.SetSettings(settings);
    }

    void OpenPort(CMscomm& target, std::string_view settings = "115200,E,8,1")
    {
        Configure(target, settings);
        target.SetPortOpen(true);
    }

    // Polls the waiting count until `count` bytes are there (the pty delivers asynchronously).
    static void WaitForBytes(CMscomm& port, int count)
    {
        for (int i = 0; i < 1000 && port.GetInBufferCount() < count; ++i)
            std::this_thread::sleep_for(5ms);
    }

    Pty pty;
    CMscomm port{MakePlatformBackend(), Resolver()};
};

TEST_F(CMscommPtyTest, TakeInputWithNothingWaitingIsEmpty)
{
    OpenPort(port);
    EXPECT_TRUE(port.GetPortOpen());
    EXPECT_EQ(port.GetInBufferCount(), 0);
    EXPECT_TRUE(port.GetInput().empty());
    EXPECT_EQ(port.DeviceName(), pty.SlavePath());
}

TEST_F(CMscommPtyTest, LargeWriteArrivesCompleteAndInOrder)
{
    OpenPort(port);
    Bytes block(4099);
    std::iota(block.begin(), block.end(), std::uint8_t{0});
    port.SetOutput(block);
    EXPECT_EQ(pty.Read(block.size(), 5s), block);
}

TEST_F(CMscommPtyTest, ReceivedBytesAreDeliveredUnchangedInQueueSizedTakes)
{
    OpenPort(port);
    // Bytes a cooked terminal would translate or act on must come through as sent.
    Bytes sent{'\r', '\n', 0x03, 0x11, 0x13, 0x7F, 0x00, 0xFF};
    sent.resize(1500, 0x79);
    pty.Write(sent);
    WaitForBytes(port, kQueueSize);
    std::this_thread::sleep_for(50ms);

    // One take is at most the receive queue's size; the rest stays waiting.
    EXPECT_EQ(port.GetInBufferCount(), kQueueSize);
    Bytes received = port.GetInput();
    EXPECT_EQ(received.size(), static_cast<std::size_t>(kQueueSize));
    WaitForBytes(port, static_cast<int>(sent.size()) - kQueueSize);
    const Bytes rest = port.GetInput();
    received.insert(received.end(), rest.begin(), rest.end());
    EXPECT_EQ(received, sent);
}

TEST_F(CMscommPtyTest, SendDropsEveryWaitingByteNotOnlyOneQueueful)
{
    OpenPort(port);
    pty.Write(Bytes(8000, 0x21));  // a flood: eight queuefuls
    WaitForBytes(port, kQueueSize);
    std::this_thread::sleep_for(100ms);
    StoppableSleeper sleeper;
    ByteExchange exchange(port.Port(), sleeper);
    const Bytes request{0x00, 0x07};
    exchange.SendBytes(request.data(), 2);
    EXPECT_EQ(pty.Read(2, 2s), request);
    // Nothing of the flood is left to be read as the reply to the request.
    EXPECT_TRUE(exchange.Receive(1, 2).Empty());
}

TEST_F(CMscommPtyTest, LineSettingsAreAppliedToTheTerminal)
{
    const std::vector<std::pair<const char*, speed_t>> cases = {
        {"115200,E,8,1", B115200}, {"9600,N,8,1", B9600}, {"115200,E,8,1", B115200}};
    for (const auto& [settings, speed] : cases) {
        SCOPED_TRACE(settings);
        OpenPort(port, settings);
        // The master reads the slave's settings.
        termios applied{};
        ASSERT_EQ(tcgetattr(pty.MasterFd(), &applied), 0);
        EXPECT_EQ(cfgetospeed(&applied), speed);
        EXPECT_EQ(cfgetispeed(&applied), speed);
        EXPECT_EQ(applied.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(applied.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
        EXPECT_FALSE(applied.c_cflag & CRTSCTS);
        EXPECT_FALSE(applied.c_lflag & (ICANON | ECHO | ISIG));
        EXPECT_FALSE(applied.c_iflag & (ICRNL | IXON));
        EXPECT_FALSE(applied.c_oflag & OPOST);
        port.SetPortOpen(false);
    }
}

TEST_F(CMscommPtyTest, PortNumberZeroFails)
{
    std::string message;
    EXPECT_EQ(ErrorKindOf([&] { port.SetCommPort(0); }, &message), SerialErrorKind::NoSuchPort);
    EXPECT_NE(message.find("port number 0"), std::string::npos) << message;
    // A number without a device fails at the latest when the port is opened.
    port.SetCommPort(2);
    EXPECT_EQ(ErrorKindOf([&] { port.SetPortOpen(true); }), SerialErrorKind::NoSuchPort);
    EXPECT_FALSE(port.GetPortOpen());
}

TEST_F(CMscommPtyTest, MissingOrUnsuitableDeviceFailsNamingIt)
{
    const std::vector<std::string> devices = {"/dev/ttyKorvaneNone0", "/dev/null"};
    for (const std::string& device : devices) {
        SCOPED_TRACE(device);
        port.SetDevicePath(device);
        std::string message;
        EXPECT_EQ(ErrorKindOf([&] { port.SetPortOpen(true); }, &message),
                  SerialErrorKind::NoSuchPort);
        EXPECT_NE(message.find(device), std::string::npos) << message;
        EXPECT_FALSE(port.GetPortOpen());
    }
}

TEST_F(CMscommPtyTest, SecondOpenOfTheSameDeviceFailsAsBusy)
{
    OpenPort(port);
    CMscomm other(MakePlatformBackend(), Resolver());
    std::string message;
    EXPECT_EQ(ErrorKindOf([&] { OpenPort(other); }, &message), SerialErrorKind::Busy);
    EXPECT_NE(message.find("another program"), std::string::npos) << message;
    EXPECT_FALSE(other.GetPortOpen());

    // Once released, the device can be taken by the other user.
    port.SetPortOpen(false);
    EXPECT_NO_THROW(other.SetPortOpen(true));
}

TEST_F(CMscommPtyTest, PortHeldByAnotherProcessFailsAsBusy)
{
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Another program: holds the device with an exclusive lock until told to stop.
        const int fd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        const char ok = (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        char done = 0;
        (void)!read(release[0], &done, 1);
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');

    EXPECT_EQ(ErrorKindOf([&] { OpenPort(port); }), SerialErrorKind::Busy);
    EXPECT_FALSE(port.GetPortOpen());

    (void)!write(release[1], "x", 1);
    int status = 0;
    waitpid(child, &status, 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

TEST_F(CMscommPtyTest, OperationsOnAClosedPortFailAtOnce)
{
    Configure(port);
    port.SetPortOpen(false);  // closing a closed port is harmless
    const Bytes bytes{1, 2, 3};
    const std::vector<std::pair<const char*, std::function<void()>>> operations = {
        {"waiting count", [&] { port.GetInBufferCount(); }},
        {"take input", [&] { port.GetInput(); }},
        {"write", [&] { port.SetOutput(bytes); }},
        {"discard", [&] { port.SetOutBufferCount(0); }},
        {"discard input", [&] { port.DiscardInput(); }},
    };
    for (int round = 0; round < 2; ++round) {
        for (const auto& [name, operation] : operations) {
            SCOPED_TRACE(name);
            const auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(ErrorKindOf(operation), SerialErrorKind::NotOpen);
            // At once, not after a time-out; the bound allows for a loaded machine.
            EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        }
        // The second round: after an open and a close.
        port.SetPortOpen(true);
        port.SetPortOpen(false);
    }
}

TEST_F(CMscommPtyTest, ConfigurationChangesWhileOpenAreRefused)
{
    OpenPort(port);
    EXPECT_EQ(ErrorKindOf([&] { port.SetCommPort(1); }), SerialErrorKind::AlreadyOpen);
    EXPECT_EQ(ErrorKindOf([&] { port.SetSettings("9600,N,8,1"); }), SerialErrorKind::AlreadyOpen);
    EXPECT_EQ(ErrorKindOf([&] { port.SetInBufferSize(10); }), SerialErrorKind::AlreadyOpen);
    EXPECT_NO_THROW(port.SetPortOpen(true));  // already open: nothing to do
    EXPECT_NO_THROW(port.SetOutBufferCount(0));
    EXPECT_TRUE(port.GetPortOpen());
}

TEST_F(CMscommPtyTest, ParityOnlyChangeOnAPseudoTerminalStillOpens)
{
    // The pty keeps raw 115200 8N1 from the first open; the second asks for even
    // parity, which a pty cannot have.
    OpenPort(port, "115200,N,8,1");
    port.SetPortOpen(false);
    port.SetSettings("115200,E,8,1");
    EXPECT_NO_THROW(port.SetPortOpen(true));
    EXPECT_TRUE(port.GetPortOpen());
}

TEST_F(CMscommPtyTest, HangUpReportsTheDeviceGone)
{
    OpenPort(port);
    pty.CloseMaster();
    std::string message;
    EXPECT_EQ(ErrorKindOf([&] { port.GetInBufferCount(); }, &message), SerialErrorKind::DeviceGone);
    EXPECT_NE(message.find(pty.SlavePath()), std::string::npos) << message;
    EXPECT_EQ(ErrorKindOf([&] { port.GetInput(); }), SerialErrorKind::DeviceGone);
    EXPECT_EQ(ErrorKindOf([&] { port.DiscardInput(); }), SerialErrorKind::DeviceGone);
    EXPECT_EQ(ErrorKindOf([&] { port.SetOutput(Bytes{1}); }), SerialErrorKind::DeviceGone);
    EXPECT_NO_THROW(port.SetPortOpen(false));
}

TEST_F(CMscommPtyTest, ExchangeOverTheLine)
{
    OpenPort(port);
    std::thread radio([&] {
        const Bytes request = pty.Read(2, 2s);
        if (request == Bytes{0x7F, 0x00}) pty.Write(Bytes{0x79, 0x1F, 0x33});
    });
    StoppableSleeper sleeper;
    ByteExchange exchange(port.Port(), sleeper);
    const Bytes request{0x7F, 0x00};
    exchange.SendBytes(request.data(), 2);
    const Reply reply = exchange.Receive(2, 20);
    radio.join();
    EXPECT_EQ(Bytes(reply.Bytes().begin(), reply.Bytes().end()), (Bytes{0x79, 0x1F}));
}

TEST_F(CMscommPtyTest, ClosingWhileAnotherThreadPollsEndsThePollWithNotOpen)
{
    OpenPort(port);
    StoppableSleeper sleeper;
    ByteExchange exchange(port.Port(), sleeper);
    std::atomic<bool> polling{false};
    SerialErrorKind kind = SerialErrorKind::Io;
    std::thread worker([&] {
        const std::uint8_t request = 0;
        try {
            while (true) {
                polling = true;
                exchange.SendBytes(&request, 1);
                exchange.Receive(1, 2);
            }
        } catch (const SerialError& e) {
            kind = e.SerialKind();
        }
    });
    while (!polling) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(120ms);
    port.SetPortOpen(false);
    worker.join();
    EXPECT_EQ(kind, SerialErrorKind::NotOpen);
}

}  // namespace
}  // namespace korvane::serial
