// Starting korvane from a test: a program folder of its own, posix_spawn with
// the output sent to files or to a pseudo-terminal, and a bounded wait.
#include "tests/cli/KorvaneProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

#ifndef KORVANE_CLI_BINARY
#error "KORVANE_CLI_BINARY must name the built korvane"
#endif

extern char** environ;

namespace korvane::testing {
namespace {

constexpr std::size_t kSysDatSize = 1024;
constexpr std::size_t kLanguageOffset = 32;
constexpr std::size_t kCounterOffset = 38;
constexpr int kSignalExitBase = 128;
constexpr std::chrono::milliseconds kPollStep{20};
constexpr std::chrono::minutes kRunLimit{1};

std::string ReadWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Check(int result, const char* what)
{
    if (result != 0) {
        throw std::system_error(result, std::generic_category(), what);
    }
}

}  // namespace

ProgramFolder::ProgramFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "korvane-cli-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    }
    m_root = pattern;
    m_dir = m_root / "bin";
    std::filesystem::create_directory(m_dir);
    // A copy, not a link: korvane finds its folder through /proc/self/exe.
    std::filesystem::copy_file(KORVANE_CLI_BINARY, Korvane());
    std::filesystem::permissions(Korvane(), std::filesystem::perms::owner_all);
}

ProgramFolder::~ProgramFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

std::filesystem::path ProgramFolder::WriteFile(const std::string& name,
                                               const std::vector<std::uint8_t>& bytes) const
{
    const std::filesystem::path path = m_dir / name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path;
}

void ProgramFolder::WriteSysDat(std::uint8_t language, std::int32_t counter) const
{
    std::vector<std::uint8_t> record(kSysDatSize, 0);
    record[kLanguageOffset] = language;
    const auto value = static_cast<std::uint32_t>(counter);
    for (std::size_t i = 0; i < 4; ++i) {
        record[kCounterOffset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    WriteFile("Sys.dat", record);
}

std::int32_t ProgramFolder::CounterInSysDat() const
{
    const std::string record = ReadWholeFile(SysDat());
    if (record.size() < kCounterOffset + 4) {
        return -1;
    }
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(record[kCounterOffset + i]))
                 << (8 * i);
    }
    return static_cast<std::int32_t>(value);
}

KorvaneProcess::KorvaneProcess(const ProgramFolder& folder, const std::vector<std::string>& args,
                               bool onTerminal)
    : KorvaneProcess(folder, args, onTerminal ? OutputTo::Terminal : OutputTo::File)
{
}

KorvaneProcess::KorvaneProcess(const ProgramFolder& folder, const std::vector<std::string>& args,
                               OutputTo output)
    : m_outPath(folder.ScratchDir() / "stdout.txt"), m_errPath(folder.ScratchDir() / "stderr.txt")
{
    posix_spawn_file_actions_t files;
    Check(posix_spawn_file_actions_init(&files), "posix_spawn_file_actions_init");
    Check(posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0),
          "stdin");
    if (output != OutputTo::File) m_outPath.clear();  // nothing of it can be read back
    std::string terminalPath;
    std::array<int, 2> pipeEnds{-1, -1};
    if (output == OutputTo::Terminal) {
        m_terminalMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_terminalMaster < 0 || grantpt(m_terminalMaster) != 0 ||
            unlockpt(m_terminalMaster) != 0) {
            throw std::system_error(errno, std::generic_category(), "posix_openpt");
        }
        terminalPath = ptsname(m_terminalMaster);
        const winsize size{24, 80, 0, 0};  // the width a technician's terminal often has
        ioctl(m_terminalMaster, TIOCSWINSZ, &size);
        Check(posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, terminalPath.c_str(),
                                               O_RDWR | O_NOCTTY, 0),
              "stdout");
        Check(posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO), "stderr");
    } else {
        if (output == OutputTo::File) {
            Check(posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, m_outPath.c_str(),
                                                   O_WRONLY | O_CREAT | O_TRUNC, 0600),
                  "stdout");
        } else if (output == OutputTo::FullDevice) {
            Check(posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/full", O_WRONLY, 0),
                  "stdout");
        } else if (output == OutputTo::Closed) {
            Check(posix_spawn_file_actions_addclose(&files, STDOUT_FILENO), "stdout");
        } else {
            if (pipe2(pipeEnds.data(), O_CLOEXEC) != 0) {
                throw std::system_error(errno, std::generic_category(), "pipe2");
            }
            // The reader quits before korvane starts, so that its first write meets no reader.
            close(pipeEnds[0]);
            pipeEnds[0] = -1;
            Check(posix_spawn_file_actions_adddup2(&files, pipeEnds[1], STDOUT_FILENO), "stdout");
        }
        Check(posix_spawn_file_actions_addopen(&files, STDERR_FILENO, m_errPath.c_str(),
                                               O_WRONLY | O_CREAT | O_TRUNC, 0600),
              "stderr");
    }
    // The child starts with the stop signals at their defaults, whatever the test
    // runner did with them.
    posix_spawnattr_t attributes;
    Check(posix_spawnattr_init(&attributes), "posix_spawnattr_init");
    sigset_t none;
    sigset_t interrupt;
    sigemptyset(&none);
    sigemptyset(&interrupt);
    for (const int stop : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        sigaddset(&interrupt, stop);
    }
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &interrupt);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const std::string program = folder.Korvane().string();
    std::vector<std::string> argvStrings{program};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvStrings) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    m_start = std::chrono::steady_clock::now();
    const int spawned =
        posix_spawn(&m_pid, program.c_str(), &files, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    for (const int end : pipeEnds) {
        if (end >= 0) close(end);
    }
    Check(spawned, "posix_spawn");
}

