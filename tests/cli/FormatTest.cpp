// How korvane shows a job: sizes, durations, the live bar, plain lines, the
// JSON result, and how each way a job ends maps to its exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "cli/Commands.h"
#include "cli/FlashReport.h"
#include "cli/FlashView.h"
#include "cli/Info.h"
#include "cli/Progress.h"
#include "tests/cli/JsonOutput.h"

namespace korvane::cli {
namespace {

using firmware::JobStage;

TEST(ProgressFormat, SizesAndDurations)
{
    EXPECT_EQ(FormatBytes(0), "0 B");
    EXPECT_EQ(FormatBytes(1023), "1023 B");
    EXPECT_EQ(FormatBytes(1024), "1.0 KiB");
    EXPECT_EQ(FormatBytes(1'024'000), "1000.0 KiB");
    EXPECT_EQ(FormatBytes(3 * 1024 * 1024 / 2), "1.5 MiB");
    EXPECT_EQ(FormatDuration(0.4), "0:00");
    EXPECT_EQ(FormatDuration(7.6), "0:08");
    EXPECT_EQ(FormatDuration(754), "12:34");
    EXPECT_EQ(FormatDuration(3723), "1:02:03");
    EXPECT_EQ(FormatDuration(-5), "0:00");
}

TEST(ProgressFormat, PercentNeverLeavesItsRange)
{
    EXPECT_EQ(PercentDone({"user", 0, 0, 1.0}), 0);  // an empty image
    EXPECT_EQ(PercentDone({"user", 4096, 8192, 1.0}), 50);
    EXPECT_EQ(PercentDone({"user", 9000, 8192, 1.0}), 100);
    EXPECT_EQ(PercentDone({"user", -1, 8192, 1.0}), 0);
}

TEST(ProgressFormat, LiveLineShowsStageBytesRateAndTimeLeft)
{
    const ProgressView view{"loader-blocks", 40960, 81920, 10.0};
    const std::string line = FormatProgressLine(view, 200);
    EXPECT_EQ(line,
              "[##########----------]  50%  loader-blocks  40.0 KiB / 80.0 KiB  4.0 KiB/s"
              "  0:10 left");
    // No rate or time left before anything was sent.
    EXPECT_EQ(FormatProgressLine({"rom-sync", 0, 2048, 0.5}, 200),
              "[--------------------]   0%  rom-sync  0 B / 2.0 KiB");
    // In the terminal's width, so that the carriage return redraws it in place,
    // with only whole details: never a time cut to "0:".
    for (const auto& [width, expected] : std::vector<std::pair<std::size_t, std::string>>{
             {79, "[##########----------]  50%  loader-blocks  40.0 KiB / 80.0 KiB  4.0 KiB/s"},
             {63, "[##########----------]  50%  loader-blocks  40.0 KiB / 80.0 KiB"},
             {62, "[##########----------]  50%  loader-blocks"},
             {30, "[##########----------]  50%"},
             {10, "[#########"}}) {
        EXPECT_EQ(FormatProgressLine(view, width), expected) << width;
    }
}

// Only a line break is escaped in a crc line; backslashes of a Windows path,
// blanks and Chinese are printed as typed.
TEST(CrcFormat, OnlyALineBreakEscapesTheName)
{
    const std::string label = "CRC32:CBF43926";
    const std::vector<std::pair<std::string, std::string>> cases{
        {"Z:\\tmp\\nine", "CRC32:CBF43926  Z:\\tmp\\nine"},
        {"\\\\server\\share\\u.bin", "CRC32:CBF43926  \\\\server\\share\\u.bin"},
        {"固件 测试/九.bin", "CRC32:CBF43926  固件 测试/九.bin"},
        {"a\nb\\c.bin", "\\CRC32:CBF43926  a\\nb\\\\c.bin"},
        {"cr\r.bin", "\\CRC32:CBF43926  cr\\r.bin"},
    };
    for (const auto& [name, line] : cases) EXPECT_EQ(CrcLine(label, name), line) << name;
}

TEST(ProgressFormat, ColumnsCountWideCharactersTwice)
{
    const std::vector<std::pair<std::string, std::size_t>> cases{
        {"", 0},        {"user", 4}, {"固件 测试", 9}, {"ｆｕｌｌ", 8}, {"é", 1},
        {"e\u0301", 1}, {"한글", 4}, {"\xff", 1},      {"𠀀", 2},       {"出错了！", 8},
    };
    for (const auto& [text, columns] : cases) EXPECT_EQ(DisplayColumns(text), columns) << text;
    EXPECT_EQ(CutToColumns("固件 测试", 4), "固件");
    EXPECT_EQ(CutToColumns("固件 测试", 3), "固");
    EXPECT_EQ(CutToColumns("ab固", 3), "ab");
}

TEST(ProgressFormat, PlainLine)
{
    EXPECT_EQ(FormatPlainProgress({"rom-write", 256, 1024, 2.0}),
              "progress: 25% (256 of 1024 bytes, stage rom-write)");
}

struct EndCase {
    firmware::JobOutcome outcome;
    StopSignal stop;
    int exitStatus;
    std::string result;
};

class JobEnds : public ::testing::TestWithParam<EndCase> {};

TEST_P(JobEnds, MapToExitStatusAndResult)
{
    const EndCase& c = GetParam();
    firmware::JobResult result;
    result.outcome = c.outcome;
    result.record.stage = JobStage::LoaderBlocks;
    result.record.blocksSent = 3;
    result.record.userBytesSent = 3 * 4096;
    result.record.bootBytesSent = 512;
    result.record.framesSent = 2;
    result.message = "what failed";
    result.record.warning = "the port closed after the end frame";
    result.record.counter = 9;
    const FlashOutcome outcome = ClassifyEnd(result, c.stop);
    EXPECT_EQ(outcome.exitStatus, c.exitStatus);
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.Stage(), firmware::StageName(JobStage::LoaderBlocks));
    EXPECT_EQ(outcome.record.blocksSent, 3);
    EXPECT_EQ(outcome.record.framesSent, 2);
    EXPECT_EQ(outcome.BytesSent(), 3 * 4096 + 512);
    EXPECT_EQ(outcome.counter, 9);
    EXPECT_EQ(outcome.record.warning, result.record.warning);
    // A success carries no error and no hint; every failure both.
    EXPECT_EQ(outcome.error.empty(), c.exitStatus == 0);
    EXPECT_EQ(outcome.hint.empty(), c.exitStatus == 0);
}

using firmware::JobOutcome;
INSTANTIATE_TEST_SUITE_P(
    Table, JobEnds,
    ::testing::Values(EndCase{JobOutcome::Completed, StopSignal::None, 0, "success"},
                      // A job that completed just as Ctrl-C came still completed.
                      EndCase{JobOutcome::Completed, StopSignal::Interrupt, 0, "success"},
                      EndCase{JobOutcome::Stopped, StopSignal::Interrupt, 130, "interrupted"},
                      EndCase{JobOutcome::Stopped, StopSignal::Terminate, 143, "interrupted"},
                      EndCase{JobOutcome::Stopped, StopSignal::HangUp, 129, "interrupted"},
                      EndCase{JobOutcome::Refused, StopSignal::None, 1, "refused"},
                      EndCase{JobOutcome::Image, StopSignal::None, 2, "image"},
                      EndCase{JobOutcome::Serial, StopSignal::None, 3, "port"},
                      EndCase{JobOutcome::Other, StopSignal::None, 1, "failed"}));

FlashOutcome Ended(const std::string& port, int exitStatus)
{
    FlashOutcome outcome;
    outcome.port = port;
    outcome.exitStatus = exitStatus;
    outcome.result = exitStatus == 0 ? "success" : "failed";
    outcome.record.stage = exitStatus == 0 ? JobStage::Done : JobStage::LoaderBlocks;
    return outcome;
}

TEST(SeveralRadios, ExitStatusIsTheMostSevere)
{
    const auto statuses = [](std::initializer_list<int> exits) {
        std::vector<FlashOutcome> outcomes;
        for (const int exit : exits) outcomes.push_back(Ended("p", exit));
        return MostSevere(outcomes);
    };
    EXPECT_EQ(statuses({0, 0, 0}), 0);
    EXPECT_EQ(statuses({0, 1, 0}), 1);
    EXPECT_EQ(statuses({3, 1, 0}), 3);
    EXPECT_EQ(statuses({1, 3}), 3);
    EXPECT_EQ(statuses({3, 130, 1}), 130);
}

TEST(SeveralRadios, JsonHasOneEntryPerRadioAndTotals)
{
    std::vector<FlashOutcome> outcomes{Ended("1-1.2", 0), Ended("/dev/ttyUSB3", 3)};
    outcomes[0].record.userBytesSent = 100;
    outcomes[1].record.bootBytesSent = 20;
    const auto json = testing::ParseJson(FormatFlashJson(outcomes, 2.5, 12));
    ASSERT_TRUE(json);
    EXPECT_EQ(json->at("exit"), 3);
    ASSERT_EQ(json->at("radios").size(), 2u);
    EXPECT_EQ(json->at("radios")[0].at("port"), "1-1.2");
    EXPECT_EQ(json->at("radios")[1].at("result"), "failed");
    // Each entry carries every field of the one-radio object.
    const auto one = testing::ParseJson(FormatFlashJson(outcomes[0]));
    for (const auto& [key, value] : one->items()) {
        EXPECT_TRUE(json->at("radios")[0].contains(key)) << key;
    }
    const auto& totals = json->at("totals");
    EXPECT_EQ(totals.at("radios"), 2);
    EXPECT_EQ(totals.at("succeeded"), 1);
    EXPECT_EQ(totals.at("failed"), 1);
    EXPECT_EQ(totals.at("bytes"), 120);
    EXPECT_EQ(totals.at("counter"), 12);
}

TEST(SeveralRadios, SummaryNamesTheRadiosThatFailed)
{
    const std::string table = FormatSummaryTable({Ended("/dev/ttyUSB0", 0), Ended("1-1.4", 1)}, 7);
    EXPECT_NE(
        table.find("1/2 radios upgraded; failed: 1-1.4 (failed at loader-blocks). Counter: 7"),
        std::string::npos)
        << table;
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 4) << table;  // heading, 2 rows, total
}

