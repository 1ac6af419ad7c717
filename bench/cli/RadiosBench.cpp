// How one `korvane flash` scales with the number of radios: for 1, 4, 8 and 16
// simulated radios on pseudo-terminals (in this process), a full upgrade of
// 16 KiB + 64 KiB on every one, each radio behind a simulated 115200-baud wire
// (11 bits a byte), run by hand. Prints the wall time per count, the floor the
// wire allows (every byte sent and answered, and the loader's pauses),
// its ratio to one radio, korvane's CPU time as a share of one core, and its
// peak memory; checks that every radio received both images.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchImages.h"
#include "sim/PtyRadio.h"

#ifndef KORVANE_CLI_BINARY
#error "KORVANE_CLI_BINARY must name the built korvane"
#endif

extern char** environ;

namespace {

using korvane::bench::Image;
using korvane::bench::Received;
using korvane::bench::Write;

namespace fs = std::filesystem;

constexpr std::size_t kBootSize = 16 * 1024;
constexpr std::size_t kUserSize = 64 * 1024;
constexpr int kRadioCounts[] = {1, 4, 8, 16};
constexpr double kMicro = 1e-6;
constexpr unsigned kBaud = 115200;
constexpr double kBitsPerByte = 11;
constexpr double kPausesPerBlock = 0.3;       // the loader's 100 ms and 200 ms, around each block
constexpr double kResetSettleSeconds = 0.02;  // after each of the two unprotects' resets

struct Figures {
    int radios = 0;
    int exitStatus = -1;
    double wallSeconds = 0.0;
    double cpuSeconds = 0.0;
    long peakKiB = 0;
    int complete = 0;               // radios that received both images and the end frame
    double wireFloorSeconds = 0.0;  // of the first radio
};

// Runs korvane (copied into `dir`, so that its Sys.dat is the bench's) on
// `count` fresh radios, its output to files in `dir`.
Figures Run(const fs::path& dir, int count, const std::vector<std::uint8_t>& boot,
            const std::vector<std::uint8_t>& user)
{
    std::vector<std::unique_ptr<korvane::sim::PtyRadio>> radios;
    std::vector<std::string> args{
        (dir / "korvane").string(),  "flash",  "--boot",
        (dir / "boot.bin").string(), "--user", (dir / "user.bin").string()};
    for (int i = 0; i < count; ++i) {
        korvane::sim::SimOptions wire;
        wire.baud = kBaud;
        radios.push_back(std::make_unique<korvane::sim::PtyRadio>(wire));
        args.insert(args.end(), {"--port", radios.back()->SlavePath()});
    }
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    const std::string out = (dir / "out.txt").string();
    const std::string err = (dir / "err.txt").string();
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);

    Figures figures;
    figures.radios = count;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0) {
        std::perror("posix_spawn");
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&files);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    figures.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    figures.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    figures.cpuSeconds =
        static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * kMicro;
    figures.peakKiB = usage.ru_maxrss;
    for (const auto& radio : radios) {
        radio->Stop();
        const korvane::sim::SimResults r = radio->Results();
        if (figures.wireFloorSeconds == 0.0) {
            const double bytes = static_cast<double>(r.received.size() + r.answered);
            const double blocks = static_cast<double>(r.blocksAccepted);
            figures.wireFloorSeconds = bytes * kBitsPerByte / kBaud +
                                       std::chrono::duration<double>(r.chipTime).count() +
                                       kPausesPerBlock * blocks + kResetSettleSeconds;
        }
        figures.complete +=
            Received(r.flash, boot) && Received(r.program, user) && r.endFrame ? 1 : 0;
    }
    return figures;
}

}  // namespace

int main()
{
    const fs::path dir =
        fs::temp_directory_path() / ("korvane-radios-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::copy_file(KORVANE_CLI_BINARY, dir / "korvane");
    const auto boot = Image(kBootSize, 1);
    const auto user = Image(kUserSize, 2);
    Write(dir / "boot.bin", boot);
    Write(dir / "user.bin", user);

    std::printf("%-7s %-5s %-9s %-9s %-9s %-8s %-10s %s\n", "radios", "exit", "wall s", "wire fl.",
                "ratio", "CPU s", "CPU/core", "peak MiB  complete");
    double single = 0.0;
    for (const int count : kRadioCounts) {
        const Figures f = Run(dir, count, boot, user);
        if (count == 1) single = f.wallSeconds;
        std::printf("%-7d %-5d %-9.2f %-9.2f %-9.3f %-8.2f %6.2f%%    %-9.1f %d/%d\n", f.radios,
                    f.exitStatus, f.wallSeconds, f.wireFloorSeconds, f.wallSeconds / single,
                    f.cpuSeconds, 100.0 * f.cpuSeconds / f.wallSeconds,
                    static_cast<double>(f.peakKiB) / 1024.0, f.complete, f.radios);
        if (f.exitStatus != 0) {
            // What korvane said of the radios that failed, to see why.
            std::ifstream errors(dir / "err.txt");
            for (std::string line; std::getline(errors, line);)
                std::printf("    %s\n", line.c_str());
        }
        std::fflush(stdout);
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return 0;
}
