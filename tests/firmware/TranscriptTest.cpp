// The stages' whole conversation with the radio on a virtual clock: every
// request, and every read's wanted count and poll count, as the protocol has
// them; and how the two pacing policies compare against the simulated radio.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <variant>

#include "firmware/AppLoaderStage.h"
#include "firmware/DownloadJob.h"
#include "firmware/RomBootloaderStage.h"
#include "firmware/StageFailure.h"
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

std::string Describe(const Event& e)
{
    if (const auto* read = std::get_if<Read>(&e)) {
        return "read " + std::to_string(read->wanted) + " in " + std::to_string(read->polls) +
               " polls";
    }
    const Bytes& sent = std::get<Bytes>(e);
    std::string text = "send " + std::to_string(sent.size()) + " bytes:";
    for (std::size_t i = 0; i < std::min<std::size_t>(sent.size(), 6); ++i)
        text += " " + HexByte(sent[i]);
    return text;
}

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
    explicit StageRun(sim::SimOptions options = {})
        : radio(std::move(options)), port(radio, clock), settings(dir.Path() / "Sys.dat")
    {
        exchange.SetTrace(&recorder);
    }
    void Full(const Bytes& boot, const Bytes& user)
    {
        const StageContext context{exchange, work, report};
        RomBootloaderStage(context, dir.WriteFile("boot.bin", boot)).Run();
        AppLoaderStage(context, dir.WriteFile("user.bin", user)).Run();
        SendEndFrame(context);
    }

    ScratchDir dir;
    testing::VirtualSleeper clock;
    sim::RadioSim radio;
    sim::MemoryRadioPort port;
    settings::SettingsStore settings;
    serial::ByteExchange exchange{port, clock};
    Recorder recorder;
    WorkBuffer work{};
    std::atomic<std::int32_t> progress{0}, state{0};
    JobReport report{progress, state, settings};
};

TEST(Transcript, FullUpgradePinsEveryRequestAndEveryRead)
{
    StageRun run;
    Bytes user(10, 0x01);
    run.Full(Bytes{0xA7}, user);

    Bytes block(4096, 0);
    std::copy(user.begin(), user.end(), block.begin());
    Bytes endFrame(4099, 0);
    endFrame[0] = endFrame[1] = 0xFF;
    const std::vector<Event> expected = {
        Bytes{0x7F},
        Read{1, 1},  // synchronise
        Bytes{0x92, 0x6D},
        Read{2, 1},  // Readout Unprotect
        Bytes{0x7F},
        Read{1, 1},  //
        Bytes{0x73, 0x8C},
        Read{2, 1},  // Write Unprotect
        Bytes{0x7F},
        Read{1, 1},  //
        Bytes{0x43, 0xBC},
        Read{2, 1},  // Erase Memory
        Bytes{0xFF, 0x00},
        Read{2, 1},  // global erase
        Bytes{0x11, 0xEE},
        Read{2, 1},  // Read Memory
        Bytes{0x1F, 0xFF, 0xF7, 0xE8, 0xFF},
        Read{2, 1},  //   at 0x1FFFF7E8
        Bytes{0x0B, 0xF4},
        Read{13, 2},  //   12 bytes
        Bytes{0x01, 0xFE},
        Read{5, 2},  // Get Version
        Bytes{0x02, 0xFD},
        Read{5, 2},  // Get ID
        Bytes{0x31, 0xCE},
        Read{1, 1},  // Write Memory
        Bytes{0x08, 0x00, 0x00, 0x00, 0x08},
        Read{1, 1},  //   at 0x08000000
        Bytes{0x00, 0xA7, 0xA7},
        Read{1, 1},  //   one byte
        Bytes{0x21, 0xDE},
        Read{1, 1},  // Go
        Bytes{0x08, 0x00, 0x00, 0x00, 0x08},
        Read{2, 1},  //   0x08000000
        Bytes{0x00},
        Read{1, 10},  // solicit 'G'
        Bytes{'O'},
        Read{1, 1},  // '+'
        Bytes{'-'},
        Read{1, 1},   // '!'
        Read{1, 10},  // the wait for '!'
        Bytes{0x00, 0x00},
        block,
        Bytes{0x0A},
        Read{1, 20},  // block 0
        endFrame,
        Read{1, 20},  // end frame
    };
    const auto& actual = run.recorder.events;
    for (std::size_t i = 0; i < std::max(expected.size(), actual.size()); ++i) {
        ASSERT_LT(i, actual.size()) << "missing: " << Describe(expected[i]);
        ASSERT_LT(i, expected.size()) << "surplus: " << Describe(actual[i]);
        EXPECT_EQ(actual[i], expected[i])
            << "event " << i << ": " << Describe(actual[i]) << ", wanted " << Describe(expected[i]);
    }
    EXPECT_TRUE(run.radio.Results().endFrame);
}

TEST(Transcript, SilenceAfterAFrameThatStartsWithTheAckFails)
{
    // A 122-byte last frame starts with N - 1 = 0x79, the ACK; a radio that
    // says nothing to it has not acknowledged it.
    StageRun run(WithFault({SimStep::WriteData, FaultAction::Silence, 1}));
    const Bytes boot = Pattern(256 + 122, 7);
    try {
        run.Full(boot, Bytes{});
        FAIL() << "the silent frame was taken as acknowledged";
    } catch (const StageFailure& failure) {
        EXPECT_NE(
            std::string(failure.what()).find("did not answer the data frame at image offset 256"),
            std::string::npos)
            << failure.what();
    }
    const auto& last = std::get<Bytes>(run.recorder.events[run.recorder.events.size() - 2]);
    ASSERT_EQ(last.size(), 124u);
    EXPECT_EQ(last[0], 0x79);
    EXPECT_EQ(std::get<Read>(run.recorder.events.back()), (Read{1, 1}));
}

