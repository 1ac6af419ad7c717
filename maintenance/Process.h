// Launching external programs: directly from an argument vector (no shell parses
// anything), waiting for them and examining how they ended.
#pragma once

#include <filesystem>
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

    bool Succeeded() const { return started && !signalled && exitCode == 0; }
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
                         bool captureOutput = true);

// One sentence (plus the program's output, when there is any) saying how a run
// of `program` ended, for a message box: why it could not start, its exit
// status or the signal that ended it.
std::string DescribeOutcome(const ProcessResult& result, std::string_view program);

// The Windows command line that hands `args` unchanged to a program that splits
// its command line the way the C runtime does (CommandLineToArgvW rules).
std::wstring BuildWindowsCommandLine(const std::vector<std::wstring>& args);

#ifdef _WIN32
// Runs one command line through the command processor (cmd.exe /c) and waits.
// Its output goes to the console window the command processor opens, or, with
// `captureOutput`, into the result (and no console window opens).
ProcessResult RunCommandLine(const std::wstring& commandLine, bool captureOutput = false);
#endif

}  // namespace korvane::maintenance
