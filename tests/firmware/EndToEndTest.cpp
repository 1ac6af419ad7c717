// Whole upgrades through the real serial backend on a pseudo-terminal, with the
// simulated radio serving the far end in real time. Images are kept small:
// each block costs about 0.3 s of the loader's fixed pauses. Only outcomes are
// asserted, and time bounds are generous: a loaded machine stretches every wait.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "firmware/DownloadJob.h"
#include "serial/CMscomm.h"
#include "sim/PtyRadio.h"
#include "tests/firmware/FirmwareTestSupport.h"

namespace korvane::firmware::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct PtyBench {
    explicit PtyBench(sim::SimOptions options = {}, Pacing pacing = Pacing::Exact)
        : radio(std::move(options)), settings(dir.Path() / "Sys.dat")
    {
        port.SetDevicePath(radio.SlavePath());
        port.SetSettings("115200,E,8,1");
        port.SetPortOpen(true);
        boot = Pattern(2048, 11);
        user = Pattern(8192 - 100, 12);
        bootPath = dir.WriteFile("boot.bin", boot);
        userPath = dir.WriteFile("user.bin", user);
        job.SetPacing(pacing);
    }
    void Run(UpgradeMode mode)
    {
        job.Start(mode, bootPath, userPath);
        job.Join();
    }

    ScratchDir dir;
    sim::PtyRadio radio;
    serial::CMscomm port;
    settings::SettingsStore settings;
    Bytes boot, user;
    std::filesystem::path bootPath, userPath;
    DownloadJob job{port.Port(), settings};
};

sim::SimOptions WithFaults(std::vector<sim::Fault> faults, bool inLoader = false)
{
    sim::SimOptions options;
    options.faults = std::move(faults);
    options.startInLoader = inLoader;
    return options;
}

TEST(EndToEnd, FullUpgradeWritesTheBootImageAndDeliversTheProgram)
{
    // The fixed schedule against an instant radio leaves each answer most of a
    // 50 ms poll; an STM32F1's 40 ms erase would leave 10 ms, less than a loaded
    // machine may delay the radio's thread, so that part runs patient here (the
    // fixed schedule against F1 timing runs on the virtual clock).
    for (bool f1Timing : {false, true}) {
        SCOPED_TRACE(f1Timing ? "STM32F1 timing, patient" : "instant radio, exact");
        PtyBench bench(f1Timing ? sim::SimOptions::Stm32F1Timing() : sim::SimOptions{},
                       f1Timing ? Pacing::Patient : Pacing::Exact);
        DownloadJob& job = bench.job;
        job.Start(UpgradeMode::Full, bench.bootPath, bench.userPath);
        job.Join();
        ASSERT_EQ(job.Snapshot().workerState, firmware::WorkerState::Finished) << ErrorOf(job);
        const auto results = bench.radio.Results();
        EXPECT_EQ(results.flash, bench.boot);
        ASSERT_EQ(results.program.size(), 8192u);
        EXPECT_TRUE(std::equal(bench.user.begin(), bench.user.end(), results.program.begin()));
        EXPECT_TRUE(std::all_of(results.program.begin() + static_cast<long>(bench.user.size()),
                                results.program.end(), [](std::uint8_t b) { return b == 0; }));
        EXPECT_TRUE(results.endFrame);
        EXPECT_EQ(bench.settings.UpgradeCount(), 1);
    }
}

TEST(EndToEnd, HangUpMidTransferFailsTheJobWithoutHanging)
{
    PtyBench bench(WithFault({sim::SimStep::Block, sim::FaultAction::HangUp, 1}));
    DownloadJob& job = bench.job;
    job.Start(UpgradeMode::Full, bench.bootPath, bench.userPath);
    const auto start = Clock::now();
    job.Join();
    EXPECT_LT(Clock::now() - start, 10s);
    EXPECT_EQ(job.Snapshot().workerState, firmware::WorkerState::Failed);
    EXPECT_EQ(job.Snapshot().record.status, "出错了！");
    EXPECT_FALSE(ErrorOf(job).empty());
    EXPECT_EQ(bench.settings.UpgradeCount(), 0);
}

// A radio that starts its new firmware may drop its port right after the end
// frame: the upgrade was delivered and counted, so the job completes.
TEST(EndToEnd, PortClosedAfterTheEndFrameStillCompletes)
{
    PtyBench bench(WithFaults({{sim::SimStep::EndFrame, sim::FaultAction::HangUp}}, true));
    bench.Run(UpgradeMode::UserProgram);
    const std::optional<JobResult> result = bench.job.Result();
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->outcome, JobOutcome::Completed) << result->message;
    EXPECT_EQ(bench.job.Snapshot().record.status, "用户程序下载完成！");
    EXPECT_NE(result->record.warning.find("port closed"), std::string::npos)
        << result->record.warning;
    EXPECT_TRUE(result->record.counted);
    EXPECT_EQ(bench.settings.UpgradeCount(), 1);
    EXPECT_TRUE(bench.radio.Results().endFrame);
}

