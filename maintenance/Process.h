// Launching external programs: directly from an argument vector (no shell parses
// anything), waiting for them and examining how they ended.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace korvane::maintenance {

struct ProcessResult {
    bool started = false;     // false: the program could not be started at all
    int exitCode = -1;        // exit status when it ended normally
    bool signalled = false;   // ended by a signal (POSIX)
    std::string output;       // what it printed (stdout and stderr together), when captured
    std::string startError;   // why it could not be started

    bool Succeeded() const { return started && !signalled && exitCode == 0; }
};

// Runs argv[0] (searched on PATH when it has no slash) with the given arguments
// in `workingDirectory` (empty: the current one) and waits for it.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::filesystem::path& workingDirectory = {},
                         bool captureOutput = true);

#ifdef _WIN32
// Runs one command line through the command processor (cmd.exe /c) and waits.
ProcessResult RunCommandLine(const std::wstring& commandLine);
#endif

}  // namespace korvane::maintenance