TEST(SeveralRadios, LiveLineShowsThePortThenProgressOrTheEnd)
{
    RadioState radio;
    radio.port = "/dev/pts/3";
    radio.stage = JobStage::LoaderBlocks;
    radio.bytesSent = 4096;
    radio.seconds = 2.0;
    EXPECT_EQ(FormatRadioLine(radio, 8192, 12, 200).rfind("/dev/pts/3    [##########", 0), 0u);
    radio.ended = true;
    radio.outcome.exitStatus = 1;
    radio.outcome.result = "refused";
    radio.outcome.record.stage = JobStage::LoaderBlocks;
    radio.outcome.error = "块 2 被拒绝";
    EXPECT_EQ(FormatRadioLine(radio, 8192, 10, 200),
              "/dev/pts/3  refused at loader-blocks: 块 2 被拒绝");
    // Cut to the width in columns, as the console counts them (a Chinese
    // character takes two), between characters, never inside one.
    EXPECT_EQ(FormatRadioLine(radio, 8192, 10, 49),
              "/dev/pts/3  refused at loader-blocks: 块 2 被拒绝");
    EXPECT_EQ(FormatRadioLine(radio, 8192, 10, 48),
              "/dev/pts/3  refused at loader-blocks: 块 2 被拒");
    EXPECT_EQ(FormatRadioLine(radio, 8192, 10, 46),
              "/dev/pts/3  refused at loader-blocks: 块 2 被");
    for (std::size_t width = 0; width < 60; ++width) {
        EXPECT_LE(DisplayColumns(FormatRadioLine(radio, 8192, 10, width)), width);
    }
    // A Chinese port name pads to the same columns as an ASCII one.
    radio.port = "串口";
    EXPECT_EQ(FormatRadioLine(radio, 8192, 6, 200).rfind("串口    refused", 0), 0u);
}

