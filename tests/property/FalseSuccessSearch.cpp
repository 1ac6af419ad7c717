// A search for false successes: many random radios (refusals, silences,
// floods, hang-ups and delays at random steps, lost and damaged replies on the
// line) run through the real download job in both pacings on the virtual
// clock. Whatever the radio does, a job ends within its bounded time; it
// succeeds only when the radio's flash holds the boot image and its loader took
// every block of the user image; the counter moves by one exactly for a
// success; and after a refused or unanswered request nothing but its retry is
// sent. A breach prints the radio's seed and the shortest transcript found.
//
// KORVANE_PROPERTY_RADIOS sets the number of radios, KORVANE_PROPERTY_SEED the
// first seed (otherwise a new one each run), KORVANE_PROPERTY_REPLAY one
// radio's seed to run alone.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "firmware/DownloadJob.h"
#include "settings/SettingsStore.h"
#include "sim/MemoryRadioPort.h"
#include "sim/RadioSim.h"
#include "tests/property/WireProbe.h"
#include "tests/support/VirtualSleeper.h"

namespace korvane::testing {
namespace {

using namespace std::chrono_literals;
using firmware::JobOutcome;
using firmware::Pacing;
using firmware::UpgradeMode;
using sim::FaultAction;
using sim::SimStep;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kFrameSize = 256;
constexpr std::size_t kBlockSize = 4096;

std::uint64_t SplitMix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::optional<std::uint64_t> EnvNumber(const char* name)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return std::nullopt;
    return std::strtoull(text, nullptr, 0);
}

// One random radio and how the job is run against it.
struct RadioPlan {
    std::uint64_t seed = 0;
    UpgradeMode mode = UpgradeMode::Full;
    Pacing pacing = Pacing::Exact;
    bool verify = false;
    std::size_t bootSize = 0;
    std::size_t userSize = 0;
    sim::SimOptions radio;
    LineFaults line;
};

std::size_t Frames(const RadioPlan& plan)
{
    return plan.mode == UpgradeMode::Full ? (plan.bootSize + kFrameSize - 1) / kFrameSize : 0;
}

std::size_t Blocks(const RadioPlan& plan)
{
    return (plan.userSize + kBlockSize - 1) / kBlockSize;
}

// The longest a job may take: every wait of the protocol at its ceiling, in the
// slower of the two pacings (synchronisation, unprotects and erases, the
// solicitation and the wait for the loader, each frame and block with its
// pauses, the end frame), with room to spare.
std::chrono::milliseconds TimeBound(const RadioPlan& plan)
{
    const auto perFrame = plan.verify ? 6100ms : 3100ms;
    const auto perBlock = 1500ms;
    return 160s + perFrame * static_cast<long>(Frames(plan)) +
           perBlock * static_cast<long>(Blocks(plan));
}

const SimStep kSteps[] = {
    SimStep::Sync,
    SimStep::ReadoutUnprotect,
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
    SimStep::GoAddress,
    SimStep::Solicit,
    SimStep::Hello,
    SimStep::Ready,
    SimStep::Block,
    SimStep::EndFrame,
};

RadioPlan DrawPlan(std::uint64_t seed)
{
    std::mt19937_64 rng(seed);
    const auto pick = [&](std::uint64_t n) { return static_cast<std::size_t>(rng() % n); };
    const auto chance = [&](int percent) { return pick(100) < static_cast<std::size_t>(percent); };
    RadioPlan plan;
    plan.seed = seed;
    plan.mode = chance(60) ? UpgradeMode::Full : UpgradeMode::UserProgram;
    plan.pacing = chance(50) ? Pacing::Patient : Pacing::Exact;
    plan.verify = plan.mode == UpgradeMode::Full && chance(30);
    plan.bootSize = chance(3) ? 0 : 1 + pick(3 * kFrameSize);
    plan.userSize = chance(3) ? 0 : 1 + pick(3 * kBlockSize);
    plan.radio.startInLoader = (plan.mode == UpgradeMode::UserProgram) != chance(5);

    const std::chrono::milliseconds delays[] = {1ms, 5ms, 20ms, 45ms, 60ms, 120ms, 900ms, 1500ms};
    if (chance(30)) plan.radio.replyDelay = delays[pick(std::size(delays))];
    const std::chrono::milliseconds erases[] = {40ms, 2s, 10s, 34s, 40s};
    if (chance(40)) plan.radio.eraseDuration = erases[pick(std::size(erases))];
    const std::chrono::milliseconds resets[] = {3ms, 20ms, 150ms, 2500ms};
    if (chance(30)) plan.radio.resetDuration = resets[pick(std::size(resets))];

    const std::size_t faults = chance(25) ? 0 : 1 + pick(3);
    for (std::size_t i = 0; i < faults; ++i) {
        sim::Fault fault{kSteps[pick(std::size(kSteps))], FaultAction::Nack, 0, 1};
        FaultAction actions[] = {FaultAction::Nack,   FaultAction::Silence, FaultAction::Refuse,
                                 FaultAction::HangUp, FaultAction::Flood,   FaultAction::Corrupt};
        // A flipped byte that nothing reads back cannot be seen by any job.
        fault.action = actions[pick(plan.verify ? 6 : 5)];
        fault.first = static_cast<int>(pick(4));
        fault.count = chance(15) ? 1 + static_cast<int>(pick(200)) : 1 + static_cast<int>(pick(2));
        plan.radio.faults.push_back(fault);
    }
    if (chance(10)) plan.line.cutAtWrite = static_cast<int>(pick(70));
    if (chance(8)) plan.line.dropRead = static_cast<int>(pick(40));
    if (chance(8)) {
        plan.line.garbleRead = static_cast<int>(pick(40));
        const std::uint8_t damaged[] = {0x1F, 0x00, 0xFF, 0x55, '@', 0x7F};
        plan.line.garbleTo = damaged[pick(std::size(damaged))];
    }
    return plan;
}

std::string Describe(const RadioPlan& plan)
{
    std::string text = std::string(plan.mode == UpgradeMode::Full ? "full" : "user-program") +
                       ", " + firmware::PacingName(plan.pacing) + (plan.verify ? ", verify" : "") +
                       ", boot " + std::to_string(plan.bootSize) + " bytes, user " +
                       std::to_string(plan.userSize) + " bytes" +
                       (plan.radio.startInLoader ? ", radio in its loader" : "");
    const auto ms = [](auto d) {
        return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
    };
    text += ", reply delay " + ms(plan.radio.replyDelay) + " ms, erase " +
            ms(plan.radio.eraseDuration) + " ms, reset " + ms(plan.radio.resetDuration) + " ms";
    const char* actions[] = {"nack", "silence", "refuse", "hangup", "flood", "corrupt"};
    for (const sim::Fault& f : plan.radio.faults) {
        text += "\n  fault " + std::string(sim::StepName(f.step)) + ":" +
                actions[static_cast<int>(f.action)] + ":" + std::to_string(f.first) + ":" +
                std::to_string(f.count);
    }
    if (plan.line.cutAtWrite)
        text += "\n  line drops at write " + std::to_string(*plan.line.cutAtWrite);
    if (plan.line.dropRead) text += "\n  read " + std::to_string(*plan.line.dropRead) + " lost";
    if (plan.line.garbleRead) {
        text += "\n  read " + std::to_string(*plan.line.garbleRead) + " starts with " +
                Hex(std::span(&plan.line.garbleTo, 1)) + " instead";
    }
    return text;
}

Bytes Pattern(std::size_t size, std::uint64_t seed)
{
    Bytes bytes(size);
    std::mt19937_64 rng(seed);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    return bytes;
}

// A folder for Sys.dat, in memory where the system offers one.
class SysDatFolder {
public:
    SysDatFolder()
    {
        std::error_code error;
        const std::filesystem::path shm = "/dev/shm";
        const auto base = std::filesystem::is_directory(shm, error)
                              ? shm
                              : std::filesystem::temp_directory_path();
        m_path = base / ("korvane-property-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(m_path);
    }
    ~SysDatFolder()
    {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    std::filesystem::path SysDat() const { return m_path / "Sys.dat"; }

private:
    std::filesystem::path m_path;
};

struct Verdict {
    std::string breach;  // empty: the job kept every rule
    std::vector<WireRequest> requests;
    std::string ending;
};

Verdict RunRadio(const RadioPlan& plan, settings::SettingsStore& store)
{
    const Bytes boot = Pattern(plan.bootSize, plan.seed ^ 0xB007);
    const Bytes user = Pattern(plan.userSize, plan.seed ^ 0x05E4);
    const auto bound = TimeBound(plan);

    VirtualSleeper clock;
    // A job still waiting past its bound is stopped: that is the breach.
    clock.OnSleep([&clock, bound](std::chrono::milliseconds now) {
        if (now > bound + 1s) clock.RequestStop();
    });
    sim::RadioSim radio(plan.radio);
    sim::MemoryRadioPort port(radio, clock);
    WireProbe line(
        port, [&clock] { return clock.Now(); }, plan.line);
    const std::int32_t before = store.UpgradeCount();
    firmware::JobResult result;
    {
        firmware::DownloadJob job(line, store, &clock);
        job.SetPacing(plan.pacing);
        job.SetVerify(plan.verify);
        job.Start(plan.mode, boot, user);
        job.Join();
        result = job.Result().value_or(firmware::JobResult{});
    }
    const std::int32_t after = settings::SettingsStore(store.Path()).UpgradeCount();
    store.Load(store.Path());

    Verdict verdict;
    verdict.requests = line.Requests();
    const sim::SimResults sent = radio.Results();
    const bool success = result.outcome == JobOutcome::Completed;
    verdict.ending = std::string(success ? "success" : "failure") + " at stage " +
                     firmware::StageName(result.record.stage) + " after " +
                     std::to_string(clock.Now().count()) + " ms" +
                     (result.message.empty() ? "" : ": " + result.message);
    const auto breach = [&verdict](std::string text) {
        if (verdict.breach.empty()) verdict.breach = std::move(text);
    };

    if (line.RanAway()) breach("the job kept polling without end");
    if (clock.Now() > bound) {
        breach("the job took " + std::to_string(clock.Now().count()) + " ms, more than its " +
               std::to_string(bound.count()) + " ms");
    }
    if (success) {
        if (plan.mode == UpgradeMode::Full) {
            const bool holds = sent.erased && sent.started && sent.flash.size() >= boot.size() &&
                               std::equal(boot.begin(), boot.end(), sent.flash.begin());
            if (!holds) breach("success, but the radio's flash does not hold the boot image");
        }
        Bytes padded = user;
        padded.resize(Blocks(plan) * kBlockSize, 0);
        if (sent.blocksAccepted != static_cast<int>(Blocks(plan)) || sent.program != padded) {
            breach("success, but the loader took " + std::to_string(sent.blocksAccepted) + " of " +
                   std::to_string(Blocks(plan)) + " blocks as sent");
        }
    }
    // The one failure that has counted: a line lost just before the end frame,
    // after every block was accepted (the job's result says it counted).
    const bool countedAtEndFrame = !success && result.record.counted &&
                                   result.record.stage == firmware::JobStage::EndFrame &&
                                   result.outcome == JobOutcome::Serial;
    if (after - before != (success || countedAtEndFrame ? 1 : 0) ||
        result.record.counted != (after != before)) {
        breach("the counter moved from " + std::to_string(before) + " to " + std::to_string(after) +
               " on a " + (success ? "success" : "failure"));
    }
    if (const auto at = FirstGoneOnUnanswered(verdict.requests, plan.pacing)) {
        breach("request " + std::to_string(*at) + " (" + Hex(verdict.requests[*at].bytes) +
               ") went " + (verdict.requests[*at].reply.empty() ? "unanswered" : "refused") +
               ", yet the job sent more");
    }
    return verdict;
}

// Simpler radios that still breach a rule: faults left out one by one, the line
// cut earlier, shorter images, no delays; the first simplification that keeps
// the breach is kept, until none does.
RadioPlan Shrink(RadioPlan plan, settings::SettingsStore& store)
{
    const auto fails = [&store](const RadioPlan& p) { return !RunRadio(p, store).breach.empty(); };
    for (bool shrunk = true; shrunk;) {
        shrunk = false;
        std::vector<RadioPlan> simpler;
        for (std::size_t i = 0; i < plan.radio.faults.size(); ++i) {
            RadioPlan p = plan;
            p.radio.faults.erase(p.radio.faults.begin() + static_cast<std::ptrdiff_t>(i));
            simpler.push_back(p);
        }
        if (plan.line.cutAtWrite && *plan.line.cutAtWrite > 0) {
            RadioPlan p = plan;
            p.line.cutAtWrite = *plan.line.cutAtWrite / 2;
            simpler.push_back(p);
            p.line.cutAtWrite = *plan.line.cutAtWrite - 1;
            simpler.push_back(p);
        }
        for (auto LineFaults::*read :
             {&LineFaults::cutAtWrite, &LineFaults::dropRead, &LineFaults::garbleRead}) {
            if (!(plan.line.*read)) continue;
            RadioPlan p = plan;
            p.line.*read = std::nullopt;
            simpler.push_back(p);
        }
        for (auto size : {&RadioPlan::bootSize, &RadioPlan::userSize}) {
            if (plan.*size <= 1) continue;
            RadioPlan p = plan;
            p.*size = std::max<std::size_t>(1, plan.*size / 2);
            simpler.push_back(p);
        }
        for (auto time : {&sim::SimOptions::replyDelay, &sim::SimOptions::eraseDuration,
                          &sim::SimOptions::resetDuration}) {
            if (plan.radio.*time == sim::SimTime{0}) continue;
            RadioPlan p = plan;
            p.radio.*time = sim::SimTime{0};
            simpler.push_back(p);
        }
        for (const RadioPlan& p : simpler) {
            if (!fails(p)) continue;
            plan = p;
            shrunk = true;
            break;
        }
    }
    return plan;
}

std::string Report(const RadioPlan& found, settings::SettingsStore& store)
{
    const RadioPlan shortest = Shrink(found, store);
    const Verdict verdict = RunRadio(shortest, store);
    return "radio seed " + std::to_string(found.seed) +
           " (KORVANE_PROPERTY_REPLAY=" + std::to_string(found.seed) + " runs it alone)\n" +
           verdict.breach + "\nshortest radio: " + Describe(shortest) + "\n" + verdict.ending +
           "\n" + Transcript(verdict.requests);
}

TEST(FalseSuccessSearch, NoRandomRadioGetsAFalseSuccess)
{
    const std::uint64_t radios =
        EnvNumber("KORVANE_PROPERTY_RADIOS").value_or(KORVANE_PROPERTY_RADIOS_DEFAULT);
    const std::uint64_t base = EnvNumber("KORVANE_PROPERTY_SEED").value_or(std::random_device{}());
    const std::optional<std::uint64_t> replay = EnvNumber("KORVANE_PROPERTY_REPLAY");

    SysDatFolder folder;
    settings::SettingsStore store(folder.SysDat());
    std::uint64_t successes = 0;
    const std::uint64_t count = replay ? 1 : radios;
    for (std::uint64_t i = 0; i < count; ++i) {
        const RadioPlan plan = DrawPlan(replay ? *replay : SplitMix(base + i));
        const Verdict verdict = RunRadio(plan, store);
        if (!verdict.breach.empty()) {
            FAIL() << "first seed " << base << ", radio " << i << ": " << Report(plan, store);
        }
        if (verdict.ending.starts_with("success")) ++successes;
    }
    // A search whose radios all fail would find no false success either.
    if (!replay) {
        EXPECT_GT(successes, count / 20) << "first seed " << base;
    }
    std::printf("%llu radios from seed %llu, %llu successes\n",
                static_cast<unsigned long long>(count), static_cast<unsigned long long>(base),
                static_cast<unsigned long long>(successes));
}

}  // namespace
}  // namespace korvane::testing
