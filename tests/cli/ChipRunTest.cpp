// korvane against simulated chips that keep a real bootloader's rules: `info`
// names each kind of chip without changing it, and an image whose length is
// no multiple of a word goes onto a strict chip, over a wire that takes its
// time, and reads back as sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim/PtyRadio.h"
#include "tests/cli/JsonOutput.h"
#include "tests/cli/KorvaneProcess.h"

namespace korvane::testing {
namespace {

struct InfoCase {
    const char* name;
    sim::SimOptions options;
    const char* chipName;
    bool readProtected;
    bool served;
};

sim::SimOptions Chip(std::uint16_t pid, std::uint8_t version, bool readProtected)
{
    sim::SimOptions options;
    options.strict = true;
    options.productId = pid;
    options.bootloaderVersion = version;
    options.readProtected = readProtected;
    return options;
}

class InfoRun : public ::testing::TestWithParam<InfoCase> {};

TEST_P(InfoRun, NamesTheChipAndLeavesItUntouched)
{
    const InfoCase& c = GetParam();
    const ProgramFolder folder;
    sim::PtyRadio radio(c.options);
    const RunResult run = RunKorvane(folder, {"info", "--port", radio.SlavePath(), "--json"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    const auto json = ParseJson(run.out);
    ASSERT_TRUE(json) << run.out;
    const auto& chip = (*json)["chip"];
    EXPECT_EQ(chip["name"], c.chipName);
    EXPECT_EQ(chip["read_protected"], c.readProtected);
    EXPECT_EQ(chip["served"], c.served);
    if (c.readProtected) {
        EXPECT_TRUE(chip["uid"].is_null() && chip["flash_kib"].is_null()) << chip.dump();
    } else {
        EXPECT_EQ(chip["uid"], "4B4F5256414E452D53494D31");
        EXPECT_EQ(chip["flash_kib"], sim::RadioSim::kFlashSize / 1024);
    }
    const sim::SimResults results = radio.Results();
    EXPECT_FALSE(results.erased);
    EXPECT_EQ(results.framesWritten, 0);
    EXPECT_TRUE(std::all_of(results.flash.begin(), results.flash.end(),
                            [](std::uint8_t b) { return b == sim::RadioSim::kOldFirmware; }));
}

INSTANTIATE_TEST_SUITE_P(Chips, InfoRun,
                         ::testing::Values(InfoCase{"F1", Chip(0x410, 0x22, false),
                                                    "STM32F10x medium density", false, true},
                                           InfoCase{"F1ReadProtected", Chip(0x410, 0x22, true),
                                                    "STM32F10x medium density", true, true},
                                           InfoCase{"F4Protocol3", Chip(0x413, 0x31, false),
                                                    "STM32F40x/F41x", false, false}),
                         [](const ::testing::TestParamInfo<InfoCase>& p) { return p.param.name; });

TEST(StrictChipRun, OddLengthBootImageIsPaddedWithErasedBytesAndReadsBackAsSent)
{
    const ProgramFolder folder;
    std::vector<std::uint8_t> boot(1001);
    for (std::size_t i = 0; i < boot.size(); ++i) boot[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const std::vector<std::uint8_t> user(5000, 0x42);
    sim::SimOptions options = sim::SimOptions::Stm32F1Timing();
    options.strict = true;
    options.baud = 115200;
    sim::PtyRadio radio(options);

    const RunResult run =
        RunKorvane(folder, {"flash", "--port", radio.SlavePath(), "--boot",
                            folder.WriteFile("boot.bin", boot).string(), "--user",
                            folder.WriteFile("user.bin", user).string(), "--verify", "--json"});
    EXPECT_EQ(run.exitStatus, 0) << run.err << run.out;
    const auto json = ParseJson(run.out);
    ASSERT_TRUE(json) << run.out;
    EXPECT_EQ((*json)["result"], "success");
    EXPECT_EQ((*json)["verified"], true);

    const sim::SimResults results = radio.Results();
    ASSERT_GE(results.flash.size(), 1004u);
    EXPECT_TRUE(std::equal(boot.begin(), boot.end(), results.flash.begin()));
    EXPECT_TRUE(std::all_of(results.flash.begin() + 1001, results.flash.begin() + 1004,
                            [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(results.started && results.endFrame);
}

}  // namespace
}  // namespace korvane::testing
