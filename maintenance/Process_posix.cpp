// Runs programs on POSIX systems: fork and exec from an argument vector, the
// output read through one pipe while the program runs, the status from waitpid.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>

#include "maintenance/Process.h"
#include "settings/OwnText.h"

namespace korvane::maintenance {

const std::string_view kExecutableSuffix = "";

namespace {

using settings::kOwnTextMaintenance;

constexpr int kChildCannotStart = 127;  // exit status of a child whose exec failed
constexpr int kPollIntervalMs = 100;    // how long to wait for output before looking at the program
constexpr int kEndPollMs = 10;  // how often to look whether a program without output has ended
// How long a program asked to terminate may take before it is killed.
constexpr std::chrono::milliseconds kTerminateGrace{2000};
constexpr std::size_t kReadChunk = 65536;
constexpr const char* kNullDevice = "/dev/null";

// An owned file descriptor, closed when it goes out of scope.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        Reset(other.Release());
        return *this;
    }
    ~FileDescriptor() { Reset(); }

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset(int fd = -1)
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

struct Pipe {
    FileDescriptor readEnd;
    FileDescriptor writeEnd;
};

// Both ends close on exec, so no other program started meanwhile inherits them.
bool MakePipe(Pipe& pipe)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    pipe.readEnd.Reset(fds[0]);
    pipe.writeEnd.Reset(fds[1]);
    return true;
}

std::string SystemMessage(int error)
{
    return std::generic_category().message(error);
}

std::string InputOutputFailure(int error)
{
    return settings::OwnText(kOwnTextMaintenance + 12, "cannot set up its input and output: {0}",
                             {SystemMessage(error)});
}

// What the child sends back through the error pipe when it cannot become the program.
struct StartFailure {
    enum Step : int { kEnterDirectory, kExecute, kRedirect } step;
    int error;
};

// Everything the child needs, prepared before fork: between fork and exec only
// async-signal-safe calls are allowed, so nothing may allocate there.
struct ChildPlan {
    std::vector<char*> argv;  // null-terminated
    const char* directory = nullptr;
    int nullInput = -1;
    int outputWrite = -1;  // -1: keep the parent's stdout and stderr
    int errorWrite = -1;
};

[[noreturn]] void FailChild(int errorWrite, StartFailure::Step step)
{
    const StartFailure failure{step, errno};
    [[maybe_unused]] const ssize_t written = ::write(errorWrite, &failure, sizeof failure);
    ::_exit(kChildCannotStart);
}

// Makes `fd` the descriptor `target`, open across exec.
bool MoveTo(int fd, int target)
{
    if (fd == target) {
        return ::fcntl(fd, F_SETFD, 0) == 0;
    }
    return ::dup2(fd, target) == target;
}

[[noreturn]] void RunChild(const ChildPlan& plan)
{
    // A group of its own, so ending it ends what it started too.
    ::setpgid(0, 0);
    if (!MoveTo(plan.nullInput, STDIN_FILENO)) {
        FailChild(plan.errorWrite, StartFailure::kRedirect);
    }
    if (plan.outputWrite >= 0 &&
        (!MoveTo(plan.outputWrite, STDOUT_FILENO) || !MoveTo(plan.outputWrite, STDERR_FILENO))) {
        FailChild(plan.errorWrite, StartFailure::kRedirect);
    }
    // The program starts with default signal handling, whatever this process set.
    ::signal(SIGPIPE, SIG_DFL);
    sigset_t all;
    ::sigemptyset(&all);
    ::sigprocmask(SIG_SETMASK, &all, nullptr);
    if (plan.directory != nullptr && ::chdir(plan.directory) != 0) {
        FailChild(plan.errorWrite, StartFailure::kEnterDirectory);
    }
    ::execvp(plan.argv[0], plan.argv.data());
    FailChild(plan.errorWrite, StartFailure::kExecute);
}

// Blocks until the child has exec'd (the pipe closes) or reported why it could not.
bool ReadStartFailure(int errorRead, StartFailure& failure)
{
    ssize_t got;
    do {
        got = ::read(errorRead, &failure, sizeof failure);
    } while (got < 0 && errno == EINTR);
    return got == static_cast<ssize_t>(sizeof failure);
}

std::string DescribeStartFailure(const StartFailure& failure, const ChildPlan& plan)
{
    switch (failure.step) {
        case StartFailure::kEnterDirectory:
            return settings::OwnText(kOwnTextMaintenance + 11,
                                     "cannot enter the working directory {0}: {1}",
                                     {plan.directory, SystemMessage(failure.error)});
        case StartFailure::kRedirect:
            return InputOutputFailure(failure.error);
        case StartFailure::kExecute:
            break;
    }
    return SystemMessage(failure.error);
}

int WaitForExit(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return status;
}

bool HasEnded(pid_t pid, int& status)
{
    return ::waitpid(pid, &status, WNOHANG) == pid;
}

