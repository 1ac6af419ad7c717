// The built korvane run as a process: help and version, argument errors, crc
// and the counter shared through the Sys.dat of its program folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "tests/cli/KorvaneProcess.h"

namespace korvane::testing {
namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(KorvaneRun, HelpAndVersion)
{
    const ProgramFolder folder;
    const RunResult version = RunKorvane(folder, {"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out, "korvane 1.0.0.1\n");

    const RunResult help = RunKorvane(folder, {"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    for (const char* command : {"ports", "flash", "crc", "apn", "counter"}) {
        EXPECT_TRUE(Contains(help.out, command)) << command;
        const RunResult commandHelp = RunKorvane(folder, {command, "--help"});
        EXPECT_EQ(commandHelp.exitStatus, 0);
        EXPECT_TRUE(Contains(commandHelp.out, std::string("Usage: korvane ") + command));
    }
}

TEST(KorvaneRun, PortsListsNumberAndDeviceOrSaysThereAreNone)
{
    const ProgramFolder folder;
    const RunResult run = RunKorvane(folder, {"ports"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    ASSERT_FALSE(run.out.empty());
    if (run.out.rfind("No serial ports found.", 0) == 0) {
        return;
    }
    std::istringstream lines(run.out);
    int expected = 1;
    for (std::string line; std::getline(lines, line); ++expected) {
        std::istringstream fields(line);
        int number = 0;
        std::string device;
        fields >> number >> device;
        EXPECT_EQ(number, expected) << line;  // numbered from 1, as the dialog's list
        EXPECT_EQ(device.rfind("/dev/", 0), 0u) << line;
    }
}

TEST(KorvaneRun, BadArgumentsExitTwoWithOneLineAndAHint)
{
    const ProgramFolder folder;
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"frobnicate"},
                                               {"flash", "--user", "u.bin"},
                                               {"crc"},
                                               {"counter", "--clear", "x"},
                                               // A number outside the list, whatever its value.
                                               {"flash", "--port", "-1", "--user", "u.bin"},
                                               {"flash", "--port", "32767", "--user", "u.bin"},
                                               {"flash", "--port", "--user", "u.bin"}}) {
        const RunResult run = RunKorvane(folder, args);
        EXPECT_EQ(run.exitStatus, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("korvane: ", 0), 0u) << run.err;
        EXPECT_TRUE(Contains(run.err, "--help'")) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

TEST(KorvaneRun, OutputThatCannotBeWrittenIsReportedAndChangesTheStatus)
{
    const ProgramFolder folder;
    const std::string image = folder.WriteFile("u.bin", {1, 2, 3}).string();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--version"}, {"counter"}, {"crc", image}, {"flash", "--help"}}) {
        // Nowhere to write: the status says so, standard error says why.
        for (const OutputTo output : {OutputTo::FullDevice, OutputTo::Closed}) {
            const RunResult run = RunKorvane(folder, args, output);
            EXPECT_EQ(run.exitStatus, 4) << args.front() << "\n" << run.err;
            EXPECT_TRUE(Contains(run.err, "korvane: standard output could not be written"))
                << run.err;
        }
        // A reader that quit: not killed by SIGPIPE, the status is the command's own.
        const RunResult piped = RunKorvane(folder, args, OutputTo::ClosedPipe);
        EXPECT_EQ(piped.exitStatus, 0) << args.front() << "\n" << piped.err;
        EXPECT_TRUE(Contains(piped.err, "korvane: warning: the reader of standard output"))
            << args.front() << "\n"
            << piped.err;
    }
}

// Our own sentences in the language of Sys.dat: once names and commands are
// taken out, no English word is left.
TEST(KorvaneRun, ChineseMessagesHoldNoEnglishSentence)
{
    const ProgramFolder folder;
    folder.WriteSysDat(0, 0);
    std::filesystem::copy_file(KORVANE_TXT_INI, folder.Dir() / "Txt.ini");
    const std::string image = folder.WriteFile("u.bin", {1, 2, 3}).string();
    for (const std::string& port : {std::string("-1"), std::string("/dev/ptmx")}) {
        const RunResult run = RunKorvane(folder, {"flash", "--port", port, "--user", image});
        EXPECT_NE(run.exitStatus, 0);
        std::string words = run.err;
        for (const std::string& name : {port, image, std::string("korvane"), std::string("ports"),
                                        std::string("flash"), std::string("--help")}) {
            for (std::size_t at; (at = words.find(name)) != std::string::npos;) {
                words.erase(at, name.size());
            }
        }
        const bool english = std::adjacent_find(words.begin(), words.end(), [](char a, char b) {
                                 return std::isalpha(static_cast<unsigned char>(a)) &&
                                        std::isalpha(static_cast<unsigned char>(b));
                             }) != words.end();
        EXPECT_FALSE(english) << run.err;
    }
}

TEST(KorvaneRun, ControlCharactersInNamesAreEscapedOutsideJson)
{
    const ProgramFolder folder;
    const std::string missing = (folder.Dir() / "new\nline\x1b[31m.bin").string();
    const std::vector<std::string> args{"flash", "--port", "/dev/korvane-none", "--user", missing};
    const RunResult plain = RunKorvane(folder, args);
    EXPECT_EQ(plain.exitStatus, 2);
    EXPECT_EQ(std::count(plain.err.begin(), plain.err.end(), '\n'), 1) << plain.err;
    EXPECT_FALSE(Contains(plain.err, "\x1b")) << plain.err;
    EXPECT_TRUE(Contains(plain.err, "new\\nline\\x1b[31m.bin")) << plain.err;

    std::vector<std::string> withJson = args;
    withJson.push_back("--json");
    const RunResult json = RunKorvane(folder, withJson);
    EXPECT_TRUE(Contains(json.out, "new\\nline\\u001b[31m.bin")) << json.out;  // exact, as JSON
    EXPECT_FALSE(Contains(json.err, "\x1b")) << json.err;
}

TEST(KorvaneRun, CrcOfEachFileAsTheDialogShowsIt)
{
    const ProgramFolder folder;
    const std::string digits = "123456789";
    const auto nine = folder.WriteFile("digits.bin", {digits.begin(), digits.end()});
    const auto empty = folder.WriteFile("empty.bin", {});
    const auto tooLarge = folder.WriteFile("large.bin", std::vector<std::uint8_t>(1'024'001, 0));

    const RunResult ok = RunKorvane(folder, {"crc", nine.string(), empty.string()});
    EXPECT_EQ(ok.exitStatus, 0);
    EXPECT_EQ(ok.out,
              "CRC32:CBF43926  " + nine.string() + "\nCRC32:00000000  " + empty.string() + "\n");

    // The good file is still printed; the bad ones get a line each and exit status 2.
    const RunResult bad = RunKorvane(
        folder, {"crc", tooLarge.string(), nine.string(), (folder.Dir() / "missing.bin").string()});
    EXPECT_EQ(bad.exitStatus, 2);
    EXPECT_EQ(bad.out, "CRC32:CBF43926  " + nine.string() + "\n");
    EXPECT_EQ(std::count(bad.err.begin(), bad.err.end(), '\n'), 2) << bad.err;
    EXPECT_TRUE(Contains(bad.err, "large.bin")) << bad.err;
    EXPECT_TRUE(Contains(bad.err, "missing.bin")) << bad.err;
}

TEST(KorvaneRun, CounterIsTheOneInSysDatBesideTheExecutable)
{
    const ProgramFolder folder;
    const RunResult none = RunKorvane(folder, {"counter"});
    EXPECT_EQ(none.exitStatus, 0);
    EXPECT_EQ(none.out, "0\n");

    folder.WriteSysDat(1, 41);
    EXPECT_EQ(RunKorvane(folder, {"counter"}).out, "41\n");
    const RunResult cleared = RunKorvane(folder, {"counter", "--clear"});
    EXPECT_EQ(cleared.exitStatus, 0);
    EXPECT_EQ(cleared.out, "0\n");
    EXPECT_EQ(folder.CounterInSysDat(), 0);
    EXPECT_EQ(RunKorvane(folder, {"counter"}).out, "0\n");
}

// A Sys.dat that cannot be read is an error for the counter, never a count of
// 0; a link to what is no record is never written, so a clear fails and says so.
TEST(KorvaneRun, CounterOfASysDatThatCannotBeUsedFails)
{
    namespace fs = std::filesystem;
    struct Case {
        const char* name;
        fs::path target;  // empty: a folder under the name itself
        bool clear;
        const char* says;
    };
    const Case cases[] = {
        {"folder", {}, false, "Cannot read"},
        {"folder, clear", {}, true, "Cannot read"},
        {"link to a device, clear", "/dev/null", true, "a device"},
        {"link to nothing, clear", "nowhere", true, "missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramFolder folder;
        if (c.target.empty()) {
            fs::create_directory(folder.SysDat());
        } else {
            fs::create_symlink(c.target, folder.SysDat());
        }
        const RunResult run =
            RunKorvane(folder, c.clear ? std::vector<std::string>{"counter", "--clear"}
                                       : std::vector<std::string>{"counter"});
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(Contains(run.err, c.says)) << run.err;
        EXPECT_EQ(fs::symlink_status(folder.SysDat()).type(),
                  c.target.empty() ? fs::file_type::directory : fs::file_type::symlink);
        EXPECT_TRUE(fs::is_character_file("/dev/null"));
        EXPECT_FALSE(fs::exists(folder.Dir() / "nowhere"));
    }
}

// Another program holding Sys.dat's lock holds up only what reads or writes
// Sys.dat, and that for a few seconds: then the counter says which file is held.
TEST(KorvaneRun, HeldSettingsLockHangsNothing)
{
    const ProgramFolder folder;
    folder.WriteSysDat(0, 5);
    const std::string lockFile = (folder.Dir() / "Sys.dat.lock").string();
    const int held = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    const auto start = std::chrono::steady_clock::now();
    const std::string image = folder.WriteFile("u.bin", {1, 2, 3}).string();
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--help"},
                                               {"--version"},
                                               {"counter", "--help"},
                                               {"crc", image},
                                               {"no-such-command"}}) {
        SCOPED_TRACE(args.front());
        EXPECT_NE(RunKorvane(folder, args).exitStatus, 1);
    }
    // Five waits for the lock would take 15 s.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

    const auto counterStart = std::chrono::steady_clock::now();
    const RunResult counter = RunKorvane(folder, {"counter"});
    const auto waited = std::chrono::steady_clock::now() - counterStart;
    EXPECT_EQ(counter.exitStatus, 1);
    EXPECT_TRUE(Contains(counter.err, lockFile)) << counter.err;
    EXPECT_TRUE(Contains(counter.err, "Another program holds")) << counter.err;
    EXPECT_GE(waited, std::chrono::milliseconds(2500));
    EXPECT_LT(waited, std::chrono::seconds(30));

    ::close(held);
    EXPECT_EQ(RunKorvane(folder, {"counter"}).out, "5\n");
}

// An adb beside the executable is the one korvane runs; this one writes down
// its arguments and ends with the given status.
void WriteFakeAdb(const ProgramFolder& folder, int exitStatus)
{
    const std::string script =
        "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/adb-args.txt\"\n"
        "echo 'Broadcast completed: result=0'\nexit " +
        std::to_string(exitStatus) + "\n";
    const auto adb = folder.WriteFile("adb", {script.begin(), script.end()});
    std::filesystem::permissions(adb, std::filesystem::perms::owner_all);
}

TEST(KorvaneRun, ApnRunsTheBroadcastThroughAdb)
{
    const ProgramFolder folder;
    WriteFakeAdb(folder, 0);
    const RunResult run =
        RunKorvane(folder, {"apn", "--name", "internet", "--apn", "web", "--password", "s3cret"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    std::ifstream argsFile(folder.Dir() / "adb-args.txt");
    const std::string args((std::istreambuf_iterator<char>(argsFile)),
                           std::istreambuf_iterator<char>());
    EXPECT_EQ(args.rfind("shell\nam\nbroadcast\n-a\n", 0), 0u) << args;
    EXPECT_TRUE(
        Contains(args, "--es\nname\n'internet'\n--es\napn\n'web'\n--es\npassword\n's3cret'\n"))
        << args;
    EXPECT_FALSE(Contains(args, "numeric"));
    // The password is sent but never shown.
    EXPECT_FALSE(Contains(run.out, "s3cret")) << run.out;
    EXPECT_TRUE(Contains(run.out, "Broadcast completed")) << run.out;
}

TEST(KorvaneRun, ApnFailureOfAdbIsReported)
{
    const ProgramFolder folder;
    WriteFakeAdb(folder, 1);
    const RunResult run = RunKorvane(folder, {"apn", "--name", "internet"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err,
              "korvane: adb failed with exit status 1. Check that the radio is connected "
              "with USB debugging on and that 'adb devices' lists exactly one device.\n");
}

// A radio whose Android refuses the broadcast: adb still ends with 0.
TEST(KorvaneRun, ApnRefusedByTheRadioIsAFailureQuotingItsAnswer)
{
    const ProgramFolder folder;
    const std::string script =
        "#!/bin/sh\nprintf 'Broadcasting: Intent { act=x }\\njava.lang.SecurityException: "
        "Permission Denial\\033[2J\\n'\n";
    const auto adb = folder.WriteFile("adb", {script.begin(), script.end()});
    std::filesystem::permissions(adb, std::filesystem::perms::owner_all);
    const RunResult run = RunKorvane(folder, {"apn", "--name", "internet"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_FALSE(Contains(run.out, "APN settings sent")) << run.out;
    EXPECT_TRUE(Contains(run.err,
                         "korvane: The radio did not confirm the APN broadcast; it answered "
                         "\"Broadcasting: Intent { act=x } / java.lang.SecurityException: "
                         "Permission Denial\\x1b[2J\". Check that the device on USB is the radio"))
        << run.err;
}

}  // namespace
}  // namespace korvane::testing
