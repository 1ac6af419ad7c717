// Running programs from an argument vector: arguments arrive intact, exit
// statuses and signals, programs that cannot start, output capture, working
// directory, and the Windows command-line quoting.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>

#include "maintenance/Process.h"
#include "tests/maintenance/TestFiles.h"

namespace korvane::maintenance {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;
using testing::WriteFile;

// Runs a shell snippet; "$@" holds `args`.
ProcessResult RunShell(const std::string& script, std::vector<std::string> args = {},
                       const std::filesystem::path& directory = {})
{
    std::vector<std::string> argv = {"/bin/sh", "-c", script, "sh"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, directory);
}

TEST(RunProcess, ArgumentsArriveExactlyAsGiven)
{
    const std::vector<std::string> args = {
        "two words",  "it's",       "\"double\"", "", "$(touch pwned)", "; rm -rf x", "back\\slash",
        "zoë 对讲机", "  padded  ", "new\nline",  "*"};
    TempDir dir;
    const ProcessResult result = RunShell("printf '[%s]' \"$@\"", args, dir.Path());
    ASSERT_TRUE(result.Succeeded()) << DescribeOutcome(result, "sh");
    std::string expected;
    for (const std::string& arg : args) {
        expected += "[" + arg + "]";
    }
    EXPECT_EQ(result.output, expected);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(RunProcess, ReportsExitStatusesAndSignals)
{
    struct Case {
        const char* script;
        int exitCode;
        bool signalled;
        int signalNumber;
    };
    const Case cases[] = {
        {"exit 0", 0, false, 0},         {"exit 1", 1, false, 0},
        {"exit 42", 42, false, 0},       {"exit 255", 255, false, 0},
        {"kill -TERM $$", -1, true, 15}, {"kill -KILL $$", -1, true, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        const ProcessResult result = RunShell(c.script);
        EXPECT_TRUE(result.started);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.signalled, c.signalled);
        EXPECT_EQ(result.signalNumber, c.signalNumber);
        EXPECT_EQ(result.Succeeded(), c.exitCode == 0 && !c.signalled);
    }
}

TEST(RunProcess, ProgramsThatCannotStartSayWhy)
{
    TempDir dir;
    WriteFile(dir.Path() / "not-executable", "#!/bin/sh\nexit 0\n");
    struct Case {
        std::vector<std::string> argv;
        std::filesystem::path directory;
        const char* reason;
    };
    const Case cases[] = {
        {{"/nonexistent/program"}, {}, "No such file or directory"},
        {{"korvane-no-such-program-on-path"}, {}, "No such file or directory"},
        {{(dir.Path() / "not-executable").string()}, {}, "Permission denied"},
        {{"/bin/true"}, dir.Path() / "no such folder", "cannot enter the working directory"},
        {{}, {}, "no program was named"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        const ProcessResult result = RunProcess(c.argv, c.directory);
        EXPECT_FALSE(result.started);
        EXPECT_FALSE(result.Succeeded());
        EXPECT_THAT(result.startError, HasSubstr(c.reason));
    }
}

TEST(RunProcess, RunsInTheWorkingDirectory)
{
    TempDir dir("Zoë's folder 对讲机");
    const ProcessResult result = RunShell("pwd", {}, dir.Path());
    EXPECT_EQ(result.output, dir.Path().string() + "\n");
}

TEST(RunProcess, CapturesLargeOutputOnBothStreamsWithoutDeadlock)
{
    constexpr int kBytesPerStream = 1 << 20;  // far more than a pipe holds
    const ProcessResult result =
        RunShell("head -c " + std::to_string(kBytesPerStream) + " /dev/zero | tr '\\0' o; " +
                 "head -c " + std::to_string(kBytesPerStream) + " /dev/zero | tr '\\0' e >&2");
    ASSERT_TRUE(result.Succeeded());
    ASSERT_EQ(result.output.size(), 2u * kBytesPerStream);
    EXPECT_EQ(result.output.find_first_not_of('o'), static_cast<std::size_t>(kBytesPerStream));
    EXPECT_EQ(result.output.find_first_not_of('e', kBytesPerStream), std::string::npos);
}

TEST(RunProcess, InputIsEmptyAndABackgroundChildDoesNotHoldTheCallerUp)
{
    // `cat` ends at once on the null device; the sleeping child keeps the
    // output pipe open after the program itself has ended.
    const auto start = std::chrono::steady_clock::now();
    const ProcessResult result = RunShell("cat; sleep 3 & echo started");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(result.output, "started\n");
    EXPECT_LT(elapsed, std::chrono::seconds(2));
}

TEST(RunProcess, WithoutCaptureOutputIsLeftAlone)
{
    const ProcessResult result =
        RunProcess({"/bin/sh", "-c", "echo not captured >/dev/null; exit 7"}, {}, false);
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 7);
    EXPECT_EQ(result.output, "");
}

// Still running (not ended, and not a zombie waiting to be reaped).
bool IsRunning(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pidText, name, state;
    return stat >> pidText >> name >> state && state != "Z" && state != "X";
}

pid_t PidIn(const std::filesystem::path& file)
{
    pid_t pid = 0;
    std::ifstream(file) >> pid;
    return pid;
}

// A program that never ends by itself is ended by its time limit or by a stop
// request, together with what it started, and is reaped: no zombie stays.
TEST(RunProcess, ATimeLimitOrAStopEndsTheProgramAndWhatItStarted)
{
    enum class Ending { TimeLimit, Stop };
    struct Case {
        const char* script;  // writes its pid to "pid" and a child's to "child"
        Ending ending;
    };
    const Case cases[] = {
        {"echo $$ > pid; sleep 600 & echo $! > child; wait", Ending::TimeLimit},
        {"echo $$ > pid; sleep 600 & echo $! > child; wait", Ending::Stop},
        // Deaf to the polite request: killed after the grace.
        {"trap '' TERM; echo $$ > pid; sleep 600 & echo $! > child; while :; do wait; done",
         Ending::Stop},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        TempDir dir;
        RunLimits limits;
        if (c.ending == Ending::TimeLimit) {
            limits.timeLimit = std::chrono::milliseconds(200);
        } else {
            // Once the program has said who it is, the stop comes.
            limits.stopRequested = [&dir] { return std::filesystem::exists(dir.Path() / "child"); };
        }
        const ProcessResult result =
            RunProcess({"/bin/sh", "-c", c.script}, dir.Path(), true, limits);
        EXPECT_TRUE(result.started);
        EXPECT_FALSE(result.Succeeded());
        EXPECT_EQ(result.timedOut, c.ending == Ending::TimeLimit);
        EXPECT_EQ(result.stopped, c.ending == Ending::Stop);
        const pid_t pid = PidIn(dir.Path() / "pid");
        ASSERT_GT(pid, 0);
        errno = 0;
        EXPECT_EQ(::kill(pid, 0), -1) << "the program is still there (or a zombie)";
        EXPECT_EQ(errno, ESRCH);
        // What it started got the same signals; they arrive when it is next scheduled.
        const pid_t child = PidIn(dir.Path() / "child");
        ASSERT_GT(child, 0);
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (IsRunning(child) && std::chrono::steady_clock::now() < giveUp) {
            ::usleep(10'000);
        }
        EXPECT_FALSE(IsRunning(child)) << "what the program started still runs";
        ::kill(child, SIGKILL);  // nothing is left behind should the check fail
    }
}

TEST(DescribeOutcome, SaysHowTheRunEndedAndShowsTheOutput)
{
    ProcessResult notStarted;
    notStarted.startError = "No such file or directory";
    ProcessResult failed;
    failed.started = true;
    failed.exitCode = 1;
    failed.output = "\n  error: no devices/emulators found\n\n";
    ProcessResult killed;
    killed.started = true;
    killed.signalled = true;
    killed.signalNumber = 9;
    ProcessResult fine;
    fine.started = true;
    fine.exitCode = 0;

    EXPECT_EQ(DescribeOutcome(notStarted, "adb"),
              "adb could not be started: No such file or directory");
    EXPECT_EQ(DescribeOutcome(failed, "adb"),
              "adb failed with exit status 1.\n\nerror: no devices/emulators found");
    EXPECT_EQ(DescribeOutcome(killed, "adb"), "adb was ended by signal 9.");
    EXPECT_EQ(DescribeOutcome(fine, "adb"), "adb finished successfully.");
    ProcessResult late = fine;
    late.timedOut = true;
    late.timeLimit = std::chrono::milliseconds(1500);
    ProcessResult stopped = fine;
    stopped.stopped = true;
    EXPECT_EQ(DescribeOutcome(late, "adb", "Try again."),
              "adb did not finish in time (2 s) and was ended.\nTry again.");
    EXPECT_EQ(DescribeOutcome(stopped, "adb"), "adb was stopped before it had finished.");
}

TEST(BuildWindowsCommandLine, QuotesOnlyWhatTheRuntimeWouldSplitOrUnescape)
{
    struct Case {
        std::vector<std::wstring> args;
        std::wstring line;
    };
    const Case cases[] = {
        {{L"adb", L"shell"}, L"adb shell"},
        {{L"C:\\Program Files\\adb.exe", L"x"}, L"\"C:\\Program Files\\adb.exe\" x"},
        {{L"a", L""}, L"a \"\""},
        {{L"C:\\plain\\path\\"}, L"C:\\plain\\path\\"},
        {{L"C:\\with blank\\"}, L"\"C:\\with blank\\\\\""},
        {{L"say \"hi\""}, L"\"say \\\"hi\\\"\""},
        {{L"a\\\"b"}, L"\"a\\\\\\\"b\""},
        {{L"'internet'"}, L"'internet'"},
        {{L"'my apn'"}, L"\"'my apn'\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BuildWindowsCommandLine(c.args), c.line);
    }
}

}  // namespace
}  // namespace korvane::maintenance
