// Firmware benchmarks: a full upgrade through the real serial backend against
// the simulated radio on a pseudo-terminal, measured against the protocol's own
// floor (its fixed pauses and poll waits), and CRC-32 throughput.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include <benchmark/benchmark.h>

#include "firmware/DownloadJob.h"
#include "firmware/Image.h"
#include "firmware/Qorin_CRC32.h"
#include "serial/CMscomm.h"
#include "settings/SettingsStore.h"
#include "sim/PtyRadio.h"

namespace {

using namespace std::chrono_literals;
using Seconds = std::chrono::duration<double>;

constexpr std::size_t kBootSize = 16 * 1024;
constexpr std::size_t kUserSize = 64 * 1024;
constexpr auto kPoll = 50ms;

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

void BenchFullUpgrade()
{
    using namespace korvane;
    const auto dir = std::filesystem::temp_directory_path() / "korvane-firmware-bench";
    std::filesystem::create_directories(dir);
    const auto boot = Pattern(kBootSize), user = Pattern(kUserSize);
    const auto bootPath = WriteFile(dir / "boot.bin", boot);
    const auto userPath = WriteFile(dir / "user.bin", user);
    settings::SettingsStore settings(dir / "Sys.dat");

    sim::PtyRadio radio;
    serial::CMscomm port;
    port.SetDevicePath(radio.SlavePath());
    port.SetSettings("115200,E,8,1");
    port.SetPortOpen(true);
    firmware::DownloadJob job(port, settings);

    const auto cpuBefore = CpuTime();
    const auto start = std::chrono::steady_clock::now();
    job.Start(firmware::UpgradeMode::Full, bootPath, userPath);
    job.Join();
    const Seconds wall = std::chrono::steady_clock::now() - start;
    const Seconds cpu = CpuTime() - cpuBefore;

    const auto results = radio.Results();
    const bool exact =
        results.flash == boot && std::equal(user.begin(), user.end(), results.program.begin());
    const Seconds floor = ProtocolFloor(kUserSize);
    const Seconds realLine = RealLineFloor(kBootSize, kUserSize);
    std::printf("full upgrade, %zu KiB boot image + %zu KiB user program over a pty:\n",
                kBootSize / 1024, kUserSize / 1024);
    std::printf("  result            %s, images %s\n",
                job.WorkerState() == firmware::kWorkerFinished ? "finished" : "FAILED",
                exact ? "delivered exactly" : "DIFFER");
    std::printf("  wall time         %.3f s\n", wall.count());
    std::printf("  protocol floor    %.3f s  (over by %.3f s, %.2f%%)\n", floor.count(),
                (wall - floor).count(), 100.0 * (wall - floor).count() / floor.count());
    std::printf("  real-line floor   %.3f s  (every read waits a poll at 115200 baud)\n",
                realLine.count());
    std::printf("  process CPU       %.3f s  (%.2f%% of wall)\n", cpu.count(),
                100.0 * cpu.count() / wall.count());
    std::printf("  peak memory       %ld KiB (ru_maxrss)\n", PeakMemoryKiB());
    std::filesystem::remove_all(dir);
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
