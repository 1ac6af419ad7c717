// The job history: what is written is read back whole (Chinese names, commas,
// quotes, line breaks), filters answer "what happened to this radio", and
// appenders in several processes lose no line and tear none.
#include "history/History.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>

#include "../settings/TempDir.h"
#include "error/Error.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace korvane::history {
namespace {

using settings::test::TempDir;

Record Sample(std::string uid, std::string started, std::string message)
{
    Record r;
    r.started = std::move(started);
    r.seconds = 17.25;
    r.port = "/dev/ttyUSB0";
    r.location = "1-1.2";
    r.uid = std::move(uid);
    r.pid = "0x410";
    r.bootloader = "2.2";
    r.bootImage = "固件 测试/boot,v2.bin";
    r.bootBytes = "16384";
    r.bootCrc = "278F4F76";
    r.userImage = "user \"final\".bin";
    r.pacing = "patient";
    r.verified = true;
    r.result = "refused";
    r.stage = "loader-blocks";
    r.exitStatus = 1;
    r.message = std::move(message);
    return r;
}

std::string FileText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void ExpectSameRecord(const Record& a, const Record& b)
{
    EXPECT_EQ(CsvLine(a), CsvLine(b));
}

TEST(History, WhatIsAppendedIsReadBackWholeWithOneHeader)
{
    TempDir dir;
    const auto file = dir / "korvane-history.csv";
    const Record first = Sample("0032003A3235510D37363935", "2026-12-08T17:21:24+08:00",
                                "radio said \"no\", then:\nline two, with a comma");
    const Record second = Sample("", "2026-12-08T17:30:00+08:00", "");
    Append(file, first);
    Append(file, second);

    const std::string text = FileText(file);
    EXPECT_EQ(text.rfind("\xEF\xBB\xBFstarted,seconds,port,", 0), 0u);
    EXPECT_EQ(text.find("started,", 10), std::string::npos) << "the header is written once";

    const ReadResult read = Read(file, {});
    ASSERT_EQ(read.records.size(), 2u);
    EXPECT_EQ(read.skippedRows, 0u);
    ExpectSameRecord(read.records[0], first);
    ExpectSameRecord(read.records[1], second);
    EXPECT_EQ(read.records[0].message, first.message);
}

TEST(History, FiltersByUidIgnoringCaseAndBySinceAcrossOffsets)
{
    TempDir dir;
    const auto file = dir / "h.csv";
    Append(file, Sample("00AA", "2026-12-07T23:30:00+08:00", "a"));  // 15:30 UTC
    Append(file, Sample("00BB", "2026-12-07T16:00:00+00:00", "b"));  // 16:00 UTC
    Append(file, Sample("00aa", "2026-12-08T09:00:00+08:00", "c"));

    const auto a = Read(file, {"00Aa", std::nullopt}).records;
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0].message, "a");
    EXPECT_EQ(a[1].message, "c");

    const auto since = Read(file, {"", ParseTime("2026-12-07T15:45:00Z")}).records;
    ASSERT_EQ(since.size(), 2u);
    EXPECT_EQ(since[0].message, "b");
}

TEST(History, TimesParseOnlyInTheirOwnForms)
{
    EXPECT_EQ(ParseTime("1970-01-01T00:00:00Z"), 0);
    EXPECT_EQ(ParseTime("1970-01-01T08:00:00+08:00"), 0);
    EXPECT_EQ(ParseTime("2000-03-01T00:00:00-01:30"), 951868800 + 5400);
    for (const char* bad : {"", "2026-13-01", "2026-12-08T25:00:00Z", "2026-12-08 10:00:00",
                            "2026-12-08T10:00:00", "2026-12-08T10:00:00+0800", "yesterday"})
        EXPECT_FALSE(ParseTime(bad)) << bad;
    // A time written now reads back as now.
    const auto now = std::chrono::system_clock::now();
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
    EXPECT_EQ(ParseTime(FormatLocalTime(now)), seconds);
}

TEST(History, RowsThatAreNotRecordsAreCountedNotRead)
{
    TempDir dir;
    const auto file = dir / "h.csv";
    Append(file, Sample("01", "2026-12-08T10:00:00Z", "kept"));
    std::ofstream(file, std::ios::app | std::ios::binary) << "edited,by,hand\r\n";
    const ReadResult read = Read(file, {});
    EXPECT_EQ(read.records.size(), 1u);
    EXPECT_EQ(read.skippedRows, 1u);
    EXPECT_TRUE(Read(dir / "absent.csv", {}).records.empty());
}

#ifndef _WIN32
TEST(History, SomethingElseUnderTheNameIsAnErrorNeverAHang)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    for (const char* name : {"folder", "fifo"})
        EXPECT_THROW(Append(dir / name, Sample("", "", "")), FileError) << name;
}

TEST(History, AppendersInSeveralProcessesLoseAndTearNoLine)
{
    constexpr int kProcesses = 6;
    constexpr int kLinesEach = 60;
    TempDir dir;
    const auto file = dir / "h.csv";
    // Long messages, so that a line is well beyond what one small write carries.
    const std::string longMessage(6000, 'x');
    for (int p = 0; p < kProcesses; ++p) {
        if (::fork() == 0) {
            for (int i = 0; i < kLinesEach; ++i)
                Append(file, Sample(std::to_string(p), "2026-12-08T10:00:00Z", longMessage));
            ::_exit(0);
        }
    }
    for (int p = 0; p < kProcesses; ++p) {
        int status = 0;
        ::wait(&status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const ReadResult read = Read(file, {});
    EXPECT_EQ(read.skippedRows, 0u);
    ASSERT_EQ(read.records.size(), static_cast<std::size_t>(kProcesses * kLinesEach));
    for (const Record& r : read.records) EXPECT_EQ(r.message, longMessage);
}
#endif

}  // namespace
}  // namespace korvane::history
