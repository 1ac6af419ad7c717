// `korvane station` as a technician runs it, watching slot links that the test
// makes and removes as a person plugs and unplugs radios: simulated radios on
// pseudo-terminals, in real time, the session ended by --max-jobs or Ctrl-C.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "firmware/protocol/Stm32Parts.h"
#include "history/History.h"
#include "sim/PtyRadio.h"
#include "tests/cli/KorvaneProcess.h"

namespace korvane::testing {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;

constexpr std::uint8_t kEnglish = 1;
constexpr auto kJobLimit = seconds(60);  // a job takes a second or two; the machine may be busy

std::vector<std::uint8_t> Image(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<std::uint8_t>(random()); });
    return bytes;
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

sim::SimOptions RadioWithUid(std::uint8_t last)
{
    sim::SimOptions options;
    options.uniqueId.fill(0xA0);
    options.uniqueId.back() = last;
    return options;
}

std::string UidOf(const sim::SimOptions& options)
{
    return firmware::UidText(options.uniqueId);
}

// The program folder, its images and Txt.ini, and the slots the station watches.
struct StationBench {
    ProgramFolder folder;
    fs::path slots = folder.ScratchDir() / "slots";
    fs::path history = folder.ScratchDir() / "history.csv";
    std::vector<std::uint8_t> user = Image(5000, 31);

    StationBench()
    {
        fs::create_directory(slots);
        fs::copy_file(KORVANE_TXT_INI, folder.Dir() / "Txt.ini");
        folder.WriteSysDat(kEnglish, 0);
    }
    std::string Slot(int n) const { return (slots / ("slot-" + std::to_string(n))).string(); }
    void Plug(int n, const std::string& device) const { fs::create_symlink(device, Slot(n)); }
    void Unplug(int n) const { fs::remove(Slot(n)); }
    std::vector<std::string> Args(bool full, int maxJobs) const
    {
        std::vector<std::string> args{"station",
                                      "--user",
                                      folder.WriteFile("u.bin", user).string(),
                                      "--watch",
                                      (slots / "slot-*").string(),
                                      "--history",
                                      history.string()};
        if (full) {
            args.insert(args.end(), {"--boot", folder.WriteFile("b.bin", Image(900, 32)).string()});
        }
        if (maxJobs > 0) args.insert(args.end(), {"--max-jobs", std::to_string(maxJobs)});
        return args;
    }
    std::vector<history::Record> Lines(const std::string& uid = {}) const
    {
        return history::Read(history, {uid, std::nullopt}).records;
    }
};

// Waits until the output holds `part` `times` times.
bool WaitForCount(KorvaneProcess& korvane, const std::string& part, std::size_t times)
{
    const auto deadline = std::chrono::steady_clock::now() + kJobLimit;
    while (Count(korvane.OutputSoFar(), part) < times) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// One radio, then two at once; the first left plugged is not upgraded again
// until it is unplugged and a radio is plugged into its slot again.
TEST(Station, UpgradesEachRadioPluggedInOnceUntilReplugged)
{
    const StationBench bench;
    const sim::SimOptions first = RadioWithUid(1);
    sim::PtyRadio a(first);
    sim::PtyRadio b(RadioWithUid(2));
    sim::PtyRadio c(RadioWithUid(3));
    bench.Plug(1, a.SlavePath());
    KorvaneProcess korvane(bench.folder, bench.Args(true, 4));
    ASSERT_TRUE(WaitForCount(korvane, "slot-1: done in", 1)) << korvane.OutputSoFar();
    bench.Plug(2, b.SlavePath());
    bench.Plug(3, c.SlavePath());
    ASSERT_TRUE(WaitForCount(korvane, ": done in", 3)) << korvane.OutputSoFar();
    // Three looks at the slots with every radio still plugged: nothing starts.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(Count(korvane.OutputSoFar(), "plugged in ("), 3u) << korvane.OutputSoFar();

    // The first radio goes and comes back, restarted in its bootloader.
    bench.Unplug(1);
    ASSERT_TRUE(WaitForCount(korvane, "slot-1: unplugged", 1)) << korvane.OutputSoFar();
    sim::PtyRadio again(first);
    bench.Plug(1, again.SlavePath());
    const std::optional<RunResult> run = korvane.Wait(kJobLimit);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->exitStatus, 0) << run->out << run->err;
    for (const sim::PtyRadio* radio : {&b, &c, &again}) {
        const sim::SimResults got = radio->Results();
        ASSERT_GE(got.program.size(), bench.user.size());
        EXPECT_TRUE(std::equal(bench.user.begin(), bench.user.end(), got.program.begin()));
    }
    EXPECT_TRUE(run->out.find("station: upgraded 4, failed 0, in progress 0") != std::string::npos)
        << run->out;
    EXPECT_TRUE(run->out.find("Session: upgraded 4, failed 0") != std::string::npos) << run->out;

    // Four history lines: two for the replugged radio, each in slot 1.
    EXPECT_EQ(bench.Lines().size(), 4u);
    const std::vector<history::Record> replugged = bench.Lines(UidOf(first));
    ASSERT_EQ(replugged.size(), 2u);
    for (const history::Record& line : replugged) {
        EXPECT_EQ(line.port, bench.Slot(1));
        EXPECT_EQ(line.result, "success");
        EXPECT_EQ(line.bootImage, (bench.folder.Dir() / "b.bin").string());
    }
    EXPECT_EQ(bench.Lines(UidOf(RadioWithUid(3))).size(), 1u);
}