TEST(FlashJson, CarriesEveryFieldAndParses)
{
    FlashOutcome outcome;
    outcome.result = "refused";
    outcome.exitStatus = 1;
    outcome.record.stage = JobStage::LoaderBlocks;
    outcome.record.status = "出错了！";
    outcome.error = "block 2 refused with '@'";
    outcome.record.blocksSent = 2;
    outcome.record.userBytesSent = 8192;
    outcome.seconds = 1.25;
    outcome.userCrc = 0xCBF43926;
    outcome.userBytes = 9;
    outcome.counter = 7;
    const auto json = testing::ParseJson(FormatFlashJson(outcome));
    ASSERT_TRUE(json);
    EXPECT_EQ(json->at("result"), "refused");
    EXPECT_EQ(json->at("exit"), 1);
    EXPECT_EQ(json->at("status"), "出错了！");
    EXPECT_EQ(json->at("error"), "block 2 refused with '@'");
    EXPECT_EQ(json->at("seconds"), 1.25);
    EXPECT_EQ(json->at("user_crc"), "CRC32:CBF43926");
    EXPECT_TRUE(json->at("boot_crc").is_null());
    EXPECT_EQ(json->at("counter"), 7);
    for (const char* key :
         {"stage", "frames", "blocks", "bytes", "boot_bytes", "user_bytes", "warning"}) {
        EXPECT_TRUE(json->contains(key)) << key;
    }
}

