// Whole download jobs against the simulated radio on a virtual clock: the exact
// bytes of both stages, their pacing, the progress count, what the observer
// hears and how every fault of the radio, a stop or a lost port ends the job.
#include <algorithm>
#include <chrono>
#include <memory>

#include <gtest/gtest.h>

#include "firmware/DownloadJob.h"
#include "firmware/image/Image.h"
#include "firmware/image/Qorin_CRC32.h"
#include "serial/SerialError.h"
#include "settings/FileLock.h"
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

bool IsEndFrame(std::span<const std::uint8_t> bytes)
{
    return bytes.size() == kEndFrameSize && bytes[0] == 0xFF && bytes[1] == 0xFF;
}

// The line to the simulated radio, which can drop just as the end frame is
// handed to it (after the last block was accepted).
class Line : public serial::IPort {
public:
    explicit Line(sim::MemoryRadioPort& port) : m_port(port) {}
    bool dropAtEndFrame = false;

    std::size_t Waiting() override { return m_port.Waiting(); }
    std::vector<std::uint8_t> Read(std::size_t most, std::chrono::nanoseconds wait,
                                   serial::ISleeper& stop) override
    {
        return m_port.Read(most, wait, stop);
    }
    void DiscardInput() override { m_port.DiscardInput(); }
    void Write(std::span<const std::uint8_t> bytes) override
    {
        if (dropAtEndFrame && IsEndFrame(bytes)) {
            throw serial::SerialError(serial::SerialErrorKind::DeviceGone, "the line dropped");
        }
        m_port.Write(bytes);
    }

private:
    sim::MemoryRadioPort& m_port;
};

// Everything the observer heard, as one line per event with the record it
// came with, and each finished job's outcome.
struct Recorder : IJobObserver {
    std::function<void(const std::string&)> onEvent;
    std::vector<std::string> events;
    std::vector<JobRecord> records;
    std::vector<JobOutcome> outcomes;
    void OnEvent(const JobEvent& e) override
    {
        using Kind = JobEvent::Kind;
        const JobRecord& r = e.record;
        std::string line;
        switch (e.kind) {
            case Kind::Stage:
                line = std::string("stage ") + StageName(r.stage);
                break;
            case Kind::Status:
                line = "status " + r.status;
                break;
            case Kind::Chip:
                line = "chip";
                break;
            case Kind::Frame:
                line = "frame " + std::to_string(r.framesSent);
                break;
            case Kind::Block:
                line = "block " + std::to_string(r.blocksSent);
                break;
            case Kind::Finished:
                outcomes.push_back(e.result.value_or(JobResult{}).outcome);
                line = "finished";
                break;
        }
        events.push_back(line);
        records.push_back(r);
        if (onEvent) onEvent(line);
    }
};

// One job against one simulated radio; the job runs to its end on Run.
struct Bench {
    explicit Bench(sim::SimOptions options = {}, std::uint8_t language = 0)
        : radio(std::move(options)),
          port(radio, clock),
          line(port),
          settings(dir.Path() / "Sys.dat")
    {
        SetLanguage(settings, language);
        job = std::make_unique<DownloadJob>(line, settings, &clock);
        job->SetObserver(&heard);
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
    JobResult Result() const
    {
        const auto result = job->Result();
        EXPECT_TRUE(result.has_value());
        return result.value_or(JobResult{});
    }
    std::string Status() const { return job->Snapshot().record.status; }
    std::int32_t SavedCount() const
    {
        return settings::SettingsStore(settings.Path()).UpgradeCount();
    }

    const std::vector<sim::MemoryRadioPort::Written>& Writes() const { return port.Writes(); }
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
        return std::any_of(Writes().begin(), Writes().end(),
                           [](const auto& w) { return IsEndFrame(w.bytes); });
    }

