// `korvane flash` run as a process against the simulated radio on a
// pseudo-terminal: each way a job ends gives its exit status, its one failure
// line and its JSON result; progress is shown as plain lines or a live bar;
// the counter is the one in Sys.dat; Ctrl-C stops the transfer at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <fstream>
#include <thread>

#include "firmware/image/Qorin_CRC32.h"
#include "sim/PtyRadio.h"
#include "tests/cli/JsonOutput.h"
#include "tests/cli/KorvaneProcess.h"

namespace korvane::testing {
namespace {

using sim::FaultAction;
using sim::SimStep;

constexpr std::size_t kBootSize = 600;   // three 256-byte frames
constexpr std::size_t kUserSize = 5000;  // two 4,096-byte blocks
constexpr std::uint8_t kEnglish = 1;
constexpr std::uint8_t kChinese = 0;

std::vector<std::uint8_t> Image(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<std::uint8_t>(random()); });
    return bytes;
}

std::string Crc(const std::vector<std::uint8_t>& bytes)
{
    return firmware::FormatCrcLabel(firmware::Qorin_CRC32().Compute(bytes));
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

sim::SimOptions InLoader()
{
    sim::SimOptions options;
    options.startInLoader = true;
    return options;
}

TEST(FlashRun, FullUpgradeWritesBothImagesCountsAndReportsJson)
{
    const ProgramFolder folder;
    folder.WriteSysDat(kEnglish, 4);
    const auto boot = Image(kBootSize, 1);
    const auto user = Image(kUserSize, 2);
    sim::PtyRadio radio;

    const RunResult run =
        RunKorvane(folder, {"flash", "--port", radio.SlavePath(), "--boot",
                            folder.WriteFile("boot.bin", boot).string(), "--user",
                            folder.WriteFile("user.bin", user).string(), "--json"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    // Standard output is the JSON object alone; progress went to standard error.
    const auto json = ParseJson(run.out);
    ASSERT_TRUE(json) << run.out;
    EXPECT_EQ(json->at("result"), "success");
    EXPECT_EQ(json->at("exit"), 0);
    EXPECT_EQ(json->at("stage"), "done");
    EXPECT_EQ(json->at("status"), "User program download completed！");
    EXPECT_EQ(json->at("frames"), 3);
    EXPECT_EQ(json->at("blocks"), 2);
    EXPECT_EQ(json->at("bytes"), kBootSize + kUserSize);
    EXPECT_EQ(json->at("boot_crc"), Crc(boot));
    EXPECT_EQ(json->at("user_crc"), Crc(user));
    EXPECT_EQ(json->at("boot_bytes"), kBootSize);
    EXPECT_EQ(json->at("user_bytes"), kUserSize);
    EXPECT_EQ(json->at("counter"), 5);
    EXPECT_EQ(json->at("error"), "");
    EXPECT_GT(json->at("seconds"), 0.0);
    // Every status text of the job in the language of Sys.dat, in order, none
    // lost however briefly it stood (progress goes to standard error with --json).
    const std::vector<std::string> lines = Lines(run.err);
    auto next = lines.begin();
    for (const char* status :
         {"BOOT download...", "BOOT download completed!", "User program download start!",
          "User program download...", "User program download completed！"}) {
        next = std::find(next, lines.end(), status);
        EXPECT_NE(next, lines.end()) << status << "\n" << run.err;
    }

    const sim::SimResults results = radio.Results();
    ASSERT_GE(results.flash.size(), boot.size());
    EXPECT_TRUE(std::equal(boot.begin(), boot.end(), results.flash.begin()));
    ASSERT_GE(results.program.size(), user.size());
    EXPECT_TRUE(std::equal(user.begin(), user.end(), results.program.begin()));
    EXPECT_TRUE(results.endFrame);

    // The counter lives in the Sys.dat beside the executable, shared with the dialog.
    EXPECT_EQ(folder.CounterInSysDat(), 5);
    EXPECT_EQ(RunKorvane(folder, {"counter"}).out, "5\n");
}

TEST(FlashRun, PlainLinesWhenNotOnATerminal)
{
    const ProgramFolder folder;
    folder.WriteSysDat(kChinese, 0);
    sim::PtyRadio radio(InLoader());
    const RunResult run =
        RunKorvane(folder, {"flash", "--port", radio.SlavePath(), "--user",
                            folder.WriteFile("u.bin", Image(kUserSize, 3)).string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(Contains(run.out, "\r"));
    EXPECT_FALSE(Contains(run.out, "\x1b"));
    const std::vector<std::string> lines = Lines(run.out);
    // The status texts in the language of Sys.dat, in order.
    const std::vector<std::string> statuses{"开启用户程序下载！", "用户程序下载中。。。",
                                            "用户程序下载完成！"};
    auto next = lines.begin();
    for (const std::string& status : statuses) {
        next = std::find(next, lines.end(), status);
        EXPECT_NE(next, lines.end()) << status << "\n" << run.out;
    }
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind("progress: 100% (5000 of 5000 bytes", 0) == 0;
    })) << run.out;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("Upgrade completed in ", 0), 0u) << lines.back();
    EXPECT_TRUE(Contains(lines.back(), "Counter: 1")) << lines.back();
}

TEST(FlashRun, LiveBarOnATerminal)
{
    const ProgramFolder folder;
    folder.WriteSysDat(kEnglish, 0);
    sim::PtyRadio radio(InLoader());
    const RunResult run = RunKorvane(folder,
                                     {"flash", "--port", radio.SlavePath(), "--user",
                                      folder.WriteFile("u.bin", Image(kUserSize, 4)).string()},
                                     /*onTerminal=*/true);
    EXPECT_EQ(run.exitStatus, 0) << run.out;
    // The bar is redrawn in place, and a status line is printed above it when it changes.
    EXPECT_TRUE(Contains(run.out, "\r[")) << run.out;
    EXPECT_TRUE(Contains(run.out, "\x1b[K")) << run.out;
    EXPECT_TRUE(Contains(run.out, "loader-blocks")) << run.out;
    EXPECT_TRUE(Contains(run.out, "\rUser program download start!")) << run.out;
    EXPECT_TRUE(Contains(run.out, "] 100%")) << run.out;
    EXPECT_FALSE(Contains(run.out, "progress: "));
    // At 80 columns every drawing of the bar fits with whole details (no time
    // cut to "0:"), and the last one is erased: the closing line stands alone.
    std::istringstream drawings(run.out);
    for (std::string drawing; std::getline(drawings, drawing, '\r');) {
        if (drawing.rfind("[", 0) != 0) continue;
        const std::string bar = drawing.substr(0, drawing.find("\x1b[K"));
        EXPECT_LT(bar.size(), 80u) << bar;
        EXPECT_NE(bar.back(), ':') << bar;
    }
    EXPECT_TRUE(Contains(run.out, "\r\x1b[KUpgrade completed in ")) << run.out;
}

TEST(FlashRun, OutputThatCannotBeWrittenLetsTheUpgradeEnd)
{
    for (const auto& [output, status] : std::vector<std::pair<OutputTo, int>>{
             {OutputTo::ClosedPipe, 0}, {OutputTo::FullDevice, 4}, {OutputTo::Closed, 4}}) {
        const ProgramFolder folder;
        folder.WriteSysDat(kEnglish, 0);
        sim::PtyRadio radio(InLoader());
        const RunResult run = RunKorvane(folder,
                                         {"flash", "--port", radio.SlavePath(), "--user",
                                          folder.WriteFile("u.bin", Image(kUserSize, 14)).string()},
                                         output);
        // The radio is what matters: every block, the end frame and the count.
        EXPECT_EQ(run.exitStatus, status) << run.err;
        EXPECT_TRUE(radio.Results().endFrame) << run.err;
        EXPECT_EQ(folder.CounterInSysDat(), 1);
        EXPECT_TRUE(Contains(run.err, "standard output")) << run.err;
    }
}

TEST(FlashRun, OneDeviceByTwoNamesIsRefusedBeforeAnythingStarts)
{
    const ProgramFolder folder;
    sim::PtyRadio radio(InLoader());
    const std::string device = radio.SlavePath();
    const std::filesystem::path link = folder.ScratchDir() / "radio-link";
    std::filesystem::create_symlink(device, link);
    const std::string tail = device.substr(std::string("/dev/").size());
    const auto user = folder.WriteFile("u.bin", Image(kUserSize, 15)).string();
    for (const std::string& other :
         {"/dev//" + tail, "/dev/../dev/" + tail, link.string(), "/dev/./" + tail}) {
        const RunResult run = RunKorvane(
            folder, {"flash", "--port", device, "--port", other, "--user", user, "--json"});
        EXPECT_EQ(run.exitStatus, 2) << run.err;
        EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
        EXPECT_TRUE(Contains(run.err, device) && Contains(run.err, other)) << run.err;
    }
    EXPECT_EQ(radio.Results().blocksAccepted, 0);
    EXPECT_EQ(folder.CounterInSysDat(), -1);  // nothing started, nothing saved
}

TEST(FlashRun, CounterAtItsLimitWarnsThatTheCountWasDropped)
{
    const ProgramFolder folder;
    folder.WriteSysDat(kEnglish, 2147483647);
    sim::PtyRadio radio(InLoader());
    const RunResult run =
        RunKorvane(folder, {"flash", "--port", radio.SlavePath(), "--json", "--user",
                            folder.WriteFile("u.bin", Image(kUserSize, 16)).string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    const auto json = ParseJson(run.out);
    ASSERT_TRUE(json) << run.out;
    EXPECT_EQ(json->at("counter"), 2147483647);
    EXPECT_TRUE(Contains(json->at("warning").get<std::string>(), "at its limit")) << run.out;
}

struct FailureCase {
    std::string name;
    sim::SimOptions radio;
    bool fullUpgrade;
    int exitStatus;
    std::string result;
    std::string lineStart;  // the start of the one failure line, after "korvane: "
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const FailureCase& c, std::ostream* out)
{
    *out << c.name;
}

class FlashFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FlashFailures, EndWithTheirExitStatusLineAndJson)
{
    const FailureCase& c = GetParam();
    const ProgramFolder folder;
    folder.WriteSysDat(kEnglish, 7);
    sim::PtyRadio radio(c.radio);
    std::vector<std::string> args{
        "flash",  "--port", radio.SlavePath(),
        "--json", "--user", folder.WriteFile("u.bin", Image(kUserSize, 5)).string()};
    if (c.fullUpgrade) {
        args.insert(args.end(),
                    {"--boot", folder.WriteFile("b.bin", Image(kBootSize, 6)).string()});
    }
    const RunResult run = RunKorvane(folder, args);
    EXPECT_EQ(run.exitStatus, c.exitStatus) << run.err;
    const auto json = ParseJson(run.out);
    ASSERT_TRUE(json) << run.out;
    EXPECT_EQ(json->at("result"), c.result);
    EXPECT_EQ(json->at("exit"), c.exitStatus);
    EXPECT_NE(json->at("error"), "");
    EXPECT_EQ(json->at("counter"), 7);
    EXPECT_EQ(folder.CounterInSysDat(), 7);
    // Progress lines come first; the failure is the last line, and says what to try.
    const std::vector<std::string> lines = Lines(run.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("korvane: " + c.lineStart, 0), 0u) << run.err;
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind("korvane: ", 0) == 0; }),
              1)
        << run.err;
    // One hint: what to do is said once.
    std::size_t agains = 0;
    for (std::size_t at = 0; (at = lines.back().find("upgrade again", at)) != std::string::npos;
         ++at) {
        ++agains;
    }
    EXPECT_LE(agains, 1u) << lines.back();
}

