// Whole upgrades through the real serial backend on a pseudo-terminal, with the
// simulated radio serving the far end in real time. Images are kept small:
// each block costs about 0.3 s of the loader's fixed pauses.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "firmware/DownloadJob.h"
#include "serial/CMscomm.h"
#include "tests/firmware/FirmwareTestSupport.h"
#include "tests/support/sim/PtyRadio.h"

namespace korvane::firmware::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct PtyBench {
    explicit PtyBench(sim::SimOptions options = {})
        : radio(std::move(options)), settings(dir.Path() / "Sys.dat")
    {
        port.SetDevicePath(radio.SlavePath());
        port.SetSettings("115200,E,8,1");
        port.SetPortOpen(true);
        boot = Pattern(2048, 11);
        user = Pattern(8192 - 100, 12);
        bootPath = dir.WriteFile("boot.bin", boot);
        userPath = dir.WriteFile("user.bin", user);
    }

    ScratchDir dir;
    sim::PtyRadio radio;
    serial::CMscomm port;
    settings::SettingsStore settings;
    Bytes boot, user;
    std::filesystem::path bootPath, userPath;
};

TEST(EndToEnd, FullUpgradeWritesTheBootImageAndDeliversTheProgram)
{
    for (bool f1Timing : {false, true}) {
        SCOPED_TRACE(f1Timing ? "STM32F1 timing" : "instant radio");
        PtyBench bench(f1Timing ? sim::SimOptions::Stm32F1Timing() : sim::SimOptions{});
        DownloadJob job(bench.port, bench.settings);
        job.Start(UpgradeMode::Full, bench.bootPath, bench.userPath);
        job.Join();
        ASSERT_EQ(job.WorkerState(), kWorkerFinished) << job.ErrorDescription();
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
    DownloadJob job(bench.port, bench.settings);
    job.Start(UpgradeMode::Full, bench.bootPath, bench.userPath);
    const auto start = Clock::now();
    job.Join();
    EXPECT_LT(Clock::now() - start, 10s);
    EXPECT_EQ(job.WorkerState(), kWorkerFailed);
    EXPECT_EQ(job.Status(), "出错了！");
    EXPECT_FALSE(job.ErrorDescription().empty());
    EXPECT_EQ(bench.settings.UpgradeCount(), 0);
}

// A radio that starts its new firmware may drop its port right after the end
// frame: the upgrade was delivered and counted, so the job completes.
TEST(EndToEnd, PortClosedAfterTheEndFrameStillCompletes)
{
    sim::SimOptions options = InLoader();
    options.faults = {{sim::SimStep::EndFrame, sim::FaultAction::HangUp}};
    PtyBench bench(options);
    DownloadJob job(bench.port, bench.settings);
    job.Start(UpgradeMode::UserProgram, bench.bootPath, bench.userPath);
    job.Join();
    const std::optional<JobResult> result = job.Result();
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->outcome, JobOutcome::Completed) << result->message;
    EXPECT_EQ(job.Snapshot().status, "用户程序下载完成！");
    EXPECT_NE(result->warning.find("port closed"), std::string::npos) << result->warning;
    EXPECT_TRUE(result->counted);
    EXPECT_EQ(bench.settings.UpgradeCount(), 1);
    EXPECT_TRUE(bench.radio.Results().endFrame);
}

}  // namespace
}  // namespace korvane::firmware::test
