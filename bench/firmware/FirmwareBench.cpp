// Firmware benchmarks: full upgrades through the real serial backend against
// the simulated radio on a pseudo-terminal behind a simulated 115200-baud wire,
// under both pacing policies and for several radios, measured against the
// protocol's own floor and the floor the wire allows; and CRC-32 throughput.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "firmware/DownloadJob.h"
#include "firmware/image/Image.h"
#include "firmware/image/Qorin_CRC32.h"
#include "serial/CMscomm.h"
#include "settings/SettingsStore.h"
#include "sim/PtyRadio.h"

namespace {

using namespace std::chrono_literals;
using Seconds = std::chrono::duration<double>;

constexpr std::size_t kBootSize = 16 * 1024;
constexpr std::size_t kUserSize = 64 * 1024;
constexpr auto kPoll = 50ms;
constexpr unsigned kBaud = 115200;
constexpr double kBitsPerByte = 11;
constexpr auto kPausesPerBlock = 100ms + 200ms;  // the loader's own, around each block
constexpr auto kResetSettles = 2 * 10ms;         // patient: after each unprotect's reset

// The protocol's own floor for a radio that answers at once: the pauses, and
// the polls no answer can shorten. A read ends at its first check only once all
// the bytes it wants are there, so the steps that want two bytes where the
// bootloader sends one ACK (Erase, global erase, Read Memory, its address, the
// Go address) each wait one poll, and the wait for '!' makes one read of ten
// polls (its '!' already came with the '-' read). Each block adds its 100 ms
// and 200 ms pauses.
std::chrono::milliseconds ProtocolFloor(std::size_t userSize)
{
    constexpr int kShortAnswerSteps = 5;
    constexpr int kReadyWaitPolls = 10;
    const std::size_t blocks = (userSize + 4095) / 4096;
    return kPoll * (kShortAnswerSteps + kReadyWaitPolls) +
           (100ms + 200ms) * static_cast<long>(blocks);
}

// On a real 115200-baud line no answer can be there at the first check, so
// every read waits at least one poll: the floor a real radio sees.
std::chrono::milliseconds RealLineFloor(std::size_t bootSize, std::size_t userSize)
{
    const std::size_t frames = (bootSize + 255) / 256;
    const std::size_t blocks = (userSize + 4095) / 4096;
    const std::size_t romReads = 1 + 11 + 3 * frames + 2;  // sync, steps 2-12, frames, Go
    const auto handshake = 3 * kPoll + 10 * kPoll;         // 'G', '+', '-', then the wait
    return kPoll * static_cast<long>(romReads) + handshake +
           (100ms + kPoll + 200ms) * static_cast<long>(blocks) + kPoll;
}

std::vector<std::uint8_t> Pattern(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 131 + 7);
    return bytes;
}

std::filesystem::path WriteFile(const std::filesystem::path& path,
                                const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

Seconds CpuTime()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto toSeconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return Seconds(toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime));
}

long PeakMemoryKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Outcome {
    bool finished = false;
    bool delivered = false;
    std::string error;
    Seconds wall{0};
    Seconds cpu{0};
    // What the run could not have been shorter than: every byte it sent and got
    // at 11 bits, the chip's erase, reset and programming times, the pauses.
    Seconds wireFloor{0};
};