    ScratchDir dir;
    testing::VirtualSleeper clock;
    sim::RadioSim radio;
    sim::MemoryRadioPort port;
    Line line;
    settings::SettingsStore settings;
    Recorder heard;
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
    EXPECT_EQ(bench.Result().workerState, WorkerState::Finished);
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
        bench.heard.onEvent = [&](const std::string& event) {
            if (event == "stage rom-go") progressAtGo = BarPosition(bench.job->Snapshot().record);
        };
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
        WorkerState state;
    };
    for (const Case& c :
         {Case{148, 149, WorkerState::Finished}, Case{149, 149, WorkerState::Failed}}) {
        sim::SimOptions options;
        options.faults = {{SimStep::Sync, FaultAction::Silence, 0, c.silentAttempts}};
        Bench bench(options);
        bench.Run(UpgradeMode::Full, Pattern(16), Bytes{});
        SCOPED_TRACE(c.silentAttempts);
        const long unprotect = bench.Find({0x92, 0x6D});
        EXPECT_EQ(unprotect < 0 ? bench.Count({0x7F}) : unprotect, c.syncsBeforeUnprotect);
        EXPECT_EQ(bench.Result().workerState, c.state);
        if (c.state == WorkerState::Failed) {
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
    EXPECT_EQ(bench.Result().record.blocksSent, 250);
    EXPECT_EQ(bench.Result().record.userBytesSent, static_cast<std::int64_t>(kImageBufferSize));
    EXPECT_EQ(BarPosition(bench.job->Snapshot().record), kProgressMax);
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
        EXPECT_EQ(bench.Result().workerState, WorkerState::Finished);
    }
}

