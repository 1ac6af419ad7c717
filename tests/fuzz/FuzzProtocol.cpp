// A whole download job against a radio whose every reply comes from the input:
// for each request the job writes, the next record of the input says how long
// the radio waits and what it sends (any bytes, a flood, or the line hanging
// up); when the input runs out the radio falls silent. Built twice: the full
// upgrade (ROM bootloader stage, then the loader) and the user-program upgrade
// (the loader stage alone). On the virtual clock, whatever the replies, the job
// ends within its bound, goes on only past answered requests, and counts only
// what it reports as counted.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "firmware/DownloadJob.h"
#include "settings/SettingsStore.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/property/WireProbe.h"
#include "tests/support/ScriptedPort.h"
#include "tests/support/VirtualSleeper.h"

#ifndef KORVANE_FUZZ_FULL_UPGRADE
#error "define KORVANE_FUZZ_FULL_UPGRADE to 1 (both stages) or 0 (the loader stage)"
#endif

namespace {

using namespace std::chrono_literals;
using korvane::firmware::JobOutcome;
using korvane::firmware::Pacing;
using korvane::firmware::UpgradeMode;

constexpr std::size_t kFloodBytes = 2000;

// The radio's side of the input: one record per request.
class Replies {
public:
    explicit Replies(std::span<const std::uint8_t> input) : m_input(input) {}

    void Answer(korvane::testing::ScriptedPort& port)
    {
        if (m_at >= m_input.size()) return;  // silent from now on
        const std::uint8_t header = m_input[m_at++];
        static constexpr std::chrono::milliseconds kDelays[] = {0ms,  1ms,   5ms,   20ms,
                                                                49ms, 120ms, 999ms, 1500ms};
        const auto delay = kDelays[header >> 5];
        const std::size_t length = header & 0x1F;
        if (length == 0x1F && (header >> 5) == 7) {
            port.SetOpen(false);  // the line hangs up
            return;
        }
        if (length == 0x1E) {  // a flood of one byte
            const std::uint8_t b = m_at < m_input.size() ? m_input[m_at++] : 0x79;
            port.ArriveAfter(delay, std::vector<std::uint8_t>(kFloodBytes, b));
            return;
        }
        const std::size_t n = std::min(length, m_input.size() - m_at);
        port.ArriveAfter(delay, {m_input.begin() + static_cast<std::ptrdiff_t>(m_at),
                                 m_input.begin() + static_cast<std::ptrdiff_t>(m_at + n)});
        m_at += n;
    }

private:
    std::span<const std::uint8_t> m_input;
    std::size_t m_at = 0;
};

korvane::settings::SettingsStore& Store()
{
    static korvane::settings::SettingsStore store(korvane::fuzz::ScratchDir() / "Sys.dat");
    return store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3) return 0;
    const bool full = KORVANE_FUZZ_FULL_UPGRADE != 0;
    const Pacing pacing = (data[0] & 1) != 0 ? Pacing::Patient : Pacing::Exact;
    const bool verify = full && (data[0] & 2) != 0;
    const std::vector<std::uint8_t> boot(1 + 2 * std::size_t{data[1]}, 0xB5);
    const std::vector<std::uint8_t> user(1 + 40 * std::size_t{data[2]}, 0x3C);
    const std::size_t frames = full ? (boot.size() + 255) / 256 : 0;
    const std::size_t blocks = (user.size() + 4095) / 4096;
    const auto bound = 160s + (verify ? 6100ms : 3100ms) * static_cast<long>(frames) +
                       1500ms * static_cast<long>(blocks);

    korvane::testing::VirtualSleeper clock;
    clock.OnSleep([&clock, bound](std::chrono::milliseconds now) {
        if (now > bound + 1s) clock.RequestStop();
    });
    korvane::testing::ScriptedPort radio(clock);
    Replies replies(std::span(data + 3, size - 3));
    radio.OnWrite([&replies](std::span<const std::uint8_t>, korvane::testing::ScriptedPort& port) {
        replies.Answer(port);
    });
    korvane::testing::LineFaults limits;
    limits.runawayLimit = 5'000'000;
    korvane::testing::WireProbe line(
        radio, [&clock] { return clock.Now(); }, limits);

    auto& store = Store();
    const std::int32_t before = store.UpgradeCount();
    korvane::firmware::JobResult result;
    {
        korvane::firmware::DownloadJob job(line, store, &clock);
        job.SetPacing(pacing);
        job.SetVerify(verify);
        job.Start(full ? UpgradeMode::Full : UpgradeMode::UserProgram, boot, user);
        job.Join();
        const auto ended = job.Result();
        KORVANE_FUZZ_CHECK(ended.has_value());
        result = *ended;
    }
    const std::int32_t after = korvane::settings::SettingsStore(store.Path()).UpgradeCount();
    store.Load(store.Path());

    // Replaying one input (fuzz_rom_stage FILE) with KORVANE_FUZZ_TRANSCRIPT=1 shows its run.
    if (std::getenv("KORVANE_FUZZ_TRANSCRIPT") != nullptr) {
        std::fprintf(stderr, "%s at %s after %lld ms %s\n%s",
                     result.outcome == JobOutcome::Completed ? "success" : "failure",
                     korvane::firmware::StageName(result.record.stage),
                     static_cast<long long>(clock.Now().count()), result.message.c_str(),
                     korvane::testing::Transcript(line.Requests()).c_str());
    }
    KORVANE_FUZZ_CHECK(!line.RanAway());
    KORVANE_FUZZ_CHECK(clock.Now() <= bound);
    KORVANE_FUZZ_CHECK(result.outcome != JobOutcome::Stopped &&
                       result.outcome != JobOutcome::Other);
    KORVANE_FUZZ_CHECK(!korvane::testing::FirstGoneOnUnanswered(line.Requests(), pacing));
    KORVANE_FUZZ_CHECK(result.record.counted == (after != before));
    if (result.outcome == JobOutcome::Completed) {
        KORVANE_FUZZ_CHECK(result.record.blocksSent == static_cast<std::int32_t>(blocks));
        KORVANE_FUZZ_CHECK(result.record.framesSent == static_cast<std::int32_t>(frames));
        KORVANE_FUZZ_CHECK(result.record.counted);
        if (verify) KORVANE_FUZZ_CHECK(result.verified == true);
    }
    return 0;
}