// One full upgrade against a fresh simulated radio on a pty. CPU is the whole
// process's: the worker and the simulated radio's thread together.
Outcome RunUpgrade(const korvane::sim::SimOptions& options, korvane::firmware::Pacing pacing)
{
    using namespace korvane;
    const auto dir = std::filesystem::temp_directory_path() / "korvane-firmware-bench";
    std::filesystem::create_directories(dir);
    const auto boot = Pattern(kBootSize), user = Pattern(kUserSize);
    const auto bootPath = WriteFile(dir / "boot.bin", boot);
    const auto userPath = WriteFile(dir / "user.bin", user);
    settings::SettingsStore settings(dir / "Sys.dat");

    sim::PtyRadio radio(options);
    serial::CMscomm port;
    port.SetDevicePath(radio.SlavePath());
    port.SetSettings("115200,E,8,1");
    port.SetPortOpen(true);
    firmware::DownloadJob job(port.Port(), settings);
    job.SetPacing(pacing);

    Outcome outcome;
    const auto cpuBefore = CpuTime();
    const auto start = std::chrono::steady_clock::now();
    job.Start(firmware::UpgradeMode::Full, bootPath, userPath);
    job.Join();
    outcome.wall = std::chrono::steady_clock::now() - start;
    outcome.cpu = CpuTime() - cpuBefore;
    const auto results = radio.Results();
    outcome.finished = job.Snapshot().workerState == firmware::WorkerState::Finished;
    outcome.delivered = results.flash == boot && results.program.size() >= user.size() &&
                        std::equal(user.begin(), user.end(), results.program.begin());
    if (const auto result = job.Result()) outcome.error = result->message;
    const double bytes = static_cast<double>(results.received.size() + results.answered);
    const auto blocks = static_cast<long>((kUserSize + 4095) / 4096);
    outcome.wireFloor = Seconds(bytes * kBitsPerByte / kBaud) + results.chipTime +
                        kPausesPerBlock * blocks +
                        (pacing == firmware::Pacing::Patient ? kResetSettles : 0ms);
    std::filesystem::remove_all(dir);
    return outcome;
}

void BenchFullUpgrade()
{
    using namespace std::chrono_literals;
    using korvane::firmware::Pacing;
    using korvane::sim::SimOptions;
    const Seconds floor = ProtocolFloor(kUserSize);
    std::printf(
        "full upgrade, %zu KiB boot image + %zu KiB user program over a pty, the radio behind a "
        "simulated %u-baud wire (11 bits a byte)\n",
        kBootSize / 1024, kUserSize / 1024, kBaud);
    std::printf(
        "instant-reply floor of the protocol: %.2f s; on a real line the fixed schedule "
        "needs at least %.2f s\n\n",
        floor.count(), Seconds(RealLineFloor(kBootSize, kUserSize)).count());

    SimOptions late = SimOptions::Stm32F1Timing();
    late.replyDelay = 16ms;
    std::vector<std::pair<const char*, SimOptions>> radios = {
        {"instant radio", SimOptions{}},
        {"STM32F1 timing", SimOptions::Stm32F1Timing()},
        {"STM32F1, 16 ms adapter", late},
        {"10 s mass erase", SimOptions::SlowMassEraseTiming()},
    };
    for (auto& radio : radios) radio.second.baud = kBaud;
    std::printf("%-24s %-8s %-9s %8s %8s %7s %8s %8s %6s\n", "radio", "pacing", "result", "wall s",
                "CPU s", "CPU %", "x floor", "wire fl.", "x wire");
    for (const auto& [name, options] : radios) {
        Seconds exactWall{0};
        for (Pacing pacing : {Pacing::Exact, Pacing::Patient}) {
            const Outcome o = RunUpgrade(options, pacing);
            const char* result = !o.finished ? "FAILED" : o.delivered ? "completed" : "DIFFERS";
            std::printf("%-24s %-8s %-9s %8.2f %8.3f %6.1f%% %8.2f", name,
                        korvane::firmware::PacingName(pacing), result, o.wall.count(),
                        o.cpu.count(), 100.0 * o.cpu.count() / o.wall.count(),
                        o.wall.count() / floor.count());
            // A run that ended early has no floor to be measured against.
            if (o.finished) {
                std::printf(" %8.2f %6.2f", o.wireFloor.count(),
                            o.wall.count() / o.wireFloor.count());
            } else {
                std::printf(" %8s %6s", "-", "-");
            }
            if (pacing == Pacing::Exact && o.finished) exactWall = o.wall;
            if (pacing == Pacing::Patient && exactWall.count() > 0) {
                std::printf("  (%.2fx faster than exact)", exactWall.count() / o.wall.count());
            }
            if (!o.finished) std::printf("\n    %s", o.error.c_str());
            std::printf("\n");
        }
    }
    std::printf("peak memory %ld KiB (ru_maxrss)\n\n", PeakMemoryKiB());
}

void BM_Crc32OfAFullImageBuffer(benchmark::State& state)
{
    const auto image = Pattern(korvane::firmware::kImageBufferSize);
    const korvane::firmware::Qorin_CRC32 crc;
    for (auto _ : state) benchmark::DoNotOptimize(crc.Compute(image));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(image.size()));
}
BENCHMARK(BM_Crc32OfAFullImageBuffer)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    BenchFullUpgrade();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