KorvaneProcess::~KorvaneProcess()
{
    if (!m_result && m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_terminalMaster >= 0) {
        close(m_terminalMaster);
    }
}

void KorvaneProcess::Signal(int signal) const
{
    kill(m_pid, signal);
}

void KorvaneProcess::DrainTerminal()
{
    if (m_terminalMaster < 0) {
        return;
    }
    std::array<char, 4096> chunk{};
    pollfd ready{m_terminalMaster, POLLIN, 0};
    while (poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN) != 0) {
        const ssize_t got = read(m_terminalMaster, chunk.data(), chunk.size());
        if (got <= 0) {
            break;  // EIO once the child has closed the terminal
        }
        m_terminalOutput.append(chunk.data(), static_cast<std::size_t>(got));
    }
}

std::string KorvaneProcess::OutputSoFar()
{
    if (m_terminalMaster >= 0) {
        DrainTerminal();
        return m_terminalOutput;
    }
    return ReadWholeFile(m_outPath);
}

bool KorvaneProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (OutputSoFar().find(text) != std::string::npos) {
            return true;
        }
        siginfo_t info{};
        if (!m_result &&
            waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid != 0) {
            // Ended (or gone): one last look at what it wrote.
            return OutputSoFar().find(text) != std::string::npos;
        }
        std::this_thread::sleep_for(kPollStep);
    }
    return false;
}

std::optional<RunResult> KorvaneProcess::Wait(std::chrono::milliseconds timeout)
{
    if (m_result) {
        return m_result;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (waitpid(m_pid, &status, WNOHANG) == 0) {
        DrainTerminal();
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(kPollStep);
    }
    RunResult result;
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    result.exitStatus =
        WIFEXITED(status) ? WEXITSTATUS(status) : kSignalExitBase + WTERMSIG(status);
    result.out = OutputSoFar();
    result.err = m_terminalMaster >= 0 ? std::string() : ReadWholeFile(m_errPath);
    m_result = result;
    return m_result;
}

pid_t SpawnToFile(const std::vector<std::string>& argv, const std::filesystem::path& out)
{
    posix_spawn_file_actions_t files;
    Check(posix_spawn_file_actions_init(&files), "posix_spawn_file_actions_init");
    Check(posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, out.c_str(),
                                           O_WRONLY | O_CREAT | O_TRUNC, 0600),
          "stdout");
    Check(posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0),
          "stderr");
    std::vector<std::string> strings = argv;
    std::vector<char*> pointers;
    for (std::string& arg : strings) {
        pointers.push_back(arg.data());
    }
    pointers.push_back(nullptr);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, strings.front().c_str(), &files, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    Check(spawned, "posix_spawn");
    return pid;
}

int WaitForExit(pid_t pid, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return -1;
        }
        std::this_thread::sleep_for(kPollStep);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : kSignalExitBase + WTERMSIG(status);
}

RunResult RunKorvane(const ProgramFolder& folder, const std::vector<std::string>& args,
                     bool onTerminal)
{
    return RunKorvane(folder, args, onTerminal ? OutputTo::Terminal : OutputTo::File);
}

RunResult RunKorvane(const ProgramFolder& folder, const std::vector<std::string>& args,
                     OutputTo output)
{
    KorvaneProcess process(folder, args, output);
    const std::optional<RunResult> result =
        process.Wait(std::chrono::duration_cast<std::chrono::milliseconds>(kRunLimit));
    if (!result) {
        throw std::runtime_error("korvane did not end within a minute");
    }
    return *result;
}

}  // namespace korvane::testing