// A whole job on the virtual clock under one pacing policy.
struct PacedJob {
    PacedJob(sim::SimOptions options, Pacing pacing, bool verify = false)
        : radio(std::move(options)),
          port(radio, clock),
          settings(dir.Path() / "Sys.dat"),
          job(port, settings, &clock)
    {
        job.SetPacing(pacing);
        job.SetVerify(verify);
    }
    void Full(const Bytes& boot, const Bytes& user)
    {
        job.Start(UpgradeMode::Full, dir.WriteFile("boot.bin", boot),
                  dir.WriteFile("user.bin", user));
        job.Join();
    }

    ScratchDir dir;
    testing::VirtualSleeper clock;
    sim::RadioSim radio;
    sim::MemoryRadioPort port;
    settings::SettingsStore settings;
    DownloadJob job;
};

sim::SimOptions Timing(std::chrono::milliseconds latency, std::chrono::milliseconds erase,
                       std::chrono::milliseconds reset = 3ms)
{
    sim::SimOptions options;
    options.replyDelay = latency;
    options.eraseDuration = erase;
    options.resetDuration = reset;
    return options;
}

TEST(Pacing, PatientSendsTheBytesExactSends)
{
    const Bytes boot = Pattern(700, 8), user = Pattern(5000, 9);
    for (const sim::SimOptions& options : {sim::SimOptions{}, sim::SimOptions::Stm32F1Timing()}) {
        PacedJob exact(options, Pacing::Exact), patient(options, Pacing::Patient);
        exact.Full(boot, user);
        patient.Full(boot, user);
        ASSERT_EQ(exact.job.WorkerState(), kWorkerFinished) << exact.job.ErrorDescription();
        ASSERT_EQ(patient.job.WorkerState(), kWorkerFinished) << patient.job.ErrorDescription();
        EXPECT_EQ(patient.port.AllWritten(), exact.port.AllWritten());
        EXPECT_LT(patient.clock.Now() * 2, exact.clock.Now());
    }
}

TEST(Pacing, CeilingsCoverSlowPartsAndLateAdapters)
{
    struct Case {
        const char* name;
        sim::SimOptions options;
        Pacing pacing;
        bool completes;
        const char* failure;  // part of the error description when it fails
    };
    const std::vector<Case> cases = {
        {"16 ms adapter, exact", Timing(16ms, 40ms), Pacing::Exact, false,
         "did not answer the global erase"},
        {"16 ms adapter, patient", Timing(16ms, 40ms), Pacing::Patient, true, ""},
        {"30 s mass erase, exact", Timing(1ms, 30s), Pacing::Exact, false,
         "did not answer the synchronisation after Readout Unprotect"},
        {"30 s mass erase, patient", Timing(1ms, 30s), Pacing::Patient, true, ""},
        {"40 s mass erase outlasts the ceiling", Timing(1ms, 40s), Pacing::Patient, false,
         "did not answer Readout Unprotect a second time"},
        {"slow reset is waited for", Timing(1ms, 40ms, 900ms), Pacing::Patient, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PacedJob run(c.options, c.pacing);
        run.Full(Pattern(600, 10), Pattern(100, 11));
        if (c.completes) {
            EXPECT_EQ(run.job.WorkerState(), kWorkerFinished) << run.job.ErrorDescription();
            EXPECT_EQ(run.radio.Results().flash, Pattern(600, 10));
        } else {
            EXPECT_EQ(run.job.WorkerState(), kWorkerFailed);
            EXPECT_NE(run.job.ErrorDescription().find(c.failure), std::string::npos)
                << run.job.ErrorDescription();
        }
    }
}

TEST(Pacing, BootloaderThatNeverComesBackFailsWithinTheBound)
{
    PacedJob run(WithFault({SimStep::SyncAfterReadoutUnprotect, FaultAction::Silence, 0, 1000}),
                 Pacing::Patient);
    run.Full(Pattern(300), Bytes{});
    EXPECT_EQ(run.job.WorkerState(), kWorkerFailed);
    EXPECT_NE(run.job.ErrorDescription().find("did not come back after Readout Unprotect"),
              std::string::npos)
        << run.job.ErrorDescription();
    // The synchronisation, the unprotect, then at most a short settle and
    // twenty 100 ms waits for the rebooted bootloader.
    EXPECT_LE(run.clock.Now(), 2'100ms);
    EXPECT_GE(run.clock.Now(), 2'000ms);
}

TEST(Pacing, VerifyReadsTheBootImageBackAndNamesTheFirstDifference)
{
    for (Pacing pacing : {Pacing::Exact, Pacing::Patient}) {
        SCOPED_TRACE(PacingName(pacing));
        const Bytes boot = Pattern(700, 12);
        PacedJob good(sim::SimOptions{}, pacing, true);
        good.Full(boot, Bytes{});
        EXPECT_EQ(good.job.WorkerState(), kWorkerFinished) << good.job.ErrorDescription();
        EXPECT_TRUE(good.job.Verified());

        PacedJob bad(WithFault({SimStep::WriteData, FaultAction::Corrupt, 2}), pacing, true);
        bad.Full(boot, Bytes{});
        EXPECT_EQ(bad.job.WorkerState(), kWorkerFailed);
        EXPECT_FALSE(bad.job.Verified());
        // Frame 2 starts at 0x08000200 and holds 188 bytes; its middle byte is wrong.
        EXPECT_NE(bad.job.ErrorDescription().find("first at 0x0800025E"), std::string::npos)
            << bad.job.ErrorDescription();
        EXPECT_FALSE(bad.radio.Results().started);
    }
}

}  // namespace
}  // namespace korvane::firmware::test