TEST(LoaderStage, EmptyUserImageStillCountsAndEndsWithTheEndFrame)
{
    Bench bench(InLoader());
    bench.Run(UpgradeMode::UserProgram, Bytes{}, Bytes{});
    EXPECT_LT(bench.Find({0x00, 0x00}), 0);
    EXPECT_EQ(bench.Result().workerState, WorkerState::Finished);
    EXPECT_EQ(BarPosition(bench.job->Snapshot().record), kProgressMax);
    EXPECT_EQ(bench.SavedCount(), 1);
    const auto& last = bench.Writes().back().bytes;
    ASSERT_EQ(last.size(), kEndFrameSize);
    EXPECT_TRUE(std::all_of(last.begin() + 2, last.end(), [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(bench.radio.Results().endFrame);
}

TEST(DownloadJob, FullUpgradeDeliversBothImagesAndReportsDetails)
{
    Bench bench(sim::SimOptions::Stm32F1Timing(), 1);
    const Bytes boot = Pattern(3000, 3), user = Pattern(9000, 4);
    bench.Run(UpgradeMode::Full, boot, user);
    ASSERT_EQ(bench.Result().workerState, WorkerState::Finished) << bench.Result().message;
    const auto results = bench.radio.Results();
    EXPECT_EQ(results.flash, boot);
    ASSERT_EQ(results.program.size(), 3 * 4096u);
    EXPECT_TRUE(std::equal(user.begin(), user.end(), results.program.begin()));
    EXPECT_EQ(bench.Status(), "User program download completed！");
    EXPECT_EQ(bench.settings.UpgradeCount(), 1);
    const JobResult d = bench.Result();
    EXPECT_EQ(d.record.stage, JobStage::Done);
    EXPECT_EQ(d.record.framesSent, 12);
    EXPECT_EQ(d.record.bootBytesSent, 3000);
    EXPECT_EQ(d.record.blocksSent, 3);
    EXPECT_EQ(d.record.userBytesSent, 9000);
    // The bar as the events' records show it: 1 .. 12 over the frames, back
    // to 0 at 'G', 1 .. 3 over the blocks, then 60.
    std::vector<std::int32_t> bar;
    for (const JobRecord& record : bench.heard.records) {
        if (bar.empty() || bar.back() != BarPosition(record)) bar.push_back(BarPosition(record));
    }
    const std::vector<std::int32_t> expected = {0, 1,  2,  3,  4, 5, 6, 7, 8,
                                                9, 10, 11, 12, 0, 1, 2, 3, 60};
    EXPECT_EQ(bar, expected);
    EXPECT_TRUE(d.message.empty());
    EXPECT_TRUE(d.record.warning.empty());
    EXPECT_EQ(d.record.counter, 1);
    EXPECT_TRUE(d.record.counted);
}

TEST(DownloadJob, StartClearsThePreviousEndState)
{
    Bench bench(WithFault({SimStep::Sync, FaultAction::Silence, 0, 1000}));
    bench.Run(UpgradeMode::Full, Pattern(4), Bytes{});
    ASSERT_EQ(bench.Result().workerState, WorkerState::Failed);
    // At the new job's first event its worker runs and no result is left over.
    std::vector<WorkerState> states;
    bool staleResult = false;
    bench.heard.onEvent = [&](const std::string&) {
        if (states.empty()) staleResult = bench.job->Result().has_value();
        states.push_back(bench.job->Snapshot().workerState);
    };
    bench.Run(UpgradeMode::Full, Pattern(4), Bytes{});
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.front(), WorkerState::Running);
    EXPECT_FALSE(staleResult);
    EXPECT_TRUE(bench.Result().message.find("149") != std::string::npos);
}

TEST(DownloadJob, LanguageChoosesTheStatusTexts)
{
    for (std::uint8_t language : std::initializer_list<std::uint8_t>{0, 1, 2, 255}) {
        const bool english = language == 1;
        Bench ok(InLoader(), language);
        ok.Run(UpgradeMode::UserProgram, Bytes{}, Pattern(5));
        EXPECT_EQ(ok.Status(),
                  english ? "User program download completed！" : "用户程序下载完成！");
        Bench bad(sim::SimOptions{.faults = {{SimStep::EraseMemory, FaultAction::Nack}}}, language);
        bad.Run(UpgradeMode::Full, Pattern(5), Pattern(5));
        EXPECT_EQ(bad.Status(), english ? "Error！" : "出错了！");
    }
}

// Every way the radio can fail a full upgrade (1 KiB boot image, 8 KiB program).
struct FaultCase {
    sim::Fault fault;
    JobOutcome outcome;
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
        cases.push_back({{SimStep::Sync, action, 0, 1000}, JobOutcome::Refused, 7452ms});
        for (SimStep step : romSteps) {
            // At most 12 steps, 12 frame steps and 2 Go steps of up to two polls each.
            cases.push_back({{step, action, 0}, JobOutcome::Refused, 3s});
        }
        for (SimStep step : {SimStep::WriteMemory, SimStep::WriteAddress, SimStep::WriteData}) {
            cases.push_back({{step, action, 2}, JobOutcome::Refused, 3s});
        }
    }
    // The loader: ROM stage ~1.5 s, then its own waits.
    cases.push_back({{SimStep::Solicit, FaultAction::Silence, 0, 1000}, JobOutcome::Refused, 27s});
    cases.push_back({{SimStep::Hello, FaultAction::Nack}, JobOutcome::Refused, 3s});
    cases.push_back({{SimStep::Hello, FaultAction::Silence}, JobOutcome::Refused, 3s});
    for (int block : {0, 1}) {
        cases.push_back({{SimStep::Block, FaultAction::Refuse, block}, JobOutcome::Refused, 4s});
        cases.push_back({{SimStep::Block, FaultAction::Silence, block}, JobOutcome::Refused, 5s});
        cases.push_back({{SimStep::Block, FaultAction::HangUp, block}, JobOutcome::Serial, 5s});
    }
    cases.push_back({{SimStep::WriteData, FaultAction::HangUp, 1}, JobOutcome::Serial, 3s});
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
        EXPECT_EQ(bench.Result().workerState, WorkerState::Failed);
        EXPECT_EQ(bench.Status(), "出错了！");
        EXPECT_EQ(bench.Result().outcome, c.outcome);
        const JobResult r = bench.Result();
        EXPECT_FALSE(r.message.empty());
        // The hint stands apart from the message, and a silence is never told
        // as an answer.
        EXPECT_FALSE(r.hint.empty());
        EXPECT_EQ(r.message.find(r.hint), std::string::npos) << r.message;
        if (c.fault.action == FaultAction::Silence) {
            EXPECT_EQ(r.message.find("instead of"), std::string::npos) << r.message;
        }
        EXPECT_FALSE(bench.Result().record.counted);
        EXPECT_EQ(bench.Result().record.counter, 41);
        EXPECT_EQ(bench.SavedCount(), 41);
        EXPECT_FALSE(bench.EndFrameSent());
        EXPECT_LE(bench.clock.Now(), c.bound);
        EXPECT_EQ(bench.heard.events.back(), "finished");
        EXPECT_EQ(bench.heard.outcomes, std::vector<JobOutcome>{c.outcome});
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
        EXPECT_EQ(bench.Result().workerState, WorkerState::Failed);
        EXPECT_EQ(bench.Result().outcome, JobOutcome::Image);
        EXPECT_EQ(bench.Status(), "出错了！");
        EXPECT_NE(bench.Result().message.find(c.bootUsable ? "missing-user.bin" : "boot.bin"),
                  std::string::npos);
        EXPECT_FALSE(bench.Result().hint.empty());
        EXPECT_EQ(bench.radio.Results().erased, c.erased);
        EXPECT_FALSE(bench.EndFrameSent());
        EXPECT_EQ(bench.settings.UpgradeCount(), 0);
    }
}

