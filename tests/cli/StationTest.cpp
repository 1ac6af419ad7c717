// The station's orchestration on the virtual clock, with ports that exist only
// as names: a port that never opens, one that comes and goes, and the session's
// last job.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "cli/Station.h"
#include "history/History.h"

namespace korvane::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Recorder : StationObserver {
    std::vector<std::string> seen;
    void OnPlugged(const StationSlot& s) override { seen.push_back("plugged " + s.port.name); }
    void OnUnplugged(const StationSlot& s) override { seen.push_back("unplugged " + s.port.name); }
    void OnFlapping(const StationSlot& s) override { seen.push_back("flapping " + s.port.name); }
    void OnHeld(const StationSlot& s) override { seen.push_back("held " + s.port.name); }
    void OnStatus(const StationSlot&, const std::string&) override {}
    void OnEnded(const StationSlot& s) override
    {
        seen.push_back("ended " + s.port.name + " " + s.radio.outcome.result);
    }
    void OnWarning(const std::string& text) override { seen.push_back("warning " + text); }
    std::vector<std::string> Take() { return std::exchange(seen, {}); }
};

TEST(Station, UnopenedFlappingAndHeldPortsOnTheVirtualClock)
{
    const fs::path dir =
        fs::temp_directory_path() / ("korvane-station-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    StationSetup setup;
    setup.images.user = {1, 2, 3};
    setup.historyFile = dir / "history.csv";
    setup.maxJobs = 2;
    settings::SettingsStore store(dir / "Sys.dat");
    Recorder seen;
    Station station(setup, store, seen);
    // Names of devices that do not exist: every open fails.
    const auto port = [&](const std::string& name) {
        return station::SeenPort{name, (dir / name).string(), {}, {}};
    };
    const auto t0 = station::Clock::now();

    // A port that does not open is tried again for a while, then ends as a
    // failed job with its history line, and is not tried again while it stays.
    station.Look({port("a")}, t0);
    station.Look({port("a")}, t0 + 2s);
    EXPECT_EQ(seen.Take(), std::vector<std::string>{"plugged a"});
    EXPECT_TRUE(station.Busy());
    station.Look({port("a")}, t0 + 4s);
    station.Look({port("a")}, t0 + 5s);
    EXPECT_EQ(seen.Take(), std::vector<std::string>{"ended a port"});
    EXPECT_FALSE(station.Busy());

    // A port that comes and goes: its third appearance within the window is
    // flapping and starts nothing; the appearances before never began a job.
    for (int i = 0; i < 3; ++i) {
        station.Look({port("a"), port("b")}, t0 + 6s + i * 400ms);
        station.Look({port("a")}, t0 + 6s + i * 400ms + 200ms);
    }
    EXPECT_EQ(seen.Take(), (std::vector<std::string>{"plugged b", "unplugged b", "plugged b",
                                                     "unplugged b", "flapping b"}));

    // The second job is the session's last: a radio plugged in after it waits.
    station.Look({port("a"), port("c")}, t0 + 8s);
    station.Look({port("a"), port("c"), port("d")}, t0 + 12s);
    EXPECT_EQ(seen.Take(), (std::vector<std::string>{"plugged c", "held d", "ended c port"}));
    EXPECT_TRUE(station.Done());
    EXPECT_FALSE(station.AllSucceeded());
    EXPECT_EQ(station.Totals(t0 + 12s).failed, 2);

    const auto lines = history::Read(setup.historyFile, {}).records;
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].port, "a");
    EXPECT_EQ(lines[1].port, "c");
    EXPECT_EQ(lines[1].stage, "not-started");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace korvane::cli
