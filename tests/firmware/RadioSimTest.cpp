// The simulated radio's own rules, which other suites and stm32flash lean on:
// the wire's timing in both directions, the strict chip's refusals, the 3.x
// personality's erase commands and read protection.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "sim/RadioSim.h"

namespace korvane::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kAck = 0x79;
constexpr std::uint8_t kNack = 0x1F;
constexpr SimTime kLater = 100s;

// Sends `request` at `at` and returns everything the radio answers by kLater.
Bytes Talk(RadioSim& radio, const Bytes& request, SimTime at = 0us)
{
    radio.Receive(request, at);
    return radio.TakeDue(kLater + at);
}

Bytes Address(std::uint32_t address)
{
    Bytes frame;
    std::uint8_t checksum = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        frame.push_back(static_cast<std::uint8_t>(address >> shift));
        checksum ^= frame.back();
    }
    frame.push_back(checksum);
    return frame;
}

Bytes DataFrame(std::size_t count, std::uint8_t value)
{
    Bytes frame{static_cast<std::uint8_t>(count - 1)};
    std::uint8_t checksum = frame[0];
    for (std::size_t i = 0; i < count; ++i) {
        frame.push_back(value);
        checksum ^= value;
    }
    frame.push_back(checksum);
    return frame;
}

// Synchronised and with a Write Memory to the flash base accepted up to its data.
void StartWrite(RadioSim& radio)
{
    ASSERT_EQ(Talk(radio, {0x7F}), Bytes{kAck});
    ASSERT_EQ(Talk(radio, {0x31, 0xCE}), Bytes{kAck});
    ASSERT_EQ(Talk(radio, Address(RadioSim::kFlashBase)), Bytes{kAck});
}

