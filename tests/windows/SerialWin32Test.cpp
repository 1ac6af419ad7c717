// The Win32 serial side: the DCB built for the dialog's line settings, COM port
// names, and CMscomm through the Win32 backend on a COM port with the simulated
// radio behind it (set KORVANE_TEST_COM_PORT to its number; Wine maps the port
// onto the simulator's pseudo-terminal).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "serial/CMscomm.h"
#include "serial/DcbSettings.h"
#include "serial/PortList.h"
#include "serial/SerialError.h"

namespace korvane::serial {
namespace {

bool RunningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST(DcbSettingsTest, MapsSpeedFramingAndParity)
{
    struct Case {
        const char* text;
        DWORD baud;
        BYTE byteSize;
        BYTE parity;
        BYTE stopBits;
    };
    const Case cases[] = {
        {"115200,E,8,1", 115200, 8, EVENPARITY, ONESTOPBIT},
        {"9600,N,8,1", 9600, 8, NOPARITY, ONESTOPBIT},
        {"57600,O,7,2", 57600, 7, ODDPARITY, TWOSTOPBITS},
        {"19200,M,8,1", 19200, 8, MARKPARITY, ONESTOPBIT},
        {"38400,S,8,1", 38400, 8, SPACEPARITY, ONESTOPBIT},
    };
    for (const Case& c : cases) {
        const DCB dcb = BuildDcb(DCB{}, ParseLineSettings(c.text));
        EXPECT_EQ(dcb.BaudRate, c.baud) << c.text;
        EXPECT_EQ(dcb.ByteSize, c.byteSize) << c.text;
        EXPECT_EQ(dcb.Parity, c.parity) << c.text;
        EXPECT_EQ(dcb.StopBits, c.stopBits) << c.text;
    }
}

TEST(DcbSettingsTest, IsBinaryWithoutFlowControlOrByteReplacement)
{
    DCB cooked{};
    // A port left by another program with flow control and replacement on.
    cooked.fOutxCtsFlow = TRUE;
    cooked.fOutX = TRUE;
    cooked.fInX = TRUE;
    cooked.fErrorChar = TRUE;
    cooked.fNull = TRUE;
    cooked.fAbortOnError = TRUE;
    cooked.fRtsControl = RTS_CONTROL_HANDSHAKE;
    const DCB dcb = BuildDcb(cooked, ParseLineSettings("115200,E,8,1"));
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_TRUE(dcb.fBinary);
    EXPECT_FALSE(dcb.fParity) << "a parity error must not replace or drop a byte";
    EXPECT_FALSE(dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fOutX || dcb.fInX);
    EXPECT_FALSE(dcb.fErrorChar || dcb.fNull || dcb.fAbortOnError);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
}

TEST(ComPortNamesTest, NumberNIsComNAlsoPastNine)
{
    EXPECT_EQ(ResolvePortNumber(1), "\\\\.\\COM1");
    EXPECT_EQ(ResolvePortNumber(12), "\\\\.\\COM12");
    EXPECT_THROW(ResolvePortNumber(0), SerialError);
}

TEST(ComPortNamesTest, AMissingPortFailsAsNoSuchPort)
{
    CMscomm port;
    port.SetCommPort(199);
    port.SetSettings("115200,E,8,1");
    try {
        port.SetPortOpen(true);
        FAIL() << "COM199 opened";
    } catch (const SerialError& error) {
        EXPECT_EQ(error.SerialKind(), SerialErrorKind::NoSuchPort) << error.what();
    }
    EXPECT_FALSE(port.GetPortOpen());
}

// The simulated radio's ROM bootloader behind a COM port.
class SimulatedRadioOnComPort : public ::testing::Test {
protected:
    static constexpr std::uint8_t kSync = 0x7F;
    static constexpr std::uint8_t kAck = 0x79;
    static constexpr std::uint8_t kGetId[] = {0x02, 0xFD};
    static constexpr std::size_t kGetIdReplySize = 5;  // ACK, N=1, two PID bytes, ACK
    static constexpr auto kReplyTimeout = std::chrono::seconds(5);

    void SetUp() override
    {
        const char* number = std::getenv("KORVANE_TEST_COM_PORT");
        if (number == nullptr || *number == '\0')
            GTEST_SKIP() << "KORVANE_TEST_COM_PORT is not set (no simulated radio)";
        m_number = static_cast<std::int16_t>(std::atoi(number));
    }

    void OpenLikeTheDialog(CMscomm& port) const
    {
        port.SetCommPort(m_number);
        port.SetInBufferSize(1024);
        port.SetOutBufferSize(1024);
        port.SetInputLen(0);
        port.SetInputMode(1);
        port.SetSettings("115200,E,8,1");
        port.SetPortOpen(true);
    }