// Once every block is accepted and counted, the end frame's reply is never
// examined: a port that closes or a stop while it is awaited still completes
// the job, with a warning. A line lost before the frame was written fails the
// job, and the result says all the same that the download was counted.
TEST(DownloadJob, EndFrameTroubleAfterTheCount)
{
    enum class Trouble { PortClosesAfterIt, StopWhileAwaited, LineDropsBeforeIt };
    struct Case {
        Trouble trouble;
        JobOutcome outcome;
        const char* status;
        const char* warning;  // a word of it; null when the job fails
    };
    for (const Case& c :
         {Case{Trouble::PortClosesAfterIt, JobOutcome::Completed, "用户程序下载完成！",
               "port closed"},
          Case{Trouble::StopWhileAwaited, JobOutcome::Completed, "用户程序下载完成！", "stop"},
          Case{Trouble::LineDropsBeforeIt, JobOutcome::Serial, "出错了！", nullptr}}) {
        SCOPED_TRACE(static_cast<int>(c.trouble));
        sim::SimOptions options = InLoader();
        if (c.trouble == Trouble::PortClosesAfterIt) {
            options.faults = {{SimStep::EndFrame, FaultAction::HangUp}};
        } else if (c.trouble == Trouble::StopWhileAwaited) {
            options.faults = {{SimStep::EndFrame, FaultAction::Silence}};
        }
        Bench bench(options);
        bench.line.dropAtEndFrame = c.trouble == Trouble::LineDropsBeforeIt;
        if (c.trouble == Trouble::StopWhileAwaited) {
            bench.clock.OnSleep([&](std::chrono::milliseconds) {
                if (IsEndFrame(bench.Writes().back().bytes)) bench.job->RequestStop();
            });
        }
        bench.Run(UpgradeMode::UserProgram, Bytes{}, Pattern(5000));

        const JobResult r = bench.Result();
        const bool completed = c.outcome == JobOutcome::Completed;
        EXPECT_EQ(r.outcome, c.outcome) << r.message;
        EXPECT_EQ(r.workerState, completed ? WorkerState::Finished : WorkerState::Failed);
        EXPECT_EQ(bench.Status(), c.status);
        EXPECT_EQ(bench.radio.Results().endFrame, completed);
        EXPECT_TRUE(r.record.counted);
        EXPECT_EQ(r.record.counter, 1);
        EXPECT_EQ(bench.SavedCount(), 1);
        if (completed) {
            EXPECT_NE(r.record.warning.find(c.warning), std::string::npos) << r.record.warning;
            EXPECT_TRUE(r.message.empty());
        } else {
            EXPECT_FALSE(r.message.empty());
            EXPECT_FALSE(r.hint.empty());
        }
    }
}

// A counter that cannot be saved does not undo the upgrade: the job completes
// and says so, and the result does not claim a count Sys.dat does not hold.
TEST(DownloadJob, UnsavedCounterIsAWarningNotACount)
{
    Bench bench(InLoader());
    settings::SettingsStore unwritable(bench.dir.Path() / "missing" / "Sys.dat");
    DownloadJob job(bench.line, unwritable, &bench.clock);
    job.Start(UpgradeMode::UserProgram, Bytes{}, Pattern(10));
    job.Join();
    const JobResult r = job.Result().value_or(JobResult{});
    EXPECT_EQ(r.outcome, JobOutcome::Completed) << r.message;
    EXPECT_FALSE(r.record.counted);
    EXPECT_NE(r.record.warning.find("could not be saved"), std::string::npos) << r.record.warning;
    EXPECT_TRUE(bench.radio.Results().endFrame);
}

