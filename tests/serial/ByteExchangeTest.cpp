// The polled byte exchange against a scripted radio on a virtual clock: exact
// poll counts, sleeps and replies.
#include <gtest/gtest.h>

#include <vector>

#include "serial/ByteExchange.h"
#include "serial/SerialError.h"
#include "tests/support/ScriptedPort.h"
#include "tests/support/VirtualSleeper.h"

namespace korvane::serial {
namespace {

using namespace std::chrono_literals;
using testing::ScriptedPort;
using testing::VirtualSleeper;
using Bytes = std::vector<std::uint8_t>;

class ByteExchangeTest : public ::testing::Test {
protected:
    VirtualSleeper clock;
    ScriptedPort port{clock};
    ByteExchange exchange{port, clock};
};

Bytes BytesOf(const Reply& reply)
{
    return Bytes(reply.Bytes().begin(), reply.Bytes().end());
}

struct ReceiveCase {
    const char* name;
    std::vector<std::pair<std::chrono::milliseconds, Bytes>> arrivals;
    std::uint16_t wanted;
    std::uint32_t polls;
    Bytes expected;  // the reply
    std::size_t expectedSleeps;
};

TEST_F(ByteExchangeTest, ReceiveFollowsThePollSchedule)
{
    const std::vector<ReceiveCase> cases = {
        {"reply complete at the first poll is taken with no sleep",
         {{0ms, {0x79, 0x01}}},
         2,
         10,
         {0x79, 0x01},
         0},
        {"wanted 1 with three waiting copies one", {{0ms, {0x79, 0x1F, 0x2F}}}, 1, 5, {0x79}, 0},
        {"polls 1 and no reply returns nothing after one sleep", {}, 1, 1, {}, 1},
        {"polls 2 with 3 of 5 bytes returns 3 after two sleeps",
         {{30ms, {1, 2, 3}}},
         5,
         2,
         {1, 2, 3},
         2},
        {"a reply is seen at the first poll after it is complete",
         {{120ms, {0x79}}},
         1,
         10,
         {0x79},
         3},
        {"a reply split over two arrivals waits for its second part",
         {{10ms, {1}}, {60ms, {2}}},
         2,
         10,
         {1, 2},
         2},
        {"the final look takes more than wanted when it came during the last sleep",
         {{20ms, {7, 8, 9}}},
         2,
         1,
         {7, 8, 9},
         1},
        {"polls 0 with nothing waiting returns nothing at once", {}, 1, 0, {}, 0},
        {"polls 0 takes whatever is waiting", {{0ms, {4, 5}}}, 3, 0, {4, 5}, 0},
        {"a silent line with 20 polls waits one second", {}, 1, 20, {}, 20},
    };
    for (const ReceiveCase& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualSleeper caseClock;
        ScriptedPort casePort(caseClock);
        ByteExchange caseExchange(casePort, caseClock);
        for (const auto& [at, bytes] : c.arrivals) casePort.ArriveAt(at, bytes);

        EXPECT_EQ(BytesOf(caseExchange.Receive(c.wanted, c.polls)), c.expected);
        EXPECT_EQ(caseClock.Sleeps().size(), c.expectedSleeps);
        for (const auto& sleep : caseClock.Sleeps()) EXPECT_EQ(sleep, ByteExchange::kPollInterval);
        // Everything waiting was taken, including bytes beyond `wanted`.
        EXPECT_EQ(casePort.Waiting(), 0u);
    }
}

TEST_F(ByteExchangeTest, SilentLineChecksPollsPlusOneTimes)
{
    EXPECT_TRUE(exchange.Receive(1, 20).Empty());
    EXPECT_EQ(port.CountQueries(), 21);
    EXPECT_EQ(clock.Now(), 1000ms);
}

TEST_F(ByteExchangeTest, SendDiscardsAllWaitingInputThenWritesAllBytes)
{
    // More than one Input can take (the receive queue holds 1,024): a flood
    // of late replies must not outlive the request.
    port.ArriveAt(0ms, Bytes(3000, 0x79));
    const Bytes request(4099, 0x5A);
    exchange.SendBytes(request.data(), static_cast<std::uint16_t>(request.size()));

    ASSERT_EQ(port.Writes().size(), 1u);
    EXPECT_EQ(port.Writes()[0], request);
    EXPECT_EQ(port.BytesDiscarded(), 3000u);
    EXPECT_TRUE(clock.Sleeps().empty());
    EXPECT_TRUE(exchange.Receive(1, 1).Empty());
}

struct PromptCase {
    const char* name;
    std::vector<std::pair<std::chrono::milliseconds, Bytes>> arrivals;
    std::uint16_t wanted;
    ReadLimit limit;
    Bytes expected;
    std::chrono::milliseconds returnsAt;
};

TEST_F(ByteExchangeTest, ReplyHoldsWhatArrivedAndACeilingEndsTheReadWhenItsBytesAre)
{
    // clang-format off
    const std::vector<PromptCase> cases = {
        {"polls: a short reply is what came", {{70ms, {0x79, 0x22}}}, 5, ReadLimit::Polls(2), {0x79, 0x22}, 100ms},
        {"polls: nothing came, nothing in the reply", {}, 1, ReadLimit::Polls(1), {}, 50ms},
        {"complete at once", {{0ms, {0x79}}}, 1, ReadLimit::Within(1000ms), {0x79}, 0ms},
        {"late reply is taken when it comes", {{37ms, {0x79}}}, 1, ReadLimit::Within(1000ms), {0x79}, 37ms},
        {"two ACKs, the second after an erase", {{1ms, {0x79}}, {9'040ms, {0x79}}}, 2,
         ReadLimit::Within(36'000ms), {0x79, 0x79}, 9'040ms},
        {"silence lasts exactly the ceiling", {}, 1, ReadLimit::Within(35'000ms), {}, 35'000ms},
        {"a short reply is what came by the ceiling", {{5ms, {1, 2, 3}}}, 5, ReadLimit::Within(1000ms), {1, 2, 3}, 1000ms},
        {"surplus bytes are not part of the reply", {{3ms, {1, 2, 3}}}, 2, ReadLimit::Within(1000ms), {1, 2}, 3ms},
        // A first byte other than the ACK is the whole reply: no poll and no ceiling is waited out.
        {"polls: a NACK ends the read at once", {{0ms, {0x1F}}}, 13, ReadLimit::Polls(2).ContinuingAfter(0x79), {0x1F}, 0ms},
        {"ceiling: a NACK ends the read when it comes", {{9ms, {0x1F}}}, 2, ReadLimit::Within(36'000ms).ContinuingAfter(0x79), {0x1F}, 9ms},
        {"polls: after an ACK the rest is awaited", {{0ms, {0x79}}, {30ms, {0x22, 0, 0, 0x79}}}, 5,
         ReadLimit::Polls(2).ContinuingAfter(0x79), {0x79, 0x22, 0, 0, 0x79}, 50ms},
        {"ceiling: an ACK then a NACK", {{1ms, {0x79}}, {5ms, {0x1F, 0x1F}}}, 2,
         ReadLimit::Within(36'000ms).ContinuingAfter(0x79), {0x79, 0x1F}, 5ms},
        {"polls: silence after an ACK keeps the poll count", {{0ms, {0x79}}}, 2, ReadLimit::Polls(1).ContinuingAfter(0x79), {0x79}, 50ms},
    };
    // clang-format on
    for (const PromptCase& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualSleeper caseClock;
        ScriptedPort casePort(caseClock);
        ByteExchange caseExchange(casePort, caseClock);
        for (const auto& [at, bytes] : c.arrivals) casePort.ArriveAt(at, bytes);
        const Reply reply = caseExchange.Receive(c.wanted, c.limit);
        EXPECT_EQ(BytesOf(reply), c.expected);
        EXPECT_EQ(caseClock.Now(), c.returnsAt);
    }
}

TEST_F(ByteExchangeTest, ByteArrivingBetweenRequestsIsNeverReadAsAReply)
{
    port.OnWrite([](std::span<const std::uint8_t> written, ScriptedPort& p) {
        p.ArriveAfter(20ms, {static_cast<std::uint8_t>(written[0] + 1)});
    });
    const std::uint8_t first = 0x10;
    exchange.SendBytes(&first, 1);
    EXPECT_EQ(BytesOf(exchange.Receive(1, 10)), Bytes{0x11});

    port.ArriveAfter(5ms, {0xFF});  // stray byte after the step
    clock.Sleep(10ms);
    const std::uint8_t second = 0x20;
    exchange.SendBytes(&second, 1);
    EXPECT_EQ(BytesOf(exchange.Receive(1, 10)), Bytes{0x21});
}

TEST_F(ByteExchangeTest, ClosedPortFailsAtTheFirstStep)
{
    port.SetOpen(false);
    const Bytes request{1};
    EXPECT_THROW(exchange.SendBytes(request.data(), 1), SerialError);
    EXPECT_THROW(exchange.Receive(1, 10), SerialError);
    EXPECT_TRUE(port.Writes().empty());
    EXPECT_TRUE(clock.Sleeps().empty());
}

TEST_F(ByteExchangeTest, StopRequestEndsAPollBeforeTouchingThePort)
{
    StoppableSleeper sleeper;
    ByteExchange stopping(port, sleeper);
    sleeper.RequestStop();
    EXPECT_THROW(stopping.Receive(1, 10), StopRequested);
    EXPECT_THROW(stopping.Receive(1, 0), StopRequested);
    EXPECT_THROW(stopping.Receive(1, ReadLimit::Within(1000ms)), StopRequested);
    EXPECT_EQ(port.CountQueries(), 0);
}

}  // namespace
}  // namespace korvane::serial