sim::SimOptions WithFault(sim::Fault fault, bool inLoader)
{
    sim::SimOptions options;
    options.startInLoader = inLoader;
    options.faults.push_back(fault);
    return options;
}

INSTANTIATE_TEST_SUITE_P(
    RadioFaults, FlashFailures,
    ::testing::Values(
        FailureCase{"BlockRefused", WithFault({SimStep::Block, FaultAction::Refuse, 1}, true),
                    false, 1, "refused", "The upgrade failed at stage loader-blocks"},
        FailureCase{"BlockUnanswered", WithFault({SimStep::Block, FaultAction::Silence, 0}, true),
                    false, 1, "refused", "The upgrade failed at stage loader-blocks"},
        FailureCase{"EraseRefused", WithFault({SimStep::GlobalErase, FaultAction::Nack, 0}, false),
                    true, 1, "refused", "The upgrade failed at stage rom-prepare"},
        FailureCase{"HangUpMidBlock", WithFault({SimStep::Block, FaultAction::HangUp, 1}, true),
                    false, 3, "port", "The port was lost at stage loader-blocks"}),
    [](const ::testing::TestParamInfo<FailureCase>& p) { return p.param.name; });

TEST(FlashRun, UnusableImagesExitTwoBeforeTheRadioIsTouched)
{
    const ProgramFolder folder;
    folder.WriteSysDat(kEnglish, 4);
    sim::PtyRadio radio;  // a radio in its bootloader, which an erase would wipe
    const auto fine = folder.WriteFile("fine.bin", Image(kBootSize, 7)).string();
    const auto large =
        folder.WriteFile("large.bin", std::vector<std::uint8_t>(1'024'001, 0xFF)).string();
    const auto missing = (folder.Dir() / "missing.bin").string();
    const auto empty = folder.WriteFile("empty.bin", {}).string();
    for (const auto& [boot, user] :
         std::vector<std::pair<std::string, std::string>>{{large, fine},
                                                          {fine, large},
                                                          {missing, fine},
                                                          {fine, missing},
                                                          {empty, fine},
                                                          {fine, empty}}) {
        const RunResult run = RunKorvane(folder, {"flash", "--port", radio.SlavePath(), "--boot",
                                                  boot, "--user", user, "--json"});
        EXPECT_EQ(run.exitStatus, 2) << run.err;
        const auto json = ParseJson(run.out);
        ASSERT_TRUE(json) << run.out;
        EXPECT_EQ(json->at("result"), "image");
        EXPECT_EQ(json->at("stage"), "not-started");
        EXPECT_EQ(json->at("counter"), 4);  // what Sys.dat holds, though nothing ran
        EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
        const std::string bad = boot == fine ? user : boot;
        EXPECT_TRUE(Contains(run.err, std::filesystem::path(bad).filename().string())) << run.err;
    }
    const sim::SimResults results = radio.Results();
    EXPECT_FALSE(results.erased);
    EXPECT_EQ(results.framesWritten, 0);
}

