// Whole download jobs against the simulated radio on a virtual clock: the exact
// bytes of both stages, their pacing, the progress count, and how every fault
// of the radio ends the job.
#include <algorithm>
#include <chrono>
#include <memory>

#include <gtest/gtest.h>

#include "firmware/DownloadJob.h"
#include "firmware/Image.h"
#include "sim/MemoryRadioPort.h"
#include "sim/RadioSim.h"
#include "tests/firmware/FirmwareTestSupport.h"
#include "tests/support/VirtualSleeper.h"

namespace korvane::firmware::test {
namespace {

using namespace std::chrono_literals;
using sim::FaultAction;
using sim::SimStep;

constexpr std::size_t kEndFrameSize = 4099;

// One job against one simulated radio; the job runs to its end on Run.
struct Bench {
    explicit Bench(sim::SimOptions options = {}, std::uint8_t language = 0)
        : radio(std::move(options)), port(radio, clock), settings(dir.Path() / "Sys.dat")
    {
        SetLanguage(settings, language);
        job = std::make_unique<DownloadJob>(port, settings, &clock);
    }

    void Run(UpgradeMode mode, const Bytes& boot, const Bytes& user)
    {
        Run(mode, dir.WriteFile("boot.bin", boot), dir.WriteFile("user.bin", user));
    }
    void Run(UpgradeMode mode, const std::filesystem::path& boot, const std::filesystem::path& user)
    {
        job->Start(mode, boot, user);
        job->Join();
    }

    const std::vector<sim::MemoryRadioPort::Write>& Writes() const { return port.Writes(); }
    // Index of the first write equal to `bytes` at or after `from`; -1 when none.
    long Find(const Bytes& bytes, std::size_t from = 0) const
    {
        for (std::size_t i = from; i < Writes().size(); ++i) {
            if (Writes()[i].bytes == bytes) return static_cast<long>(i);
        }
        return -1;
    }
    long Count(const Bytes& bytes) const
    {
        return std::count_if(Writes().begin(), Writes().end(),
                             [&](const auto& w) { return w.bytes == bytes; });
    }
    bool EndFrameSent() const
    {
        return std::any_of(Writes().begin(), Writes().end(), [](const auto& w) {
            return w.bytes.size() == kEndFrameSize && w.bytes[0] == 0xFF && w.bytes[1] == 0xFF;
        });
    }