    // Polls the waiting count like the byte exchange does, up to a time-out.
    static std::vector<std::uint8_t> ReadExactly(CMscomm& port, std::size_t count)
    {
        const auto deadline = std::chrono::steady_clock::now() + kReplyTimeout;
        while (port.GetInBufferCount() < static_cast<std::int16_t>(count) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return port.GetInput();
    }

    std::int16_t m_number = 0;
};

TEST_F(SimulatedRadioOnComPort, SyncAndGetIdRoundTripThroughTheWin32Backend)
{
    CMscomm port;
    OpenLikeTheDialog(port);
    ASSERT_TRUE(port.GetPortOpen());
    // Nothing from before the open is delivered.
    EXPECT_EQ(port.GetInBufferCount(), 0);

    const std::uint8_t sync[] = {kSync};
    port.SetOutput(sync);
    EXPECT_EQ(ReadExactly(port, 1), std::vector<std::uint8_t>{kAck});

    port.SetOutput(kGetId);
    const std::vector<std::uint8_t> reply = ReadExactly(port, kGetIdReplySize);
    ASSERT_EQ(reply.size(), kGetIdReplySize);
    EXPECT_EQ(reply.front(), kAck);
    EXPECT_EQ(reply[1], 1) << "N: two product-id bytes follow";
    EXPECT_EQ(reply.back(), kAck);
    // Once taken, nothing is left waiting.
    EXPECT_EQ(port.GetInBufferCount(), 0);

    // The port is the program's alone while it is open. Windows' serial drivers
    // refuse a second open; Wine opens a COM port as a Unix device and does not
    // enforce the exclusive share mode there, so under Wine this is not asked.
    CMscomm second;
    if (!RunningUnderWine()) {
        try {
            OpenLikeTheDialog(second);
            FAIL() << "a second open of the same COM port succeeded";
        } catch (const SerialError& error) {
            EXPECT_EQ(error.SerialKind(), SerialErrorKind::Busy) << error.what();
        }
    }

    port.SetPortOpen(false);
    EXPECT_FALSE(port.GetPortOpen());
    // Released on close: it opens again.
    OpenLikeTheDialog(second);
    EXPECT_TRUE(second.GetPortOpen());
}

// Real time, with seconds of room against the milliseconds asked.
TEST_F(SimulatedRadioOnComPort, AWaitingReadWakesOnTheAnswerKeepsItsDeadlineAndEndsOnAStop)
{
    using namespace std::chrono_literals;
    using Clock = std::chrono::steady_clock;
    CMscomm control;
    OpenLikeTheDialog(control);
    SerialPort& port = control.Port();
    StoppableSleeper sleeper;

    // The case before has synchronised the radio; run alone, this case
    // synchronises it first (a radio not yet synchronised ignores Get ID).
    port.Write(kGetId);
    auto start = Clock::now();
    std::vector<std::uint8_t> reply = port.Read(kGetIdReplySize, 3s, sleeper);
    if (reply.empty()) {
        const std::uint8_t sync[] = {kSync};
        port.Write(sync);
        ASSERT_EQ(port.Read(1, 5s, sleeper), std::vector<std::uint8_t>{kAck});
        port.Write(kGetId);
        start = Clock::now();
        reply = port.Read(kGetIdReplySize, 3s, sleeper);
    }
    // Woken by the answer, well before the deadline.
    EXPECT_LT(Clock::now() - start, 2500ms);
    ASSERT_EQ(reply.size(), kGetIdReplySize);
    EXPECT_EQ(reply.front(), kAck);
    EXPECT_EQ(reply.back(), kAck);

    // Nothing more comes: the read ends, empty, once its wait is over.
    start = Clock::now();
    EXPECT_TRUE(port.Read(1, 300ms, sleeper).empty());
    EXPECT_GE(Clock::now() - start, 250ms);

    std::thread stopper([&sleeper] {
        std::this_thread::sleep_for(100ms);
        sleeper.RequestStop();
    });
    start = Clock::now();
    EXPECT_THROW(port.Read(1, 60s, sleeper), StopRequested);
    EXPECT_LT(Clock::now() - start, 30s);
    stopper.join();
}

TEST_F(SimulatedRadioOnComPort, TheSystemListsThePortUnderItsNumber)
{
    const std::vector<PortInfo> ports = ListSerialPorts();
    const bool listed = std::any_of(ports.begin(), ports.end(), [&](const PortInfo& port) {
        return port.number == m_number && port.device == ResolvePortNumber(m_number);
    });
    EXPECT_TRUE(listed) << ports.size() << " ports listed";
    EXPECT_TRUE(
        std::is_sorted(ports.begin(), ports.end(),
                       [](const PortInfo& a, const PortInfo& b) { return a.number < b.number; }));
}

}  // namespace
}  // namespace korvane::serial