// Reads what is there without blocking; false at end of file or on an error.
bool ReadAvailable(int fd, std::string& output)
{
    std::string chunk(kReadChunk, '\0');
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got > 0) {
            output.append(chunk.data(), static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

// Ends a program that must not run on: its whole process group (a script's
// own children too) is asked to terminate, then killed after a grace; the
// program is waited for, so no zombie stays.
int EndProgram(pid_t pid)
{
    ::kill(-pid, SIGTERM);
    ::kill(pid, SIGTERM);  // in case it left the group
    const auto giveUp = std::chrono::steady_clock::now() + kTerminateGrace;
    int status = 0;
    while (std::chrono::steady_clock::now() < giveUp) {
        if (HasEnded(pid, status)) {
            ::kill(-pid, SIGKILL);  // whatever of the group stayed behind
            return status;
        }
        ::poll(nullptr, 0, kEndPollMs);
    }
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    return WaitForExit(pid);
}

// Reads the output (when captured) while the program runs and returns its wait
// status. A program may leave a background process behind that keeps the pipe
// open (adb starts its server that way), so the end of the program itself also
// ends the reading. A time limit or a stop request ends the program early.
int SuperviseRun(pid_t pid, int outputRead, std::string& output, const RunLimits& limits,
                 ProcessResult& result)
{
    const bool limited = limits.timeLimit.count() > 0 || limits.stopRequested;
    const auto deadline = std::chrono::steady_clock::now() + limits.timeLimit;
    bool reading = outputRead >= 0;
    if (reading) {
        ::fcntl(outputRead, F_SETFL, ::fcntl(outputRead, F_GETFL) | O_NONBLOCK);
    }
    for (;;) {
        if (reading) {
            pollfd waiting{outputRead, POLLIN, 0};
            const int ready = ::poll(&waiting, 1, kPollIntervalMs);
            if ((ready > 0 && !ReadAvailable(outputRead, output)) ||
                (ready < 0 && errno != EINTR)) {
                reading = false;
            }
        } else if (!limited) {
            return WaitForExit(pid);
        } else {
            ::poll(nullptr, 0, kEndPollMs);
        }
        int status = 0;
        if (HasEnded(pid, status)) {
            if (outputRead >= 0) {
                ReadAvailable(outputRead, output);
            }
            return status;
        }
        if (limits.timeLimit.count() > 0 && std::chrono::steady_clock::now() >= deadline) {
            result.timedOut = true;
            result.timeLimit = limits.timeLimit;
            return EndProgram(pid);
        }
        if (limits.stopRequested && limits.stopRequested()) {
            result.stopped = true;
            return EndProgram(pid);
        }
    }
}

void RecordStatus(int status, ProcessResult& result)
{
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signalled = true;
        result.signalNumber = WTERMSIG(status);
    }
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::filesystem::path& workingDirectory, bool captureOutput,
                         const RunLimits& limits)
{
    ProcessResult result;
    if (argv.empty() || argv.front().empty()) {
        result.startError = "no program was named";
        return result;
    }
    ChildPlan plan;
    for (const std::string& arg : argv) {
        plan.argv.push_back(const_cast<char*>(arg.c_str()));
    }
    plan.argv.push_back(nullptr);
    if (!workingDirectory.empty()) {
        plan.directory = workingDirectory.c_str();
    }

    FileDescriptor nullInput(::open(kNullDevice, O_RDONLY | O_CLOEXEC));
    Pipe errorPipe;
    Pipe outputPipe;
    if (!nullInput.Valid() || !MakePipe(errorPipe) || (captureOutput && !MakePipe(outputPipe))) {
        result.startError = InputOutputFailure(errno);
        return result;
    }
    plan.nullInput = nullInput.Get();
    plan.outputWrite = captureOutput ? outputPipe.writeEnd.Get() : -1;
    plan.errorWrite = errorPipe.writeEnd.Get();

    const pid_t pid = ::fork();
    if (pid < 0) {
        result.startError = settings::OwnText(
            kOwnTextMaintenance + 13, "cannot create a process: {0}", {SystemMessage(errno)});
        return result;
    }
    if (pid == 0) {
        RunChild(plan);
    }
    // Also here, so the group exists before anything might signal it; after
    // the exec this fails harmlessly.
    ::setpgid(pid, pid);
    errorPipe.writeEnd.Reset();
    outputPipe.writeEnd.Reset();
    nullInput.Reset();

    StartFailure failure{};
    if (ReadStartFailure(errorPipe.readEnd.Get(), failure)) {
        WaitForExit(pid);
        result.startError = DescribeStartFailure(failure, plan);
        return result;
    }
    result.started = true;
    const int status = SuperviseRun(pid, captureOutput ? outputPipe.readEnd.Get() : -1,
                                    result.output, limits, result);
    RecordStatus(status, result);
    return result;
}

}  // namespace korvane::maintenance
