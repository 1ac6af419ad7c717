// The stages' whole conversation with the radio on a virtual clock: every
// request, and every read's wanted count and poll count, as the protocol has
// them; and where each pacing policy's ceilings leave slow parts and late adapters.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <variant>

#include "firmware/AppLoaderStage.h"
#include "firmware/RomBootloaderStage.h"
#include "sim/MemoryRadioPort.h"
#include "sim/RadioSim.h"
#include "tests/firmware/FirmwareTestSupport.h"
#include "tests/support/VirtualSleeper.h"

namespace korvane::firmware::test {
namespace {

using namespace std::chrono_literals;
using sim::FaultAction;
using sim::SimStep;

struct Read {
    std::uint16_t wanted;
    std::uint32_t polls;
    bool operator==(const Read&) const = default;
};
using Event = std::variant<Bytes, Read>;

class Recorder : public serial::IExchangeTrace {
public:
    void OnSend(std::span<const std::uint8_t> bytes) override
    {
        events.emplace_back(Bytes(bytes.begin(), bytes.end()));
    }
    void OnRead(std::uint16_t wanted, const serial::ReadLimit& limit, const serial::Reply&) override
    {
        events.emplace_back(Read{wanted, limit.polls});
    }
    std::vector<Event> events;
};

// The stages in the order a full upgrade runs them, with a recorder on the exchange.
struct StageRun {
    explicit StageRun(sim::SimOptions options = {}, Pacing policy = Pacing::Exact)
        : radio(std::move(options)),
          port(radio, clock),
          settings(dir.Path() / "Sys.dat"),
          pacing(policy)
    {
        exchange.SetTrace(&recorder);
    }
    // The failure's description; empty when the upgrade completed.
    std::string Full(const Bytes& boot, const Bytes& user)
    {
        const StageContext context{exchange, work, report, pacing};
        try {
            ImageSource bootImage(ImageRole::Boot, boot);
            ImageSource userImage(ImageRole::UserProgram, user);
            RomBootloaderStage(context, bootImage).Run();
            AppLoaderStage(context, userImage).Run();
            SendEndFrame(context);
        } catch (const korvane::Error& error) {
            return error.what();
        }
        return {};
    }