TEST(FlashHints, OnePerFailure)
{
    // The job's own hint already says what to do for a lost port or a stop; a
    // refusal also gets how to retry.
    for (const auto& [outcome, hint] : std::vector<std::pair<JobOutcome, std::string>>{
             {JobOutcome::Serial, "Check the cable, then run the upgrade again."},
             {JobOutcome::Stopped, "Check the cable, then run the upgrade again."},
             {JobOutcome::Refused,
              "Check the cable, then run the upgrade again. To retry, "
              "restart the radio so that its loader runs, or run a full "
              "upgrade with --boot"}}) {
        firmware::JobResult result;
        result.outcome = outcome;
        result.record.stage = JobStage::LoaderBlocks;
        result.message = "what failed";
        result.hint = "Check the cable, then run the upgrade again";
        EXPECT_EQ(ClassifyEnd(result, StopSignal::Interrupt).hint, hint);
    }
}

TEST(EchoedNames, ControlCharactersAreShownEscaped)
{
    for (const auto& [name, shown] : std::vector<std::pair<std::string, std::string>>{
             {"u.bin", "u.bin"},
             {"a\nb", "a\\nb"},
             {"a\tb\r", "a\\tb\\r"},
             {"\x1b[2J.bin", "\\x1b[2J.bin"},
             {"\x7f\x01", "\\x7f\\x01"},
             {"C:\\fw\\u.bin", "C:\\fw\\u.bin"},  // a backslash stays as it is
             {"\xc2\x9b"
              "2J",
              "\\u009b2J"},  // a C1 control in UTF-8
             {"镜像\xc2\xa0.bin", "镜像\xc2\xa0.bin"}}) {
        EXPECT_EQ(EscapeControls(name), shown);
    }
}

TEST(FlashJson, NoRadioIsAFailureWithAnEmptyList)
{
    const auto json = testing::ParseJson(FormatFlashJson({}, 0.0, 5));
    ASSERT_TRUE(json);
    EXPECT_EQ(json->at("result"), "failed");
    EXPECT_EQ(json->at("exit"), kExitPort);
    EXPECT_TRUE(json->at("radios").is_array());
    EXPECT_TRUE(json->at("radios").empty());
    EXPECT_EQ(json->at("totals").at("counter"), 5);
}

