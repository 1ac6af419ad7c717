// A flashing station's session, run by the station's own code: radios plugged
// in waves (8 at a time by default) into watched slots, each a link in a
// folder of the bench's to a simulated STM32F1 on a pseudo-terminal behind a
// 115200-baud wire (in this process); once every radio of a wave has ended,
// the wave is unplugged and the next one plugged in. The loop is the one
// `korvane station --watch` runs: a look at the links every 500 ms (and at
// once when the bench has just changed them), the jobs' events applied every
// 100 ms. First one radio alone, whose time (plugged to ended) gives the
// ideal: a wave's worth of radios in that time. Prints radios per hour against
// the ideal, CPU time, and resident memory at the start and the end; checks
// that every radio received both images. Run by hand: build/bin/station_bench
// [--radios N] [--wave M].
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchImages.h"
#include "cli/RadioRun.h"
#include "cli/Station.h"
#include "settings/SettingsStore.h"
#include "sim/PtyRadio.h"
#include "station/PortSource.h"

namespace {

using korvane::bench::Image;
using korvane::bench::Received;
using korvane::bench::Write;

namespace fs = std::filesystem;
using korvane::station::Clock;
using Seconds = std::chrono::duration<double>;

constexpr std::size_t kBootSize = 4 * 1024;
constexpr std::size_t kUserSize = 8 * 1024;
constexpr unsigned kBaud = 115200;
constexpr std::chrono::milliseconds kLookInterval{500};  // as `korvane station`
constexpr std::chrono::milliseconds kTick{100};          // as `korvane station`
constexpr double kMiB = 1024.0 * 1024.0;

// Resident memory, from /proc/self/status, in bytes.
double ResidentBytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) * 1024.0;
    }
    return 0.0;
}

double CpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double LoadAverage()
{
    double load[1] = {0.0};
    return getloadavg(load, 1) == 1 ? load[0] : -1.0;
}

// Counts the ends; what the station shows is not the bench's concern.
struct Tally : korvane::cli::StationObserver {
    int ended = 0;
    int upgraded = 0;
    std::vector<std::string> failures;
    void OnPlugged(const korvane::cli::StationSlot&) override {}
    void OnUnplugged(const korvane::cli::StationSlot&) override {}
    void OnFlapping(const korvane::cli::StationSlot& slot) override
    {
        failures.push_back(slot.port.name + ": flapping");
    }
    void OnHeld(const korvane::cli::StationSlot& slot) override
    {
        failures.push_back(slot.port.name + ": held");
    }
    void OnStatus(const korvane::cli::StationSlot&, const std::string&) override {}
    void OnEnded(const korvane::cli::StationSlot& slot) override
    {
        ++ended;
        if (slot.radio.outcome.exitStatus == korvane::cli::kExitSuccess) {
            ++upgraded;
        } else {
            failures.push_back(slot.port.name + ": " + slot.radio.outcome.result);
        }
    }
    void OnWarning(const std::string& text) override { failures.push_back("warning " + text); }
};

// The station's loop around a bench that plugs radios into `slots`.
class Bench {
public:
    Bench(const fs::path& dir, korvane::cli::StationSetup setup,
          const std::vector<std::uint8_t>& boot, const std::vector<std::uint8_t>& user)
        : m_dir(dir),
          m_boot(boot),
          m_user(user),
          m_store(dir / korvane::settings::SettingsStore::kFileName),
          m_station(std::move(setup), m_store, m_tally)
    {
    }

    // Plugs `count` fresh radios into slot-1 .. slot-count, runs the station
    // until all have ended, unplugs them. Returns the time from the plug to the
    // last end the station saw; counts the radios that received both images.
    double Wave(int count)
    {
        std::vector<std::unique_ptr<korvane::sim::PtyRadio>> radios;
        for (int i = 0; i < count; ++i) {
            korvane::sim::SimOptions wire = korvane::sim::SimOptions::Stm32F1Timing();
            wire.baud = kBaud;
            const std::string id = "KRV" + std::to_string(100000000 + m_plugged++);
            std::copy_n(id.begin(), wire.uniqueId.size(), wire.uniqueId.begin());
            radios.push_back(std::make_unique<korvane::sim::PtyRadio>(wire));
            fs::create_symlink(radios.back()->SlavePath(), Slot(i));
        }
        const int endedBefore = m_tally.ended;
        const auto plugged = Clock::now();
        Look(plugged);
        Clock::time_point ended = plugged;
        while (m_tally.ended - endedBefore < count) {
            std::this_thread::sleep_for(kTick);
            const auto now = Clock::now();
            if (now >= m_nextLook) Look(now);
            m_station.Pump(korvane::cli::StopSignal::None, Clock::now());
            ended = Clock::now();
        }
        for (int i = 0; i < count; ++i) fs::remove(Slot(i));
        Look(Clock::now());
        for (auto& radio : radios) {
            radio->Stop();
            const korvane::sim::SimResults r = radio->Results();
            m_complete += Received(r.flash, m_boot) && Received(r.program, m_user) && r.endFrame;
        }
        return Seconds(ended - plugged).count();
    }

    int Complete() const { return m_complete; }
    const Tally& Ends() const { return m_tally; }

private:
    fs::path Slot(int i) const { return m_dir / ("slot-" + std::to_string(i + 1)); }

    void Look(Clock::time_point now)
    {
        m_nextLook = now + kLookInterval;
        m_station.Look(korvane::station::FromPatterns({(m_dir / "slot-*").string()}), now);
    }

