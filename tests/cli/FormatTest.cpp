// How korvane shows a job: sizes, durations, the live bar, plain lines, the
// JSON result, and how each way a job ends maps to its exit status.
#include <gtest/gtest.h>

#include <string>

#include "cli/Flash.h"
#include "cli/Json.h"
#include "cli/Progress.h"
#include "firmware/DownloadJob.h"
#include "tests/cli/FlatJson.h"

namespace korvane::cli {
namespace {

using firmware::JobFailure;
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
    // Cut to the terminal's width so that the carriage return redraws it in place.
    EXPECT_EQ(FormatProgressLine(view, 30).size(), 30u);
}

TEST(ProgressFormat, PlainLine)
{
    EXPECT_EQ(FormatPlainProgress({"rom-write", 256, 1024, 2.0}),
              "progress: 25% (256 of 1024 bytes, stage rom-write)");
}

TEST(Json, QuotesEscapesAndKeepsUtf8)
{
    EXPECT_EQ(JsonQuote("a\"b\\c"), R"("a\"b\\c")");
    EXPECT_EQ(JsonQuote("\n\t\x01\x7f"), R"("\n\t\u0001\u007F")");
    EXPECT_EQ(JsonQuote("出错了！"), "\"出错了！\"");
    JsonObject object;
    object.Add("s", "x").AddInteger("i", -3).AddNumber("d", 1.5).AddNull("n");
    EXPECT_EQ(object.Text(), R"({"s":"x","i":-3,"d":1.500,"n":null})");
}

struct EndCase {
    std::int32_t workerState;
    JobFailure failure;
    bool interrupted;
    int exitStatus;
    std::string result;
};

class JobEnds : public ::testing::TestWithParam<EndCase> {};

TEST_P(JobEnds, MapToExitStatusAndResult)
{
    const EndCase& c = GetParam();
    firmware::JobDetails details;
    details.workerState = c.workerState;
    details.failure = c.failure;
    details.stage = JobStage::LoaderBlocks;
    details.blocksSent = 3;
    details.userBytesSent = 3 * 4096;
    details.bootBytesSent = 512;
    details.framesSent = 2;
    const FlashOutcome outcome = ClassifyEnd(details, c.interrupted);
    EXPECT_EQ(outcome.exitStatus, c.exitStatus);
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.stage, firmware::StageName(JobStage::LoaderBlocks));
    EXPECT_EQ(outcome.blocks, 3);
    EXPECT_EQ(outcome.frames, 2);
    EXPECT_EQ(outcome.bytes, 3 * 4096 + 512);
}

INSTANTIATE_TEST_SUITE_P(
    Table, JobEnds,
    ::testing::Values(EndCase{firmware::kWorkerFinished, JobFailure::None, false, 0, "success"},
                      // A job that finished just as Ctrl-C came still finished.
                      EndCase{firmware::kWorkerFinished, JobFailure::None, true, 0, "success"},
                      EndCase{firmware::kWorkerStopped, JobFailure::None, true, 130, "interrupted"},
                      EndCase{firmware::kWorkerFailed, JobFailure::Refused, false, 1, "refused"},
                      EndCase{firmware::kWorkerFailed, JobFailure::Image, false, 2, "image"},
                      EndCase{firmware::kWorkerFailed, JobFailure::Serial, false, 3, "port"},
                      EndCase{firmware::kWorkerFailed, JobFailure::Other, false, 1, "failed"},
                      // Never reported as success without the finished state.
                      EndCase{firmware::kWorkerRunning, JobFailure::None, false, 1, "failed"}));

TEST(FlashJson, CarriesEveryFieldAndParses)
{
    FlashOutcome outcome;
    outcome.result = "refused";
    outcome.exitStatus = 1;
    outcome.stage = "loader-blocks";
    outcome.status = "出错了！";
    outcome.error = "block 2 refused with '@'";
    outcome.blocks = 2;
    outcome.bytes = 8192;
    outcome.seconds = 1.25;
    outcome.userCrc = 0xCBF43926;
    outcome.userBytes = 9;
    outcome.counter = 7;
    const auto json = testing::ParseFlatJson(FormatFlashJson(outcome));
    ASSERT_TRUE(json);
    EXPECT_EQ(json->at("result").text, "refused");
    EXPECT_EQ(json->at("exit").number, 1);
    EXPECT_EQ(json->at("status").text, "出错了！");
    EXPECT_EQ(json->at("error").text, "block 2 refused with '@'");
    EXPECT_EQ(json->at("seconds").number, 1.25);
    EXPECT_EQ(json->at("user_crc").text, "CRC32:CBF43926");
    EXPECT_EQ(json->at("boot_crc").kind, testing::JsonValue::Kind::Null);
    EXPECT_EQ(json->at("counter").number, 7);
    for (const char* key :
         {"stage", "frames", "blocks", "bytes", "boot_bytes", "user_bytes", "warning"}) {
        EXPECT_TRUE(json->contains(key)) << key;
    }
}

TEST(FlashHints, NameWhatToCheckForWhereItFailed)
{
    FlashOutcome refused;
    refused.result = "refused";
    EXPECT_NE(FailureHint(refused, JobStage::RomSync).find("bootloader"), std::string::npos);
    EXPECT_NE(FailureHint(refused, JobStage::LoaderWait).find("loader"), std::string::npos);
    FlashOutcome lost;
    lost.result = "port";
    EXPECT_NE(FailureHint(lost, JobStage::LoaderBlocks).find("again"), std::string::npos);
}

}  // namespace
}  // namespace korvane::cli