TEST(FlashReport, CounterAtItsLimitWarnsInTheClosingLineJsonAndTable)
{
    FlashOutcome outcome = Ended("/dev/ttyUSB0", 0);
    outcome.counter = 2147483647;
    outcome.counterAtLimit = true;
    EXPECT_NE(CompletedLine(outcome).find("at its limit"), std::string::npos);
    const auto json = testing::ParseJson(FormatFlashJson(outcome));
    ASSERT_TRUE(json);
    EXPECT_NE(json->at("warning").get<std::string>().find("at its limit"), std::string::npos);
    EXPECT_NE(FormatSummaryTable({outcome}, outcome.counter).find("at its limit"),
              std::string::npos);
    outcome.counterAtLimit = false;
    EXPECT_EQ(CompletedLine(outcome).find("limit"), std::string::npos);
}

// The chip as the bootloader named it: a line during the run, an object in
// the JSON, the uid in the table of several radios; what it did not tell is null.
TEST(ChipIdentity, ShowsInTheLineTheJsonAndTheTable)
{
    firmware::ChipIdentity chip;
    chip.pid = 0x410;
    chip.bootloaderVersion = 0x22;
    chip.uid = {0x00, 0x32, 0x00, 0x3A, 0x32, 0x35, 0x51, 0x0D, 0x37, 0x36, 0x39, 0x35};
    EXPECT_EQ(ChipStatusLine(chip),
              "chip: STM32F10x medium density (0x410), bootloader 2.2, uid "
              "0032003A3235510D37363935");
    FlashOutcome outcome = Ended("/dev/ttyUSB0", 0);
    outcome.record.chip = chip;
    const auto json = testing::ParseJson(FormatFlashJson(outcome));
    ASSERT_TRUE(json);
    const auto& object = json->at("chip");
    EXPECT_EQ(object.at("pid"), "0x410");
    EXPECT_EQ(object.at("name"), "STM32F10x medium density");
    EXPECT_EQ(object.at("bootloader"), "2.2");
    EXPECT_EQ(object.at("uid"), "0032003A3235510D37363935");
    EXPECT_TRUE(object.at("read_protected").is_null());
    EXPECT_TRUE(testing::ParseJson(FormatFlashJson(Ended("x", 1)))->at("chip").is_null());
    const std::string table = FormatSummaryTable({outcome, Ended("1-1.4", 1)}, 7);
    EXPECT_NE(table.find("0032003A3235510D37363935"), std::string::npos) << table;
}

TEST(Info, NamesThePartAndItsStateAndSaysWhatTheJobDoesNotServe)
{
    InfoOutcome outcome;
    outcome.port = "/dev/pts/4";
    firmware::ChipReport chip;
    chip.identity.pid = 0x413;
    chip.identity.bootloaderVersion = 0x31;
    chip.identity.readProtected = true;
    chip.commands = std::vector<std::uint8_t>{0x00, 0x44};
    outcome.chip = chip;
    const std::string text = FormatInfoText(outcome);
    for (const char* part :
         {"/dev/pts/4: STM32F40x/F41x (0x413), bootloader 3.1", "commands offered: 00 44",
          "read protection: on", "flash: unknown", "does not serve this part"}) {
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    }
    InfoOutcome lost;
    lost.port = "/dev/pts/5";
    lost.result = "port";
    lost.exitStatus = kExitPort;
    EXPECT_EQ(InfoExitStatus({outcome, lost}), kExitPort);
    const auto json = testing::ParseJson(FormatInfoJson({outcome, lost}, true));
    ASSERT_TRUE(json);
    EXPECT_EQ(json->at("exit"), kExitPort);
    EXPECT_EQ(json->at("radios").at(0).at("chip").at("commands").at(1), "0x44");
    EXPECT_EQ(json->at("radios").at(0).at("chip").at("served"), false);
    EXPECT_TRUE(json->at("radios").at(1).at("chip").is_null());
}

TEST(FlashHints, NameWhatToCheckForWhereItFailed)
{
    EXPECT_NE(FailureHint(JobOutcome::Refused, JobStage::RomSync).find("bootloader"),
              std::string::npos);
    EXPECT_NE(FailureHint(JobOutcome::Refused, JobStage::LoaderWait).find("loader"),
              std::string::npos);
    EXPECT_NE(FailureHint(JobOutcome::Serial, JobStage::LoaderBlocks).find("again"),
              std::string::npos);
}

}  // namespace
}  // namespace korvane::cli