    fs::path m_dir;
    const std::vector<std::uint8_t>& m_boot;
    const std::vector<std::uint8_t>& m_user;
    korvane::settings::SettingsStore m_store;
    Tally m_tally;
    korvane::cli::Station m_station;
    Clock::time_point m_nextLook;
    int m_plugged = 0;
    int m_complete = 0;
};

int Option(int argc, char** argv, const char* name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) return std::max(1, std::atoi(argv[i + 1]));
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv)
{
    const int radios = Option(argc, argv, "--radios", 200);
    const int wave = Option(argc, argv, "--wave", 8);
    const double rssAtStart = ResidentBytes();
    const double cpuAtStart = CpuSeconds(RUSAGE_SELF);

    const fs::path dir =
        fs::temp_directory_path() / ("korvane-station-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const auto boot = Image(kBootSize, 1);
    const auto user = Image(kUserSize, 2);
    Write(dir / "boot.bin", boot);
    Write(dir / "user.bin", user);

    korvane::cli::StationSetup setup;
    setup.images =
        korvane::cli::ReadImages({dir / "boot.bin", dir / "user.bin", false, false}, setup.base);
    setup.history.bootImage = (dir / "boot.bin").string();
    setup.history.userImage = (dir / "user.bin").string();
    setup.history.pacing = setup.images.pacing;
    setup.historyFile = dir / "history.csv";
    // A wave lasts seconds here where a radio takes minutes on a real bench, and
    // each wave's radios come back on the device nodes the last one freed: the
    // window in which a port that keeps coming back is taken for a bad cable is
    // shortened to well under a wave.
    setup.limits.flapWindow = std::chrono::milliseconds(250);

    std::printf(
        "station_bench: %d radios in waves of %d, full upgrade (boot %zu KiB, user %zu "
        "KiB) on simulated STM32F1s behind a %u-baud wire; load average %.2f\n",
        radios, wave, kBootSize / 1024, kUserSize / 1024, kBaud, LoadAverage());
    std::fflush(stdout);

    int failed = 0;
    {
        Bench bench(dir, std::move(setup), boot, user);
        const double single = bench.Wave(1);
        const double rssSession = ResidentBytes();
        const double cpuSession = CpuSeconds(RUSAGE_SELF);
        const double loopCpuSession = CpuSeconds(RUSAGE_THREAD);
        std::printf("one radio alone: %.2f s (plugged to ended)\n", single);
        std::fflush(stdout);

        const auto start = Clock::now();
        double rssAfterFirstWave = 0.0;
        std::vector<double> rssAfterWave;
        double slowest = 0.0;
        int waves = 0;
        for (int done = 0; done < radios; done += wave) {
            slowest = std::max(slowest, bench.Wave(std::min(wave, radios - done)));
            rssAfterWave.push_back(ResidentBytes());
            if (++waves == 1) rssAfterFirstWave = rssAfterWave.back();
        }
        const double session = Seconds(Clock::now() - start).count();
        const double rssEnd = ResidentBytes();
        const double cpu = CpuSeconds(RUSAGE_SELF) - cpuSession;
        const double loopCpu = CpuSeconds(RUSAGE_THREAD) - loopCpuSession;

        const double perHour = radios * 3600.0 / session;
        const double ideal = radios * 3600.0 / (waves * single);
        const Tally& ends = bench.Ends();
        std::printf("session: %d waves in %.1f s, slowest wave %.2f s, mean wave %.2f s\n", waves,
                    session, slowest, session / waves);
        std::printf(
            "radios per hour: %.0f, ideal %.0f (%d x 3600 / %.2f s), ratio %.3f "
            "(target >= 0.95)\n",
            perHour, ideal, wave, single, perHour / ideal);
        std::printf(
            "CPU over the session: %.2f s, %.1f%% of one core (the process: station, "
            "jobs and simulated radios); the station's loop alone %.2f s\n",
            cpu, 100.0 * cpu / session, loopCpu);
        std::printf(
            "resident memory: %.2f MiB at start, %.2f MiB after one radio, %.2f MiB "
            "after the first wave, %.2f MiB at the end\n",
            rssAtStart / kMiB, rssSession / kMiB, rssAfterFirstWave / kMiB, rssEnd / kMiB);
        std::printf(
            "memory growth over the session: %+.0f KiB since one radio, %+.0f KiB since "
            "the first wave (target under 1 MiB)\n",
            (rssEnd - rssSession) / 1024.0, (rssEnd - rssAfterFirstWave) / 1024.0);
        // Whether it keeps growing or has settled: the resident memory after
        // the first wave and after each further quarter of the session.
        std::printf("resident memory after wave");
        std::size_t shown = rssAfterWave.size();
        for (std::size_t quarter = 0; quarter <= 4; ++quarter) {
            const std::size_t at = quarter * (rssAfterWave.size() - 1) / 4;
            if (at == shown) continue;
            shown = at;
            std::printf("%s %zu: %.2f MiB", quarter > 0 ? "," : "", at + 1,
                        rssAfterWave[at] / kMiB);
        }
        std::printf("\n");
        std::printf(
            "upgraded %d of %d jobs, %d of %d radios received both images; CPU in all "
            "%.2f s; load average %.2f\n",
            ends.upgraded, ends.ended, bench.Complete(), radios + 1,
            CpuSeconds(RUSAGE_SELF) - cpuAtStart, LoadAverage());
        for (const std::string& failure : ends.failures) std::printf("  %s\n", failure.c_str());
        failed = ends.ended - ends.upgraded + (radios + 1 - bench.Complete());
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return failed == 0 ? 0 : 1;
}