// A radio whose simulator dies mid-transfer (an adapter pulled) ends as a lost
// port while the other radio goes on; Ctrl-C then stops that one, closes its
// port and ends the session with its totals.
TEST(Station, PulledAdapterEndsItsJobAndCtrlCEndsTheSession)
{
    StationBench bench;
    bench.user = Image(50 * 4096, 33);  // fifty blocks: about 20 s on the wire below
    // A real line's speed: each transfer takes far longer than the test waits.
    const fs::path simOut = bench.folder.ScratchDir() / "sim.txt";
    const pid_t pulled =
        SpawnToFile({KORVANE_RADIO_SIM_BINARY, "--loader", "--baud", "115200"}, simOut);
    sim::SimOptions slow;
    slow.startInLoader = true;
    slow.baud = 115200;
    sim::PtyRadio stays(slow);
    std::string pulledPath;
    for (int i = 0; i < 200 && pulledPath.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream(simOut) >> pulledPath;
    }
    ASSERT_FALSE(pulledPath.empty());
    bench.Plug(1, pulledPath);
    bench.Plug(2, stays.SlavePath());

    KorvaneProcess korvane(bench.folder, bench.Args(false, 0));
    ASSERT_TRUE(WaitForCount(korvane, "slot-1: progress: ", 1)) << korvane.OutputSoFar();
    kill(pulled, SIGKILL);
    EXPECT_NE(WaitForExit(pulled, seconds(10)), -1);
    ASSERT_TRUE(WaitForCount(korvane, "slot-1: port-lost at ", 1)) << korvane.OutputSoFar();
    // The other radio is still going, after the loss.
    const std::size_t before = Count(korvane.OutputSoFar(), "slot-2: progress");
    ASSERT_TRUE(WaitForCount(korvane, "slot-2: progress", before + 1)) << korvane.OutputSoFar();
    korvane.Signal(SIGINT);
    const std::optional<RunResult> run = korvane.Wait(kJobLimit);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->exitStatus, 130) << run->out << run->err;
    EXPECT_TRUE(run->out.find("Session: upgraded 0, failed 2, in progress 0") != std::string::npos)
        << run->out;
    EXPECT_LT(stays.Results().program.size(), bench.user.size());

    const std::vector<history::Record> lines = bench.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].port, bench.Slot(1));
    EXPECT_EQ(lines[0].result, "port-lost");
    EXPECT_EQ(lines[1].port, bench.Slot(2));
    EXPECT_EQ(lines[1].result, "interrupted");
    EXPECT_EQ(lines[1].exitStatus, 130);
}

}  // namespace
}  // namespace korvane::testing
