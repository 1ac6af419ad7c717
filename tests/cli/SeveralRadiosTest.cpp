// `korvane flash` on several simulated radios at once, through the real serial
// backend on pseudo-terminals: each radio gets its own job and its own result,
// one failing never disturbs the others, signals stop every job; and the
// README's worked example, run as the README says.
#include <gtest/gtest.h>

#include <regex>

#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/PtyRadio.h"
#include "tests/cli/JsonOutput.h"
#include "tests/cli/KorvaneProcess.h"

namespace korvane::testing {
namespace {

using sim::FaultAction;
using sim::SimStep;

constexpr std::size_t kUserSize = 5000;  // two 4,096-byte blocks
constexpr std::uint8_t kEnglish = 1;
constexpr std::uint8_t kChinese = 0;
constexpr auto kStopLimit = std::chrono::seconds(20);

std::vector<std::uint8_t> Image(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<std::uint8_t>(random()); });
    return bytes;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

sim::SimOptions Loader(std::vector<sim::Fault> faults = {})
{
    sim::SimOptions options;
    options.startInLoader = true;
    options.faults = std::move(faults);
    return options;
}

// Radios on pseudo-terminals, and the flash arguments naming every one.
struct Bench {
    std::vector<std::unique_ptr<sim::PtyRadio>> radios;

    explicit Bench(const std::vector<sim::SimOptions>& options)
    {
        for (const sim::SimOptions& o : options)
            radios.push_back(std::make_unique<sim::PtyRadio>(o));
    }
    std::vector<std::string> Args(const std::string& userImage) const
    {
        std::vector<std::string> args{"flash", "--user", userImage};
        for (const auto& radio : radios) args.insert(args.end(), {"--port", radio->SlavePath()});
        return args;
    }
};

TEST(SeveralRadios, EveryRadioGetsTheImagesAndIsCountedOnce)
{
    const ProgramFolder folder;
    folder.WriteSysDat(kEnglish, 10);
    const auto user = Image(kUserSize, 21);
    const Bench bench({Loader(), Loader(), Loader()});
    std::vector<std::string> args = bench.Args(folder.WriteFile("u.bin", user).string());
    args.push_back("--json");

    const RunResult run = RunKorvane(folder, args);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    const auto json = ParseJson(run.out);
    ASSERT_TRUE(json) << run.out;
    EXPECT_EQ(json->at("exit"), 0);
    ASSERT_EQ(json->at("radios").size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& radio = json->at("radios")[i];
        EXPECT_EQ(radio.at("port"), bench.radios[i]->SlavePath());
        EXPECT_EQ(radio.at("result"), "success");
        EXPECT_EQ(radio.at("blocks"), 2);
        const sim::SimResults received = bench.radios[i]->Results();
        ASSERT_GE(received.program.size(), user.size());
        EXPECT_TRUE(std::equal(user.begin(), user.end(), received.program.begin())) << i;
        EXPECT_TRUE(received.endFrame);
    }
    EXPECT_EQ(json->at("totals").at("succeeded"), 3);
    EXPECT_EQ(json->at("totals").at("counter"), 13);
    EXPECT_EQ(folder.CounterInSysDat(), 13);
    // Progress goes to standard error, each line prefixed with its radio's port.
    EXPECT_TRUE(Contains(run.err, bench.radios[2]->SlavePath() + ": User program download..."))
        << run.err;
    EXPECT_TRUE(Contains(run.err, "3/3 radios upgraded. Counter: 13")) << run.err;
}

struct FaultCase {
    std::string name;
    sim::Fault fault;
    int exitStatus;
    std::string result;
};

void PrintTo(const FaultCase& c, std::ostream* out)
{
    *out << c.name;
}

class FaultAmongSeveral : public ::testing::TestWithParam<FaultCase> {};

// One radio of four fails: it alone is reported so, the others complete and
// are counted, and the exit status is that radio's.
TEST_P(FaultAmongSeveral, FailsThatRadioAlone)
{
    const FaultCase& c = GetParam();
    const ProgramFolder folder;
    folder.WriteSysDat(kEnglish, 0);
    const auto user = Image(kUserSize, 22);
    const Bench bench({Loader(), Loader({c.fault}), Loader(), Loader()});
    const RunResult run = RunKorvane(folder, bench.Args(folder.WriteFile("u.bin", user).string()));
    EXPECT_EQ(run.exitStatus, c.exitStatus) << run.out << run.err;
    EXPECT_EQ(folder.CounterInSysDat(), 3);
    for (std::size_t i = 0; i < bench.radios.size(); ++i) {
        EXPECT_EQ(bench.radios[i]->Results().endFrame, i != 1) << i;
    }
    const std::string failed = bench.radios[1]->SlavePath();
    EXPECT_TRUE(Contains(run.out, "3/4 radios upgraded; failed: " + failed + " (" + c.result))
        << run.out;
    // The failure line names the port, what failed and what to try.
    EXPECT_TRUE(Contains(run.err, "korvane: " + failed + ": ")) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultAmongSeveral,
    ::testing::Values(
        FaultCase{"BlockRefused", {SimStep::Block, FaultAction::Refuse, 1}, 1, "refused"},
        FaultCase{"PortLost", {SimStep::Block, FaultAction::HangUp, 1}, 3, "port"}),
    [](const ::testing::TestParamInfo<FaultCase>& p) { return p.param.name; });

struct SignalCase {
    int signal;
    int exitStatus;
    std::string name;  // as the closing line says it
};

class StopSignals : public ::testing::TestWithParam<SignalCase> {};

// Mid-transfer, a signal stops every job at its next poll: each port is closed
// with its own closing line, the JSON still comes, and nothing is counted.
TEST_P(StopSignals, StopEveryJobAndReport)
{
    const SignalCase& c = GetParam();
    const ProgramFolder folder;
    folder.WriteSysDat(kEnglish, 5);
    const Bench bench({Loader(), Loader()});
    // Twenty blocks: about six seconds of transfer, far more than the test waits.
    std::vector<std::string> args =
        bench.Args(folder.WriteFile("u.bin", Image(20 * 4096, 23)).string());
    args.push_back("--json");
    KorvaneProcess korvane(folder, args);
    // Progress goes to standard error with --json; wait for the first block there.
    const auto started = std::chrono::steady_clock::now();
    while (bench.radios[0]->Results().blocksAccepted == 0 &&
           std::chrono::steady_clock::now() - started < kStopLimit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    korvane.Signal(c.signal);
    const std::optional<RunResult> run = korvane.Wait(kStopLimit);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->exitStatus, c.exitStatus) << run->err;
    const auto json = ParseJson(run->out);
    ASSERT_TRUE(json) << run->out;
    EXPECT_EQ(json->at("exit"), c.exitStatus);
    for (std::size_t i = 0; i < bench.radios.size(); ++i) {
        EXPECT_EQ(json->at("radios")[i].at("result"), "interrupted");
        EXPECT_TRUE(Contains(run->err, bench.radios[i]->SlavePath() + ": Stopped by " + c.name))
            << run->err;
        EXPECT_LT(bench.radios[i]->Results().blocksAccepted, 20);
    }
    EXPECT_EQ(folder.CounterInSysDat(), 5);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignals,
                         ::testing::Values(SignalCase{SIGINT, 130, "Ctrl-C"},
                                           SignalCase{SIGTERM, 143, "SIGTERM"},
                                           SignalCase{SIGHUP, 129, "SIGHUP"}),
                         [](const ::testing::TestParamInfo<SignalCase>& p) {
                             return std::to_string(p.param.exitStatus);
                         });

TEST(SeveralRadios, LiveBlockOnATerminal)
{
    const ProgramFolder folder;
    folder.WriteSysDat(kEnglish, 0);
    const Bench bench({Loader(), Loader()});
    const RunResult run = RunKorvane(
        folder, bench.Args(folder.WriteFile("u.bin", Image(kUserSize, 24)).string()), true);
    EXPECT_EQ(run.exitStatus, 0) << run.out;
    EXPECT_TRUE(Contains(run.out, "\x1b[2A")) << run.out;  // back up over the block of two
    // The ports are padded to the longest one (/dev/pts/9 beside /dev/pts/10).
    for (const auto& radio : bench.radios) {
        EXPECT_TRUE(
            std::regex_search(run.out, std::regex("\r" + radio->SlavePath() + " *  done in ")))
            << run.out;
    }
}

// Neither a pipe nor a device is read as an image: refused at once with status
// 2, before any port is touched (the time limit guards against a hang).
TEST(ImageFiles, NonRegularFilesAreRefusedWithoutBlocking)
{
    const ProgramFolder folder;
    const std::string fifo = (folder.Dir() / "image.fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"crc", fifo},
             {"crc", "/dev/zero"},
             {"flash", "--port", "/dev/null", "--user", fifo, "--json"},
             {"flash", "--port", "/dev/null", "--boot", "/dev/zero", "--user", fifo}}) {
        KorvaneProcess korvane(folder, args);
        const std::optional<RunResult> run = korvane.Wait(std::chrono::seconds(10));
        ASSERT_TRUE(run) << args[0] << " blocked on " << args.back();
        EXPECT_EQ(run->exitStatus, 2) << run->err;
        EXPECT_TRUE(Contains(run->err, "is not a regular file")) << run->err;
    }
}

