// Runs the built `korvane` as a user would: copied into a program folder of its
// own (so its Sys.dat is the test's), with its output captured from files or a
// pseudo-terminal.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace korvane::testing {

struct RunResult {
    int exitStatus = -1;  // the exit status, or 128 + the signal that ended it
    std::string out;      // standard output (and error, when on a terminal)
    std::string err;      // standard error
    double seconds = 0.0;
};

// A temporary program folder holding a copy of korvane; removed with the object.
class ProgramFolder {
public:
    ProgramFolder();
    ~ProgramFolder();
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    const std::filesystem::path& Dir() const { return m_dir; }
    std::filesystem::path Korvane() const { return m_dir / "korvane"; }
    std::filesystem::path SysDat() const { return m_dir / "Sys.dat"; }
    // Writes a file of `bytes` into the folder and returns its path.
    std::filesystem::path WriteFile(const std::string& name,
                                    const std::vector<std::uint8_t>& bytes) const;
    // Sys.dat with the given language and counter, other bytes zero.
    void WriteSysDat(std::uint8_t language, std::int32_t counter) const;
    std::int32_t CounterInSysDat() const;

    // Where the test keeps what is not the program's (captured output).
    const std::filesystem::path& ScratchDir() const { return m_root; }

private:
    std::filesystem::path m_root;
    std::filesystem::path m_dir;
};

// Where a korvane process's standard output goes (standard error goes to a
// file, or with it to the terminal).
enum class OutputTo {
    File,
    Terminal,    // an 80-column pseudo-terminal, standard error too
    FullDevice,  // /dev/full: every write fails (ENOSPC)
    Closed,      // no standard output at all
    ClosedPipe,  // a pipe whose reader has quit before the first write
};

// A started korvane process whose output goes to files (or a terminal).
class KorvaneProcess {
public:
    // `onTerminal`: standard output and error go to a pseudo-terminal.
    KorvaneProcess(const ProgramFolder& folder, const std::vector<std::string>& args,
                   bool onTerminal = false);
    KorvaneProcess(const ProgramFolder& folder, const std::vector<std::string>& args,
                   OutputTo output);
    ~KorvaneProcess();  // kills and reaps a process still running
    KorvaneProcess(const KorvaneProcess&) = delete;
    KorvaneProcess& operator=(const KorvaneProcess&) = delete;

    void Signal(int signal) const;
    // What the process has written to standard output so far.
    std::string OutputSoFar();
    // Waits until the output holds `text`; false after `timeout` or when the process ended.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);
    // Waits for the end; nothing when `timeout` passed first.
    std::optional<RunResult> Wait(std::chrono::milliseconds timeout);

private:
    void DrainTerminal();

    pid_t m_pid = -1;
    std::filesystem::path m_outPath;
    std::filesystem::path m_errPath;
    int m_terminalMaster = -1;
    std::string m_terminalOutput;
    std::chrono::steady_clock::time_point m_start;
    std::optional<RunResult> m_result;
};

// Starts another program with its standard output going to `out`.
pid_t SpawnToFile(const std::vector<std::string>& argv, const std::filesystem::path& out);
// Its exit status once it ended (killed and -1 after `timeout`).
int WaitForExit(pid_t pid, std::chrono::milliseconds timeout);

// Runs korvane to its end (at most a minute).
RunResult RunKorvane(const ProgramFolder& folder, const std::vector<std::string>& args,
                     bool onTerminal = false);
RunResult RunKorvane(const ProgramFolder& folder, const std::vector<std::string>& args,
                     OutputTo output);

}  // namespace korvane::testing