    ScratchDir dir;
    testing::VirtualSleeper clock;
    sim::RadioSim radio;
    sim::MemoryRadioPort port;
    settings::SettingsStore settings;
    serial::ByteExchange exchange{port, clock};
    Recorder recorder;
    WorkBuffer work{};
    JobReport report{settings};
    Pacing pacing;
};

TEST(Transcript, FullUpgradePinsEveryRequestAndEveryRead)
{
    StageRun run;
    Bytes user(10, 0x01);
    ASSERT_EQ(run.Full(Bytes{0xA7}, user), "");

    Bytes block(4096, 0);
    std::copy(user.begin(), user.end(), block.begin());
    Bytes endFrame(4099, 0);
    endFrame[0] = endFrame[1] = 0xFF;
    // clang-format off
    const std::vector<Event> expected = {
        Bytes{0x7F}, Read{1, 1},                          // synchronise
        Bytes{0x92, 0x6D}, Read{2, 1},                    // Readout Unprotect
        Bytes{0x7F}, Read{1, 1},
        Bytes{0x73, 0x8C}, Read{2, 1},                    // Write Unprotect
        Bytes{0x7F}, Read{1, 1},
        Bytes{0x43, 0xBC}, Read{2, 1},                    // Erase Memory
        Bytes{0xFF, 0x00}, Read{2, 1},                    //   global
        Bytes{0x11, 0xEE}, Read{2, 1},                    // Read Memory
        Bytes{0x1F, 0xFF, 0xF7, 0xE8, 0xFF}, Read{2, 1},  //   at 0x1FFFF7E8
        Bytes{0x0B, 0xF4}, Read{13, 2},                   //   12 bytes
        Bytes{0x01, 0xFE}, Read{5, 2},                    // Get Version
        Bytes{0x02, 0xFD}, Read{5, 2},                    // Get ID
        Bytes{0x31, 0xCE}, Read{1, 1},                    // Write Memory
        Bytes{0x08, 0x00, 0x00, 0x00, 0x08}, Read{1, 1},  //   at 0x08000000
        Bytes{0x00, 0xA7, 0xA7}, Read{1, 1},              //   one byte
        Bytes{0x21, 0xDE}, Read{1, 1},                    // Go
        Bytes{0x08, 0x00, 0x00, 0x00, 0x08}, Read{2, 1},  //   to 0x08000000
        Bytes{0x00}, Read{1, 10},                         // solicit 'G'
        Bytes{'O'}, Read{1, 1},                           // '+'
        Bytes{'-'}, Read{1, 1}, Read{1, 10},              // '!', then the wait for it
        Bytes{0x00, 0x00}, block, Bytes{0x0A}, Read{1, 20},  // block 0
        endFrame, Read{1, 20},                            // the end frame
    };
    // clang-format on
    const auto& actual = run.recorder.events;
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(actual[i], expected[i]) << "event " << i;
    EXPECT_TRUE(run.radio.Results().endFrame);
}

TEST(Transcript, SilenceAfterAFrameThatStartsWithTheAckFails)
{
    // A 122-byte last frame starts with N - 1 = 0x79, the ACK; a radio that
    // says nothing to it has not acknowledged it.
    StageRun run(WithFault({SimStep::WriteData, FaultAction::Silence, 1}));
    const std::string failure = run.Full(Pattern(256 + 122, 7), Bytes{});
    EXPECT_NE(failure.find("did not answer the data frame at image offset 256"), std::string::npos)
        << failure;
    const auto& last = std::get<Bytes>(run.recorder.events[run.recorder.events.size() - 2]);
    ASSERT_EQ(last.size(), 124u);
    EXPECT_EQ(last[0], 0x79);
    EXPECT_EQ(std::get<Read>(run.recorder.events.back()), (Read{1, 1}));
}

TEST(Pacing, CeilingsCoverSlowPartsAndLateAdapters)
{
    struct Case {
        const char* name;
        sim::SimOptions options;
        Pacing pacing;
        const char* failure;  // nullptr: the upgrade completes
        std::chrono::milliseconds endsBy = 1h;
    };
    const auto timing = [](sim::SimTime latency, sim::SimTime erase, sim::SimTime reset) {
        return sim::SimOptions{
            .faults = {}, .replyDelay = latency, .eraseDuration = erase, .resetDuration = reset};
    };
    const std::vector<Case> cases = {
        {"16 ms adapter, exact", timing(16ms, 40ms, 3ms), Pacing::Exact,
         "did not answer the global erase"},
        {"16 ms adapter, patient", timing(16ms, 40ms, 3ms), Pacing::Patient, nullptr},
        {"30 s mass erase, exact", timing(1ms, 30s, 3ms), Pacing::Exact,
         "did not answer the synchronisation after Readout Unprotect"},
        {"30 s mass erase, patient", timing(1ms, 30s, 3ms), Pacing::Patient, nullptr},
        {"40 s mass erase outlasts the ceiling", timing(1ms, 40s, 3ms), Pacing::Patient,
         "did not answer Readout Unprotect a second time"},
        {"slow reset is waited for", timing(1ms, 40ms, 900ms), Pacing::Patient, nullptr},
        // A settle and twenty 100 ms waits for the rebooted bootloader, no more.
        {"bootloader never back",
         WithFault({SimStep::SyncAfterReadoutUnprotect, FaultAction::Silence, 0, 1000}),
         Pacing::Patient, "did not come back after Readout Unprotect", 2'100ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StageRun run(c.options, c.pacing);
        const std::string failure = run.Full(Pattern(600, 10), Pattern(100, 11));
        EXPECT_LE(run.clock.Now(), c.endsBy);
        if (c.failure == nullptr) {
            EXPECT_EQ(failure, "");
            EXPECT_EQ(run.radio.Results().flash, Pattern(600, 10));
        } else {
            EXPECT_NE(failure.find(c.failure), std::string::npos) << failure;
        }
    }
}

}  // namespace
}  // namespace korvane::firmware::test