    ScratchDir dir;
    testing::VirtualSleeper clock;
    sim::RadioSim radio;
    sim::MemoryRadioPort port;
    settings::SettingsStore settings;
    std::unique_ptr<DownloadJob> job;
};

const Bytes kRomPrelude[] = {
    {0x7F},       {0x92, 0x6D}, {0x7F},
    {0x73, 0x8C}, {0x7F},       {0x43, 0xBC},
    {0xFF, 0x00}, {0x11, 0xEE}, {0x1F, 0xFF, 0xF7, 0xE8, 0xFF},
    {0x0B, 0xF4}, {0x01, 0xFE}, {0x02, 0xFD},
};

TEST(RomStage, OneByteImageIsWrittenByteExact)
{
    Bench bench;
    bench.Run(UpgradeMode::Full, Bytes{0xA7}, Bytes{});
    std::vector<Bytes> expected(std::begin(kRomPrelude), std::end(kRomPrelude));
    for (const Bytes& b : std::vector<Bytes>{{0x31, 0xCE},
                                             {0x08, 0x00, 0x00, 0x00, 0x08},
                                             {0x00, 0xA7, 0xA7},
                                             {0x21, 0xDE},
                                             {0x08, 0x00, 0x00, 0x00, 0x08},
                                             {0x00}}) {
        expected.push_back(b);
    }
    ASSERT_GE(bench.Writes().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(bench.Writes()[i].bytes, expected[i]) << "write " << i;
    }
    EXPECT_EQ(bench.radio.Results().flash, Bytes{0xA7});
    EXPECT_EQ(bench.job->WorkerState(), kWorkerFinished);
}

TEST(RomStage, FrameSplittingAtTheImageEnd)
{
    struct Case {
        std::size_t size;
        long writeMemories;
    };
    for (const Case& c : {Case{0, 0}, Case{256, 1}, Case{257, 2}, Case{15'360, 60}}) {
        Bench bench;
        const Bytes image = Pattern(c.size);
        int progressAtGo = -1;
        bench.job->SetProgressCallback([&](const JobDetails& d) {
            if (d.stage == JobStage::RomGo && progressAtGo < 0) progressAtGo = d.progress;
        });
        bench.Run(UpgradeMode::Full, image, Bytes{});
        SCOPED_TRACE(c.size);
        EXPECT_EQ(bench.Count({0x31, 0xCE}), c.writeMemories);
        EXPECT_EQ(progressAtGo, c.writeMemories);
        EXPECT_EQ(bench.radio.Results().flash, image);
        const long getId = bench.Find({0x02, 0xFD});
        if (c.size == 0) {
            EXPECT_EQ(bench.Writes()[getId + 1].bytes, (Bytes{0x21, 0xDE}));
        }
        if (c.size == 256) {
            const Bytes& frame = bench.Writes()[getId + 3].bytes;
            ASSERT_EQ(frame.size(), 258u);
            EXPECT_EQ(frame[0], 0xFF);
        }
        if (c.size == 257) {
            const long second = bench.Find({0x08, 0x00, 0x01, 0x00, 0x09});
            ASSERT_GT(second, 0);
            EXPECT_EQ(bench.Writes()[second + 1].bytes, (Bytes{0x00, image[256], image[256]}));
        }
    }
}

TEST(RomStage, FrameAddressesCarryTheirXor)
{
    Bench bench;
    const Bytes image = Pattern(0x012300 + 1);
    bench.Run(UpgradeMode::Full, image, Bytes{});
    EXPECT_GT(bench.Find({0x08, 0x01, 0x23, 0x00, 0x2A}), 0);
    EXPECT_EQ(bench.radio.Results().flash, image);
}

TEST(RomStage, SynchronisationGivesUpAfter149Attempts)
{
    struct Case {
        int silentAttempts;
        long syncsBeforeUnprotect;
        std::int32_t state;
    };
    for (const Case& c : {Case{148, 149, kWorkerFinished}, Case{149, 149, kWorkerFailed}}) {
        sim::SimOptions options;
        options.faults = {{SimStep::Sync, FaultAction::Silence, 0, c.silentAttempts}};
        Bench bench(options);
        bench.Run(UpgradeMode::Full, Pattern(16), Bytes{});
        SCOPED_TRACE(c.silentAttempts);
        const long unprotect = bench.Find({0x92, 0x6D});
        EXPECT_EQ(unprotect < 0 ? bench.Count({0x7F}) : unprotect, c.syncsBeforeUnprotect);
        EXPECT_EQ(bench.job->WorkerState(), c.state);
        if (c.state == kWorkerFailed) {
            // 149 single polls, the stage's 1 ms pause and the worker's.
            EXPECT_EQ(bench.clock.Now(), 149 * 50ms + 2ms);
        }
    }
}

TEST(LoaderStage, BlocksAreThreeWritesWithSumAndPacing)
{
    Bench bench(InLoader());
    Bytes image(4097, 0);
    image[0] = 0x01;
    image[1] = 0x02;
    image[4096] = 0x9C;
    bench.Run(UpgradeMode::UserProgram, Bytes{}, image);

    const long first = bench.Find({0x00, 0x00});
    ASSERT_GT(first, 0);
    const auto& w = bench.Writes();
    EXPECT_EQ(w[first + 1].bytes, Bytes(image.begin(), image.begin() + 4096));
    EXPECT_EQ(w[first + 2].bytes, Bytes{0x03});
    EXPECT_EQ(w[first + 3].bytes, (Bytes{0x00, 0x01}));
    Bytes second(4096, 0);
    second[0] = 0x9C;
    EXPECT_EQ(w[first + 4].bytes, second);
    EXPECT_EQ(w[first + 5].bytes, Bytes{0x9C});
    // The radio answers at once, so the answer costs no poll: 200 ms after a
    // block, 100 ms before the next header.
    EXPECT_EQ(w[first + 3].at - w[first + 2].at, 200ms + 100ms);
    EXPECT_EQ(bench.radio.Results().program.size(), 8192u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), bench.radio.Results().program.begin()));
}

TEST(LoaderStage, AllOnesBlockSumsToZeroAndBlockNumbersReach0xF9)
{
    Bench bench(InLoader());
    Bytes image(kImageBufferSize, 0xFF);
    bench.Run(UpgradeMode::UserProgram, Bytes{}, image);
    EXPECT_EQ(bench.Writes()[bench.Find({0x00, 0x00}) + 2].bytes, Bytes{0x00});
    EXPECT_GT(bench.Find({0x00, 0xF9}), 0);
    EXPECT_LT(bench.Find({0x00, 0xFA}), 0);
    EXPECT_EQ(bench.radio.Results().blocksAccepted, 250);
    EXPECT_EQ(bench.job->Details().blocksSent, 250);
    EXPECT_EQ(bench.job->Details().userBytesSent, static_cast<std::int64_t>(kImageBufferSize));
    EXPECT_EQ(bench.job->Progress(), kProgressMax);
}

TEST(LoaderStage, ReadyWaitEndsAtTheFirstReadWhenDashIsAnswered)
{
    struct Case {
        bool answerDash;
        std::chrono::milliseconds dashToFirstBlock;
    };
    // The radio answers at once: the '-' read costs no poll, each read of the
    // wait ten polls, then the pause before the block. Unanswered, the '-'
    // read costs its one poll as well.
    for (const Case& c : {Case{true, 500ms + 100ms}, Case{false, 50ms + 50 * 500ms + 100ms}}) {
        sim::SimOptions options = InLoader();
        if (!c.answerDash) options.faults = {{SimStep::Ready, FaultAction::Silence}};
        Bench bench(options);
        bench.Run(UpgradeMode::UserProgram, Bytes{}, Pattern(10));
        const long dash = bench.Find({'-'});
        const long block = bench.Find({0x00, 0x00});
        ASSERT_GT(block, dash);
        EXPECT_EQ(bench.Writes()[block].at - bench.Writes()[dash].at, c.dashToFirstBlock);
        EXPECT_EQ(bench.job->WorkerState(), kWorkerFinished);
    }
}

TEST(LoaderStage, EmptyUserImageStillCountsAndEndsWithTheEndFrame)
{
    Bench bench(InLoader());
    bench.Run(UpgradeMode::UserProgram, Bytes{}, Bytes{});
    EXPECT_LT(bench.Find({0x00, 0x00}), 0);
    EXPECT_EQ(bench.job->WorkerState(), kWorkerFinished);
    EXPECT_EQ(bench.job->Progress(), kProgressMax);
    EXPECT_EQ(settings::SettingsStore(bench.settings.Path()).UpgradeCount(), 1);
    const auto& last = bench.Writes().back().bytes;
    ASSERT_EQ(last.size(), kEndFrameSize);
    EXPECT_TRUE(std::all_of(last.begin() + 2, last.end(), [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(bench.radio.Results().endFrame);
}

TEST(DownloadJob, FullUpgradeDeliversBothImagesAndReportsDetails)
{
    Bench bench(sim::SimOptions::Stm32F1Timing(), 1);
    const Bytes boot = Pattern(3000, 3), user = Pattern(9000, 4);
    std::vector<int> progress;
    bench.job->SetProgressCallback([&](const JobDetails& d) {
        if (progress.empty() || progress.back() != d.progress) progress.push_back(d.progress);
    });
    bench.Run(UpgradeMode::Full, boot, user);
    ASSERT_EQ(bench.job->WorkerState(), kWorkerFinished) << bench.job->ErrorDescription();
    const auto results = bench.radio.Results();
    EXPECT_EQ(results.flash, boot);
    ASSERT_EQ(results.program.size(), 3 * 4096u);
    EXPECT_TRUE(std::equal(user.begin(), user.end(), results.program.begin()));
    EXPECT_EQ(bench.job->Status(), "User program download completed！");
    EXPECT_EQ(bench.settings.UpgradeCount(), 1);
    const JobDetails d = bench.job->Details();
    EXPECT_EQ(d.stage, JobStage::Done);
    EXPECT_EQ(d.framesSent, 12);
    EXPECT_EQ(d.bootBytesSent, 3000);
    EXPECT_EQ(d.blocksSent, 3);
    EXPECT_EQ(d.userBytesSent, 9000);
    // 1 .. 12 over the frames, back to 0 at 'G', 1 .. 3 over the blocks, then 60.
    const std::vector<int> expected = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0, 1, 2, 3, 60};
    EXPECT_EQ(progress, expected);
    EXPECT_TRUE(bench.job->ErrorDescription().empty());
}

TEST(DownloadJob, StartClearsThePreviousEndState)
{
    Bench bench(WithFault({SimStep::Sync, FaultAction::Silence, 0, 1000}));
    bench.Run(UpgradeMode::Full, Pattern(4), Bytes{});
    ASSERT_EQ(bench.job->WorkerState(), kWorkerFailed);
    std::vector<std::int32_t> states;
    bench.job->SetProgressCallback([&](const JobDetails& d) { states.push_back(d.workerState); });
    bench.Run(UpgradeMode::Full, Pattern(4), Bytes{});
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.front(), kWorkerRunning);
    EXPECT_TRUE(bench.job->ErrorDescription().find("149") != std::string::npos);
}

TEST(DownloadJob, LanguageChoosesTheStatusTexts)
{
    for (std::uint8_t language : std::initializer_list<std::uint8_t>{0, 1, 2, 255}) {
        const bool english = language == 1;
        Bench ok(InLoader(), language);
        ok.Run(UpgradeMode::UserProgram, Bytes{}, Pattern(5));
        EXPECT_EQ(ok.job->Status(),
                  english ? "User program download completed！" : "用户程序下载完成！");
        Bench bad(sim::SimOptions{.faults = {{SimStep::EraseMemory, FaultAction::Nack}}}, language);
        bad.Run(UpgradeMode::Full, Pattern(5), Pattern(5));
        EXPECT_EQ(bad.job->Status(), english ? "Error！" : "出错了！");
    }
}

// Every way the radio can fail a full upgrade (1 KiB boot image, 8 KiB program).
struct FaultCase {
    sim::Fault fault;
    JobFailure failure;
    std::chrono::milliseconds bound;  // the latest the job may end, in virtual time
};

std::vector<FaultCase> FaultMatrix()
{
    std::vector<FaultCase> cases;
    const SimStep romSteps[] = {SimStep::ReadoutUnprotect,
                                SimStep::SyncAfterReadoutUnprotect,
                                SimStep::WriteUnprotect,
                                SimStep::SyncAfterWriteUnprotect,
                                SimStep::EraseMemory,
                                SimStep::GlobalErase,
                                SimStep::ReadMemory,
                                SimStep::ReadAddress,
                                SimStep::ReadLength,
                                SimStep::GetVersion,
                                SimStep::GetId,
                                SimStep::WriteMemory,
                                SimStep::WriteAddress,
                                SimStep::WriteData,
                                SimStep::Go,
                                SimStep::GoAddress};
    for (FaultAction action : {FaultAction::Nack, FaultAction::Silence}) {
        cases.push_back({{SimStep::Sync, action, 0, 1000}, JobFailure::Refused, 7452ms});
        for (SimStep step : romSteps) {
            // At most 12 steps, 12 frame steps and 2 Go steps of up to two polls each.
            cases.push_back({{step, action, 0}, JobFailure::Refused, 3s});
        }
        for (SimStep step : {SimStep::WriteMemory, SimStep::WriteAddress, SimStep::WriteData}) {
            cases.push_back({{step, action, 2}, JobFailure::Refused, 3s});
        }
    }
    // The loader: ROM stage ~1.5 s, then its own waits.
    cases.push_back({{SimStep::Solicit, FaultAction::Silence, 0, 1000}, JobFailure::Refused, 27s});
    cases.push_back({{SimStep::Hello, FaultAction::Nack}, JobFailure::Refused, 3s});
    cases.push_back({{SimStep::Hello, FaultAction::Silence}, JobFailure::Refused, 3s});
    for (int block : {0, 1}) {
        cases.push_back({{SimStep::Block, FaultAction::Refuse, block}, JobFailure::Refused, 4s});
        cases.push_back({{SimStep::Block, FaultAction::Silence, block}, JobFailure::Refused, 5s});
        cases.push_back({{SimStep::Block, FaultAction::HangUp, block}, JobFailure::Serial, 5s});
    }
    cases.push_back({{SimStep::WriteData, FaultAction::HangUp, 1}, JobFailure::Serial, 3s});
    return cases;
}

TEST(DownloadJob, EveryRadioFaultEndsInTheFailedState)
{
    const Bytes boot = Pattern(1024, 5), user = Pattern(8192, 6);
    for (const FaultCase& c : FaultMatrix()) {
        SCOPED_TRACE(std::string(sim::StepName(c.fault.step)) + " action " +
                     std::to_string(static_cast<int>(c.fault.action)) + " at " +
                     std::to_string(c.fault.first));
        Bench bench(WithFault(c.fault));
        bench.settings.Modify([](settings::SysData& d) { d.SetUpgradeCount(41); });
        bench.Run(UpgradeMode::Full, boot, user);
        EXPECT_EQ(bench.job->WorkerState(), kWorkerFailed);
        EXPECT_EQ(bench.job->Status(), "出错了！");
        EXPECT_EQ(bench.job->Details().failure, c.failure);
        EXPECT_FALSE(bench.job->ErrorDescription().empty());
        EXPECT_EQ(settings::SettingsStore(bench.settings.Path()).UpgradeCount(), 41);
        EXPECT_FALSE(bench.EndFrameSent());
        EXPECT_LE(bench.clock.Now(), c.bound);
    }
}

TEST(DownloadJob, UnusableImagesFailTheJobWithTheReason)
{
    struct Case {
        UpgradeMode mode;
        bool bootUsable;
        bool userUsable;
        bool erased;
    };
    for (const Case& c :
         {Case{UpgradeMode::Full, false, true, true}, Case{UpgradeMode::Full, true, false, true},
          Case{UpgradeMode::UserProgram, true, false, false}}) {
        Bench bench((c.mode == UpgradeMode::UserProgram ? InLoader() : sim::SimOptions{}));
        const auto boot = c.bootUsable
                              ? bench.dir.WriteFile("boot.bin", Pattern(300))
                              : bench.dir.WriteFile("boot.bin", Pattern(kImageBufferSize + 5));
        const auto user = c.userUsable ? bench.dir.WriteFile("user.bin", Pattern(300))
                                       : bench.dir.Path() / "missing-user.bin";
        bench.Run(c.mode, boot, user);
        EXPECT_EQ(bench.job->WorkerState(), kWorkerFailed);
        EXPECT_EQ(bench.job->Details().failure, JobFailure::Image);
        EXPECT_EQ(bench.job->Status(), "出错了！");
        EXPECT_NE(
            bench.job->ErrorDescription().find(c.bootUsable ? "missing-user.bin" : "boot.bin"),
            std::string::npos);
        EXPECT_EQ(bench.radio.Results().erased, c.erased);
        EXPECT_FALSE(bench.EndFrameSent());
        EXPECT_EQ(bench.settings.UpgradeCount(), 0);
    }
}

}  // namespace
}  // namespace korvane::firmware::test
