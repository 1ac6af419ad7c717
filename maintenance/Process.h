// Launching external programs: directly from an argument vector (no shell parses
// anything), waiting for them and examining how they ended.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::maintenance {

struct ProcessResult {
    bool started = false;    // false: the program could not be started at all
    int exitCode = -1;       // exit status when it ended normally
    bool signalled = false;  // ended by a signal (POSIX)
    int signalNumber = 0;    // which signal, when signalled
    std::string output;      // what it printed (stdout and stderr together), when captured
    std::string startError;  // why it could not be started
    bool timedOut = false;   // ended by us: it outlived its time limit
    bool stopped = false;    // ended by us: a stop was requested
    std::chrono::milliseconds timeLimit{0};  // the limit it had, when it timed out

    bool Succeeded() const
    {
        return started && !signalled && !timedOut && !stopped && exitCode == 0;
    }
};

// What may end a run before the program ends by itself. A program ended this
// way is asked to terminate (SIGTERM to its process group on POSIX), given a
// short grace, then killed; either way it has been waited for when RunProcess
// returns, so nothing is left behind.
struct RunLimits {
    std::chrono::milliseconds timeLimit{0};  // zero: no limit
    // Asked about every tenth of a second while the program runs; true ends it.
    std::function<bool()> stopRequested;
};

// "" on POSIX, ".exe" on Windows: the file name ending of a program.
extern const std::string_view kExecutableSuffix;

// Runs argv[0] (searched on PATH when it has no slash) with the given arguments
// in `workingDirectory` (empty: the current one) and waits for it. Standard
// input is the null device; with `captureOutput` stdout and stderr are read
// through one pipe into `output` while the program runs. Never throws for a
// program that fails: the result says what happened.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::filesystem::path& workingDirectory = {},
                         bool captureOutput = true, const RunLimits& limits = {});

// The one description of how a run of `program` ended, in the user's
// language: why it could not start, that it outlived its time limit or was
// stopped, its exit status or the signal that ended it. One sentence.
std::string DescribeEnding(const ProcessResult& result, std::string_view program);

// For a message box: DescribeEnding, then `hint` (when given) on a line of its
// own, then the program's output (when there is any) after a blank line.
std::string DescribeOutcome(const ProcessResult& result, std::string_view program,
                            std::string_view hint = {});

// The Windows command line that hands `args` unchanged to a program that splits
// its command line the way the C runtime does (CommandLineToArgvW rules).
std::wstring BuildWindowsCommandLine(const std::vector<std::wstring>& args);

#ifdef _WIN32
// Runs one command line through the command processor (cmd.exe /c) and waits.
// Its output goes to the console window the command processor opens, or, with
// `captureOutput`, into the result (and no console window opens).
ProcessResult RunCommandLine(const std::wstring& commandLine, const RunLimits& limits = {},
                             bool captureOutput = false);
#endif

}  // namespace korvane::maintenance