TEST(FlashRun, PortThatCannotBeOpenedExitsThree)
{
    const ProgramFolder folder;
    const auto user = folder.WriteFile("u.bin", Image(16, 8)).string();
    for (const std::string& port : {(folder.Dir() / "no-such-tty").string()}) {
        const RunResult run = RunKorvane(folder, {"flash", "--port", port, "--user", user});
        EXPECT_EQ(run.exitStatus, 3) << run.err;
        EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
        EXPECT_TRUE(Contains(run.err, "korvane ports")) << run.err;
    }
}

TEST(FlashRun, CtrlCStopsTheTransferClosesThePortAndExits130)
{
    const ProgramFolder folder;
    folder.WriteSysDat(kEnglish, 2);
    sim::PtyRadio radio(InLoader());
    // Twenty blocks: about six seconds of transfer, far more than the test waits.
    KorvaneProcess korvane(folder, {"flash", "--port", radio.SlavePath(), "--user",
                                    folder.WriteFile("u.bin", Image(20 * 4096, 9)).string()});
    ASSERT_TRUE(korvane.WaitForOutput("User program download...", std::chrono::seconds(20)))
        << korvane.OutputSoFar();
    korvane.Signal(SIGINT);
    const auto signalled = std::chrono::steady_clock::now();
    const std::optional<RunResult> run = korvane.Wait(std::chrono::seconds(10));
    ASSERT_TRUE(run);
    const double stopSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
    EXPECT_EQ(run->exitStatus, 130) << run->err;
    EXPECT_LT(stopSeconds, 1.5);
    EXPECT_TRUE(Contains(run->err, "Stopped by Ctrl-C")) << run->err;
    EXPECT_TRUE(Contains(run->err, "the port is closed")) << run->err;
    const std::string hint = "partly written";
    EXPECT_EQ(run->err.find(hint), run->err.rfind(hint)) << run->err;  // said once
    EXPECT_LT(radio.Results().blocksAccepted, 20);
    EXPECT_EQ(folder.CounterInSysDat(), 2);
}