TEST(RadioSim, OnAWireEveryByteTakesElevenBitsBothWays)
{
    SimOptions options;
    options.baud = 115200;
    options.programDuration = 7ms;
    RadioSim radio(options);
    // 11 bits at 115200 baud: 95.49 us a byte. The sync byte's ACK has crossed
    // once the 0x7F came in and the ACK went out.
    radio.Receive(Bytes{0x7F}, 0us);
    EXPECT_TRUE(radio.TakeDue(190us).empty());
    EXPECT_EQ(radio.TakeDue(193us), Bytes{kAck});
    ASSERT_EQ(Talk(radio, {0x31, 0xCE}, 1ms), Bytes{kAck});
    ASSERT_EQ(Talk(radio, Address(RadioSim::kFlashBase), 2ms), Bytes{kAck});
    // A 258-byte frame is 24.6 ms on the line; its 256 bytes take the chip 7 ms.
    const SimTime sent = 10ms;
    radio.Receive(DataFrame(256, 0x42), sent);
    EXPECT_EQ(radio.Results().framesWritten, 0) << "acted on before the frame had come";
    EXPECT_TRUE(radio.TakeDue(sent + 24'600us).empty());
    EXPECT_EQ(radio.Results().framesWritten, 0) << "acted on before the frame had come";
    EXPECT_TRUE(radio.TakeDue(sent + 24'700us).empty());
    EXPECT_EQ(radio.Results().framesWritten, 1);
    EXPECT_TRUE(radio.TakeDue(sent + 24'700us + 7ms).empty());
    EXPECT_EQ(radio.TakeDue(sent + 24'740us + 7ms), Bytes{kAck});
    const auto results = radio.Results();
    EXPECT_EQ(results.chipTime, 7ms);
    ASSERT_TRUE(results.firstWriteAt && results.lastWriteAckAt);
    EXPECT_GT(*results.lastWriteAckAt, sent + 31ms);
}

TEST(RadioSim, AStrictChipTakesOnlyWholeWords)
{
    for (const std::size_t count : {1u, 3u, 4u, 5u, 255u, 256u}) {
        for (const bool strict : {false, true}) {
            SCOPED_TRACE(testing::Message() << count << " bytes, strict " << strict);
            SimOptions options;
            options.strict = strict;
            RadioSim radio(options);
            StartWrite(radio);
            const bool whole = count % 4 == 0;
            EXPECT_EQ(Talk(radio, DataFrame(count, 0x00)), Bytes{!strict || whole ? kAck : kNack});
            EXPECT_EQ(radio.Results().framesWritten, !strict || whole ? 1 : 0);
        }
    }
}

TEST(RadioSim, GetAndTheEraseCommandsFollowTheBootloaderVersion)
{
    struct Case {
        std::uint8_t version;
        std::uint16_t pid;
        std::uint8_t offeredErase, refusedErase;
    };
    for (const Case& c : {Case{0x22, 0x410, 0x43, 0x44}, Case{0x31, 0x413, 0x44, 0x43}}) {
        SCOPED_TRACE(testing::Message() << "version " << int{c.version});
        SimOptions options;
        options.bootloaderVersion = c.version;
        options.productId = c.pid;
        RadioSim radio(options);
        ASSERT_EQ(Talk(radio, {0x7F}), Bytes{kAck});
        Bytes get{kAck, 10,   c.version,      0x00, 0x01, 0x02, 0x11,
                  0x21, 0x31, c.offeredErase, 0x73, 0x82, 0x92, kAck};
        EXPECT_EQ(Talk(radio, {0x00, 0xFF}), get);
        EXPECT_EQ(Talk(radio, {0x02, 0xFD}), (Bytes{kAck, 1, static_cast<std::uint8_t>(c.pid >> 8),
                                                    static_cast<std::uint8_t>(c.pid), kAck}));
        EXPECT_EQ(Talk(radio, {c.refusedErase, static_cast<std::uint8_t>(~c.refusedErase)}),
                  Bytes{kNack});
        // Pages (1 KiB on the F1) or sectors (16 KiB first on the F4) 1 and 2.
        EXPECT_EQ(Talk(radio, {c.offeredErase, static_cast<std::uint8_t>(~c.offeredErase)}),
                  Bytes{kAck});
        const Bytes pages = c.offeredErase == 0x43
                                ? Bytes{0x01, 0x01, 0x02, 0x02}
                                : Bytes{0x00, 0x01, 0x00, 0x01, 0x00, 0x02, 0x02};
        EXPECT_EQ(Talk(radio, pages), Bytes{kAck});
        const std::uint32_t page = c.offeredErase == 0x43 ? 1024 : 16 * 1024;
        ASSERT_EQ(Talk(radio, {0x11, 0xEE}), Bytes{kAck});
        ASSERT_EQ(Talk(radio, Address(RadioSim::kFlashBase + page - 1)), Bytes{kAck});
        const Bytes read = Talk(radio, {0x01, 0xFE});  // two bytes across the first page's end
        EXPECT_EQ(read, (Bytes{kAck, RadioSim::kOldFirmware, 0xFF}));
    }
}

TEST(RadioSim, ReadProtectionHoldsUntilReadoutUnprotect)
{
    SimOptions options;
    options.strict = true;
    options.readProtected = true;
    RadioSim radio(options);
    ASSERT_EQ(Talk(radio, {0x7F}), Bytes{kAck});
    EXPECT_EQ(Talk(radio, {0x01, 0xFE}), (Bytes{kAck, 0x22, 0x01, 0x00, kAck}));
    for (const std::uint8_t refused : Bytes{0x11, 0x31, 0x21, 0x43}) {
        EXPECT_EQ(Talk(radio, {refused, static_cast<std::uint8_t>(~refused)}), Bytes{kNack});
    }
    EXPECT_EQ(Talk(radio, {0x92, 0x6D}), (Bytes{kAck, kAck}));
    EXPECT_FALSE(radio.ReadProtected());
    ASSERT_EQ(Talk(radio, {0x7F}), Bytes{kAck});
    EXPECT_EQ(Talk(radio, {0x01, 0xFE}), (Bytes{kAck, 0x22, 0x00, 0x00, kAck}));
    EXPECT_EQ(Talk(radio, {0x11, 0xEE}), Bytes{kAck});
}

}  // namespace
}  // namespace korvane::sim
