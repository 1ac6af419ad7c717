// The ROM write phase of a 64 KiB boot image on a simulated STM32F1 behind a
// 115200-baud wire: `korvane flash` against stm32flash (a peer tool for the
// same ROM bootloader), each on a fresh radio of the same kind, in the same
// run, beside the floor the wire and the chip allow (every frame's 268 bytes
// at 11 bits each, plus the chip's programming time). The phase is timed by
// the radio itself, from the first Write Memory command to the last frame's
// ACK, so both tools are measured alike. Run by hand: build/bin/rom_write_bench.
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
#include <optional>
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
using korvane::bench::Write;

namespace fs = std::filesystem;
using Seconds = std::chrono::duration<double>;

constexpr std::size_t kBootSize = 64 * 1024;
constexpr std::size_t kFrameSize = 256;
constexpr unsigned kBaud = 115200;
constexpr int kRounds = 2;
// On the wire per frame: Write Memory and its complement, ACK, the address
// and its checksum, ACK, N-1, 256 bytes, the checksum, ACK.
constexpr double kFrameBytes = 2 + 1 + 5 + 1 + 1 + kFrameSize + 1 + 1;
constexpr double kBitsPerByte = 11;

struct Run {
    bool ok = false;
    int exitStatus = -1;
    double writeSeconds = 0;  // the write phase, as the radio saw it
    double wallSeconds = 0;   // the whole run of the tool
    double cpuSeconds = 0;    // the tool's own CPU
};

korvane::sim::SimOptions Radio()
{
    korvane::sim::SimOptions options = korvane::sim::SimOptions::Stm32F1Timing();
    // The wire is the line's whole delay here: the chip answers once the last
    // byte of a request is in (the bootloader's own reaction is microseconds),
    // so the floor is the wire and the programming alone. firmware_bench keeps
    // the millisecond a USB adapter adds to every answer.
    options.replyDelay = {};
    options.baud = kBaud;
    options.strict = true;
    return options;
}

Seconds Floor()
{
    const double frames = static_cast<double>((kBootSize + kFrameSize - 1) / kFrameSize);
    const auto program = Radio().programDuration * static_cast<long>(frames);
    return Seconds(frames * kFrameBytes * kBitsPerByte / kBaud) + program;
}

// Runs `args` (found on PATH when not a path) with its output in `log`; a fresh
// radio of the bench's kind is given to `args` as its last argument.
Run RunTool(std::vector<std::string> args, const fs::path& log,
            const std::vector<std::uint8_t>& boot)
{
    korvane::sim::PtyRadio radio(Radio());
    for (std::string& arg : args) {
        if (arg == "PORT") arg = radio.SlavePath();
    }
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    const std::string out = log.string();
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);

    Run run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) return run;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.wallSeconds = Seconds(std::chrono::steady_clock::now() - start).count();
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    radio.Stop();
    const korvane::sim::SimResults r = radio.Results();
    if (r.firstWriteAt && r.lastWriteAckAt) {
        run.writeSeconds = Seconds(*r.lastWriteAckAt - *r.firstWriteAt).count();
    }
    // stm32flash pads its last frame, Korvane's patient pacing too: the image
    // must be there, erased flash (0xFF) after it.
    run.ok = run.exitStatus == 0 && r.flash.size() >= boot.size() &&
             std::equal(boot.begin(), boot.end(), r.flash.begin()) &&
             std::all_of(r.flash.begin() + static_cast<long>(boot.size()), r.flash.end(),
                         [](std::uint8_t b) { return b == 0xFF; });
    return run;
}

void Print(const char* tool, const Run& run, double floor)
{
    std::printf("%-11s %-7s %8.3f %8.3f %10.2f %8.3f %8.2f%%\n", tool, run.ok ? "ok" : "FAILED",
                run.writeSeconds, run.writeSeconds / floor, run.wallSeconds, run.cpuSeconds,
                100.0 * run.cpuSeconds / run.wallSeconds);
}

bool HaveStm32flash()
{
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "";
    for (std::size_t at = 0; at <= dirs.size();) {
        const std::size_t colon = std::min(dirs.find(':', at), dirs.size());
        if (access((fs::path(dirs.substr(at, colon - at)) / "stm32flash").c_str(), X_OK) == 0)
            return true;
        at = colon + 1;
    }
    return false;
}

}  // namespace

int main()
{
    const fs::path dir =
        fs::temp_directory_path() / ("korvane-rom-write-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::copy_file(KORVANE_CLI_BINARY, dir / "korvane");  // its Sys.dat lands in `dir`
    const auto boot = Image(kBootSize, 7);
    Write(dir / "boot.bin", boot);
    Write(dir / "user.bin", Image(16, 8));
    const bool peer = HaveStm32flash();

    const double floor = Floor().count();
    std::printf(
        "ROM write phase of a %zu KiB boot image, STM32F1 timing (7 ms per 256-byte frame),\n"
        "strict, on a %u-baud wire (11 bits a byte)\n",
        kBootSize / 1024, kBaud);
    std::printf("floor: %zu frames x %.0f bytes x 11 bits / %u + programming = %.3f s\n\n",
                kBootSize / kFrameSize, kFrameBytes, kBaud, floor);
    std::printf("%-11s %-7s %8s %8s %10s %8s %9s\n", "tool", "result", "write s", "x floor",
                "run wall s", "CPU s", "CPU/core");
    for (int round = 0; round < kRounds; ++round) {
        const Run korvane =
            RunTool({(dir / "korvane").string(), "flash", "--port", "PORT", "--boot",
                     (dir / "boot.bin").string(), "--user", (dir / "user.bin").string()},
                    dir / "korvane.log", boot);
        Print("korvane", korvane, floor);
        if (!peer) {
            std::printf("stm32flash  not installed (scripts/install-deps.sh installs it)\n");
            continue;
        }
        // A pseudo-terminal takes no parity bit, so stm32flash runs 8N1 on it;
        // the simulated wire gives its bytes 11 bits all the same.
        const Run stm32flash = RunTool(
            {"stm32flash", "-b", "115200", "-m", "8n1", "-w", (dir / "boot.bin").string(), "PORT"},
            dir / "stm32flash.log", boot);
        Print("stm32flash", stm32flash, floor);
        if (korvane.writeSeconds > 0 && stm32flash.writeSeconds > 0) {
            std::printf("  korvane / stm32flash: %.3f\n",
                        korvane.writeSeconds / stm32flash.writeSeconds);
        }
        std::fflush(stdout);
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return 0;
}