TEST(EndToEnd, PatientSendsWhatExactSendsAndOutlastsALateAdapter)
{
    PtyBench exact(sim::SimOptions{}, Pacing::Exact);
    exact.Run(UpgradeMode::Full);
    ASSERT_EQ(exact.job.Snapshot().workerState, firmware::WorkerState::Finished)
        << ErrorOf(exact.job);

    // A real part's erase and reset times, behind a USB adapter that delivers
    // every answer 16 ms late.
    sim::SimOptions late = sim::SimOptions::Stm32F1Timing();
    late.replyDelay = 16ms;
    PtyBench patient(late, Pacing::Patient);
    patient.Run(UpgradeMode::Full);
    ASSERT_EQ(patient.job.Snapshot().workerState, firmware::WorkerState::Finished)
        << ErrorOf(patient.job);
    EXPECT_EQ(patient.radio.Results().received, exact.radio.Results().received);
    EXPECT_EQ(patient.radio.Results().flash, patient.boot);
}

TEST(EndToEnd, FloodsSlowPartsAndBadWritesEndAsTheyShould)
{
    using sim::FaultAction;
    using sim::SimStep;
    sim::SimOptions slowErase = sim::SimOptions::Stm32F1Timing();
    slowErase.eraseDuration = 2s;  // twice: inside Readout Unprotect and for the global erase
    const auto corrupt = WithFaults({{SimStep::WriteData, FaultAction::Corrupt, 3}});
    struct Case {
        const char* name;
        sim::SimOptions options;
        Pacing pacing;
        bool verify;
        UpgradeMode mode;
        const char* failure;  // nullptr: the job completes
    };
    const std::vector<Case> cases = {
        {"4,000 '!' after '-', no block answered",
         WithFaults({{SimStep::Ready, FaultAction::Flood},
                     {SimStep::Block, FaultAction::Silence, 0, 1000}},
                    true),
         Pacing::Exact, false, UpgradeMode::UserProgram, "did not answer block 0"},
        {"4,000 ACKs after the first sync, Readout Unprotect unanswered",
         WithFaults({{SimStep::Sync, FaultAction::Flood},
                     {SimStep::ReadoutUnprotect, FaultAction::Silence}}),
         Pacing::Exact, false, UpgradeMode::Full, "did not answer Readout Unprotect"},
        {"slow mass erase", slowErase, Pacing::Patient, false, UpgradeMode::Full, nullptr},
        {"bootloader never back after Readout Unprotect",
         WithFaults({{SimStep::SyncAfterReadoutUnprotect, FaultAction::Silence, 0, 1000}}),
         Pacing::Patient, false, UpgradeMode::Full, "did not come back after Readout Unprotect"},
        // Frame 3 is 256 bytes at 0x08000300; its middle byte lands wrong.
        {"corrupt frame, verify, patient", corrupt, Pacing::Patient, true, UpgradeMode::Full,
         "first at 0x08000380"},
        {"corrupt frame, verify, exact", corrupt, Pacing::Exact, true, UpgradeMode::Full,
         "first at 0x08000380"},
        {"corrupt frame, no verify", corrupt, Pacing::Patient, false, UpgradeMode::Full, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtyBench bench(c.options, c.pacing);
        bench.job.SetVerify(c.verify);
        const auto start = Clock::now();
        bench.Run(c.mode);
        // Every ending is bounded (the re-synchronisation by about 2 s); the
        // bound only shows nothing hangs, with room for a loaded machine.
        EXPECT_LT(Clock::now() - start, 60s);
        if (c.failure == nullptr) {
            EXPECT_EQ(bench.job.Snapshot().workerState, firmware::WorkerState::Finished)
                << ErrorOf(bench.job);
            EXPECT_EQ(bench.settings.UpgradeCount(), 1);
            EXPECT_FALSE(bench.job.Result()->verified.has_value());
            continue;
        }
        EXPECT_EQ(bench.job.Snapshot().workerState, firmware::WorkerState::Failed);
        EXPECT_EQ(bench.job.Snapshot().record.status, "出错了！");
        EXPECT_NE(ErrorOf(bench.job).find(c.failure), std::string::npos) << ErrorOf(bench.job);
        EXPECT_EQ(bench.settings.UpgradeCount(), 0);
    }
}

}  // namespace
}  // namespace korvane::firmware::test