// Another program holding Sys.dat's lock holds the end frame back by the
// lock's limit at most, and a stop during that wait ends the wait at once; the
// count that could not be saved is a warning naming the lock file.
TEST(DownloadJob, HeldSettingsLockDelaysTheEndFrameByItsLimitAtMost)
{
    using namespace std::chrono_literals;
    for (const bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "stopped while waiting" : "waited out");
        Bench bench(InLoader());
        settings::detail::FileLock other;
        ASSERT_EQ(other.Open(settings::LockFilePath(bench.settings.Path()), false),
                  settings::detail::LockOpen::Opened);
        ASSERT_EQ(other.TryLock(settings::detail::LockKind::Exclusive),
                  settings::detail::LockAttempt::Granted);
        std::chrono::milliseconds completedAt{-1};
        bench.heard.onEvent = [&](const std::string& e) {
            if (e != "status 用户程序下载完成！") return;
            completedAt = bench.clock.Now();
            if (!stop) return;
            bench.clock.OnSleep([&](std::chrono::milliseconds now) {
                if (now >= completedAt + 200ms) bench.job->RequestStop();
            });
        };
        bench.job->Start(UpgradeMode::UserProgram, Bytes{}, Pattern(5000));
        bench.job->Join();
        const JobResult r = bench.Result();
        EXPECT_EQ(r.outcome, JobOutcome::Completed) << r.message;
        EXPECT_FALSE(r.record.counted);
        EXPECT_NE(r.record.warning.find("Sys.dat.lock"), std::string::npos) << r.record.warning;
        // A stop ends the wait, not the delivered upgrade: the end frame still goes.
        const auto frame = std::find_if(bench.Writes().begin(), bench.Writes().end(),
                                        [](const auto& w) { return IsEndFrame(w.bytes); });
        ASSERT_NE(frame, bench.Writes().end());
        const auto endFrame = std::chrono::duration_cast<std::chrono::milliseconds>(frame->at);
        const auto delay = stop ? 200ms : settings::LockWait::kDefaultLimit;
        EXPECT_GE(endFrame, completedAt + delay);
        EXPECT_LE(endFrame, completedAt + delay + 100ms);
        other.Unlock();
        EXPECT_EQ(bench.SavedCount(), 0);
    }
}

// The observer hears the job in order, each event with the record right
// after it: the counter is raised and saved between the completed status and
// the bar standing full, and "finished" comes once, last, with the result
// already in place.
TEST(DownloadJob, ObserverHearsTheJobInOrder)
{
    Bench bench;
    std::vector<std::int32_t> savedCount;  // Sys.dat at the completed status, then at the end frame
    bool resultAtFinish = false;
    bench.heard.onEvent = [&](const std::string& e) {
        if (e == "status 用户程序下载完成！" || e == "stage end-frame") {
            savedCount.push_back(bench.SavedCount());
        }
        if (e == "finished") resultAtFinish = bench.job->Result().has_value();
    };
    bench.Run(UpgradeMode::Full, Pattern(300), Pattern(5000));
    const std::vector<std::string> expected = {"stage rom-sync",
                                               "status BOOT下载中。。。",
                                               "stage rom-prepare",
                                               "chip",
                                               "stage rom-write",
                                               "frame 1",
                                               "frame 2",
                                               "stage rom-go",
                                               "status BOOT下载完成！",
                                               "stage loader-wait",
                                               "status 开启用户程序下载！",
                                               "stage loader-handshake",
                                               "stage loader-blocks",
                                               "status 用户程序下载中。。。",
                                               "block 1",
                                               "block 2",
                                               "status 用户程序下载完成！",
                                               "stage end-frame",
                                               "stage done",
                                               "finished"};
    ASSERT_EQ(bench.heard.events, expected);
    EXPECT_EQ(bench.heard.outcomes, std::vector<JobOutcome>{JobOutcome::Completed});
    EXPECT_EQ(savedCount, (std::vector<std::int32_t>{0, 1}));
    const JobRecord& completed = bench.heard.records[16];
    EXPECT_FALSE(completed.counted);
    EXPECT_EQ(BarPosition(completed), 2);
    const JobRecord& endFrame = bench.heard.records[17];
    EXPECT_TRUE(endFrame.counted);
    EXPECT_EQ(endFrame.counter, 1);
    EXPECT_EQ(BarPosition(endFrame), kProgressMax);
    // Each event's record holds what came before it: the chip from its event
    // on, the bytes of the frames and blocks delivered.
    EXPECT_TRUE(bench.heard.records[3].chip.has_value());
    EXPECT_FALSE(bench.heard.records[2].chip.has_value());
    EXPECT_EQ(bench.heard.records[6].bootBytesSent, 300);
    EXPECT_EQ(bench.heard.records[15].userBytesSent, 5000);
    EXPECT_TRUE(resultAtFinish);
}