TEST(Crc, OnlyNamesWithALineBreakAreEscapedAsCoreutilsDoes)
{
    const ProgramFolder folder;
    const std::string digits = "123456789";
    const auto odd = folder.WriteFile("a\nb\\c.bin", {digits.begin(), digits.end()});
    const auto slash = folder.WriteFile("back\\slash.bin", {digits.begin(), digits.end()});
    const RunResult run = RunKorvane(folder, {"crc", odd.string(), slash.string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, "\\CRC32:CBF43926  " + folder.Dir().string() + "/a\\nb\\\\c.bin\n" +
                           "CRC32:CBF43926  " + slash.string() + "\n");
}

// With the catalogue beside it, korvane's own messages follow Sys.dat's language.
TEST(OwnTexts, MessagesInTheLanguageOfSysDat)
{
    const ProgramFolder folder;
    std::filesystem::copy_file(KORVANE_TXT_INI, folder.Dir() / "Txt.ini");
    folder.WriteSysDat(kChinese, 0);
    const RunResult chinese = RunKorvane(folder, {"burn"});
    EXPECT_EQ(chinese.exitStatus, 2);
    EXPECT_EQ(chinese.err, "korvane: 未知命令“burn”。 请参阅“korvane --help”。\n");
    folder.WriteSysDat(kEnglish, 0);
    EXPECT_EQ(RunKorvane(folder, {"burn"}).err,
              "korvane: unknown command 'burn'. Try 'korvane --help'.\n");
}

}  // namespace
}  // namespace korvane::testing