// The radio was upgraded even though the counter could not be saved: status 0,
// and the warning says why, in the JSON too. A Sys.dat that cannot be read
// gives no count ("counter": null) and is not overwritten; a link to a device
// reads as no settings and the device stays as it was.
TEST(FlashRun, CounterThatCannotBeSavedIsAWarningNotAFailure)
{
    namespace fs = std::filesystem;
    for (const bool link : {false, true}) {
        SCOPED_TRACE(link ? "link to a device" : "folder under the name");
        const ProgramFolder folder;
        if (link) {
            fs::create_symlink("/dev/null", folder.SysDat());
        } else {
            fs::create_directory(folder.SysDat());
        }
        sim::PtyRadio radio(InLoader());
        const RunResult run =
            RunKorvane(folder, {"flash", "--port", radio.SlavePath(), "--json", "--user",
                                folder.WriteFile("u.bin", Image(kUserSize, 13)).string()});
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        const auto json = ParseJson(run.out);
        ASSERT_TRUE(json) << run.out;
        EXPECT_EQ(json->at("result"), "success");
        EXPECT_EQ(json->at("counter"), link ? nlohmann::json(0) : nlohmann::json(nullptr));
        const std::string warning = json->at("warning");
        EXPECT_TRUE(Contains(warning, link ? "a device" : "Cannot read")) << warning;
        EXPECT_NE(run.err.find("korvane: warning: "), std::string::npos) << run.err;
        EXPECT_TRUE(radio.Results().endFrame);
        EXPECT_EQ(fs::symlink_status(folder.SysDat()).type(),
                  link ? fs::file_type::symlink : fs::file_type::directory);
        EXPECT_TRUE(fs::is_character_file("/dev/null"));
    }
}