// The result's CRCs are of the bytes the radio received: a user image
// replaced on disk while the job runs changes neither what is sent nor what
// is reported, and images handed over as bytes are sent as they are.
TEST(DownloadJob, CrcsAreOfTheBytesSent)
{
    for (bool asBytes : {false, true}) {
        SCOPED_TRACE(asBytes ? "bytes" : "files");
        Bench bench;
        const Bytes boot = Pattern(700, 8), user = Pattern(6000, 9);
        const auto bootPath = bench.dir.WriteFile("boot.bin", boot);
        const auto userPath = bench.dir.WriteFile("user.bin", user);
        bench.heard.onEvent = [&](const std::string& e) {
            if (e == "block 1") bench.dir.WriteFile("user.bin", Pattern(100, 10));
        };
        if (asBytes) {
            bench.job->Start(UpgradeMode::Full, boot, user);
        } else {
            bench.job->Start(UpgradeMode::Full, bootPath, userPath);
        }
        bench.job->Join();

        const JobResult r = bench.Result();
        ASSERT_EQ(r.outcome, JobOutcome::Completed) << r.message;
        const auto sent = bench.radio.Results();
        EXPECT_EQ(sent.flash, boot);
        EXPECT_TRUE(std::equal(user.begin(), user.end(), sent.program.begin()));
        EXPECT_EQ(r.bootCrc, Qorin_CRC32().Compute(boot));
        EXPECT_EQ(r.userCrc, Qorin_CRC32().Compute(user));
        EXPECT_EQ(r.bootBytes, 700);
        EXPECT_EQ(r.userBytes, 6000);
    }
}

// A stop ends the job where it is asked for: virtual time stands still, no
// request follows the one under way, the counter stays, the status line keeps
// its last text and the result says where it stopped.
TEST(DownloadJob, StopEndsTheJobAtOnce)
{
    struct Case {
        const char* event;
        JobStage stage;
        const char* status;
    };
    for (const Case& c : {Case{"frame 1", JobStage::RomWrite, "BOOT下载中。。。"},
                          Case{"block 1", JobStage::LoaderBlocks, "用户程序下载中。。。"}}) {
        SCOPED_TRACE(c.event);
        Bench bench;
        std::chrono::milliseconds stoppedAt{-1};
        std::size_t writesAtStop = 0;
        bench.heard.onEvent = [&](const std::string& e) {
            if (e != c.event) return;
            bench.job->RequestStop();
            stoppedAt = bench.clock.Now();
            writesAtStop = bench.Writes().size();
        };
        bench.Run(UpgradeMode::Full, Pattern(1000), Pattern(9000));

        const JobResult r = bench.Result();
        EXPECT_FALSE(bench.job->IsRunning());
        EXPECT_EQ(r.outcome, JobOutcome::Stopped);
        EXPECT_EQ(r.workerState, WorkerState::Stopped);
        EXPECT_EQ(r.record.stage, c.stage);
        EXPECT_EQ(bench.clock.Now(), stoppedAt);
        EXPECT_LE(bench.Writes().size(), writesAtStop + 1);
        EXPECT_FALSE(bench.EndFrameSent());
        EXPECT_EQ(bench.Status(), c.status);
        EXPECT_FALSE(r.record.counted);
        EXPECT_EQ(bench.SavedCount(), 0);
        EXPECT_FALSE(r.message.empty());
        EXPECT_FALSE(r.hint.empty());
    }
}

}  // namespace
}  // namespace korvane::firmware::test