// The README's worked example: the simulated radio started with --until-end
// (it closes its side after the end frame, as a radio rebooting into its new
// firmware may drop its port), then the full upgrade. Both images and the end
// frame arrive, so the upgrade completed: exit 0 and the completion as the
// last status text (with a warning when the radio was gone before its answer
// to the end frame was read). The images are smaller than
// the README's, so that fewer frames race the protocol's 50 ms windows on a
// loaded machine; the order of events is the same.
TEST(FlashRun, ReadmeExampleCompletesWhenTheRadioLeavesAfterTheEndFrame)
{
    const ProgramFolder folder;
    const auto boot = folder.WriteFile("boot.bin", Image(kBootSize, 11)).string();
    const auto user = folder.WriteFile("user.bin", Image(kUserSize, 12)).string();
    const std::filesystem::path radioOut = folder.ScratchDir() / "radio.txt";
    const pid_t radio = SpawnToFile({KORVANE_RADIO_SIM_BINARY, "--until-end"}, radioOut);
    std::string port;
    for (int i = 0; i < 200 && port.empty(); ++i) {
        std::ifstream(radioOut) >> port;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_FALSE(port.empty());

    const RunResult run =
        RunKorvane(folder, {"flash", "--port", port, "--boot", boot, "--user", user});
    const int radioStatus = WaitForExit(radio, std::chrono::seconds(20));
    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    const std::vector<std::string> statuses = [&] {
        std::vector<std::string> found;
        for (const std::string& line : Lines(run.out)) {
            if (line.find("progress: ") != 0 && line.find("Upgrade completed") != 0) {
                found.push_back(line);
            }
        }
        return found;
    }();
    ASSERT_FALSE(statuses.empty()) << run.out;
    EXPECT_EQ(statuses.back(), "用户程序下载完成！") << run.out;
    EXPECT_EQ(Lines(run.out).back().rfind("Upgrade completed in ", 0), 0u) << run.out;
    EXPECT_TRUE(run.err.empty() || run.err.rfind("korvane: warning: ", 0) == 0) << run.err;
    EXPECT_EQ(folder.CounterInSysDat(), 1);
    EXPECT_EQ(radioStatus, 0);
}

}  // namespace
}  // namespace korvane::testing
