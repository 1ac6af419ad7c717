// Runs programs on Windows: CreateProcessW with a quoted wide command line, the
// output read through one pipe while the program runs, the exit code afterwards.
#include <windows.h>

#include "maintenance/Process.h"
#include "maintenance/TextEncoding.h"
#include "settings/OwnText.h"
#include "settings/Win32Text.h"

namespace korvane::maintenance {

const std::string_view kExecutableSuffix = ".exe";

namespace {

constexpr DWORD kPollIntervalMs = 100;  // how often to look whether the program has ended
constexpr UINT kEndedExitCode = 1;      // the exit code of a program we ended
constexpr DWORD kReadChunk = 65536;
constexpr const wchar_t* kNullDevice = L"NUL";
constexpr const wchar_t* kCommandProcessor = L"\\cmd.exe";

// An owned kernel handle, closed when it goes out of scope.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) { Reset(handle); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Reset(); }

    HANDLE Get() const { return handle_; }
    HANDLE* Out() { return &handle_; }
    void Reset(HANDLE handle = nullptr)
    {
        if (handle_ != nullptr) {
            ::CloseHandle(handle_);
        }
        handle_ = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    }

private:
    HANDLE handle_ = nullptr;
};

using settings::SystemMessage;

std::wstring SystemDirectory()
{
    const UINT size = ::GetSystemDirectoryW(nullptr, 0);
    std::wstring directory(size, L'\0');
    const UINT length = ::GetSystemDirectoryW(directory.data(), size);
    directory.resize(length);
    return directory;
}

// Reads whatever the pipe holds now, without blocking; false once it is broken
// (every writer has closed it).
bool ReadAvailable(HANDLE pipe, std::string& output)
{
    for (;;) {
        DWORD available = 0;
        if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
            return false;
        }
        if (available == 0) {
            return true;
        }
        std::string chunk(available < kReadChunk ? available : kReadChunk, '\0');
        DWORD got = 0;
        if (!::ReadFile(pipe, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
            return false;
        }
        output.append(chunk.data(), got);
    }
}

// Whether the run must be ended now: it outlived its limit, or a stop was asked.
bool MustEnd(const RunLimits& limits, ULONGLONG deadline, ProcessResult& result)
{
    if (limits.timeLimit.count() > 0 && ::GetTickCount64() >= deadline) {
        result.timedOut = true;
        result.timeLimit = limits.timeLimit;
        return true;
    }
    if (limits.stopRequested && limits.stopRequested()) {
        result.stopped = true;
        return true;
    }
    return false;
}

// Waits for the program, reading its output (when captured) until the pipe
// breaks or the program has ended: a program may leave a background process
// behind that keeps the pipe open (adb starts its server that way). A time
// limit or a stop request ends the program and everything in its job object.
void Supervise(HANDLE process, HANDLE job, HANDLE pipe, std::string& output,
               const RunLimits& limits, ProcessResult& result)
{
    const ULONGLONG deadline =
        ::GetTickCount64() + static_cast<ULONGLONG>(limits.timeLimit.count());
    bool reading = pipe != nullptr;
    for (;;) {
        if (reading) {
            reading = ReadAvailable(pipe, output);
        }
        if (::WaitForSingleObject(process, kPollIntervalMs) == WAIT_OBJECT_0) {
            if (reading) {
                ReadAvailable(pipe, output);
            }
            return;
        }
        if (MustEnd(limits, deadline, result)) {
            if (job == nullptr || !::TerminateJobObject(job, kEndedExitCode)) {
                ::TerminateProcess(process, kEndedExitCode);
            }
            ::WaitForSingleObject(process, INFINITE);
            return;
        }
    }
}

struct LaunchRequest {
    std::wstring application;  // empty: the first word of the command line, searched for
    std::wstring commandLine;
    std::filesystem::path workingDirectory;
    bool captureOutput = false;
    DWORD creationFlags = 0;
    RunLimits limits;
};

ProcessResult Launch(const LaunchRequest& request)
{
    ProcessResult result;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle outputRead;
    Handle outputWrite;
    Handle nullInput;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (request.captureOutput) {
        nullInput.Reset(::CreateFileW(kNullDevice, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      &inheritable, OPEN_EXISTING, 0, nullptr));
        if (nullInput.Get() == nullptr ||
            !::CreatePipe(outputRead.Out(), outputWrite.Out(), &inheritable, 0) ||
            !::SetHandleInformation(outputRead.Get(), HANDLE_FLAG_INHERIT, 0)) {
            result.startError = settings::OwnText(settings::kOwnTextMaintenance + 12,
                                                  "cannot set up its input and output: {0}",
                                                  {SystemMessage(::GetLastError())});
            return result;
        }
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullInput.Get();
        startup.hStdOutput = outputWrite.Get();
        startup.hStdError = outputWrite.Get();
    }

    std::wstring commandLine = request.commandLine;  // CreateProcessW may write into it
    const std::wstring directory = request.workingDirectory.wstring();
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(request.application.empty() ? nullptr : request.application.c_str(),
                          commandLine.data(), nullptr, nullptr,
                          request.captureOutput ? TRUE : FALSE,
                          request.creationFlags | CREATE_UNICODE_ENVIRONMENT, nullptr,
                          directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
        result.startError = SystemMessage(::GetLastError());
        return result;
    }
    Handle process(info.hProcess);
    Handle thread(info.hThread);
    result.started = true;
    // A job object holds the program and whatever it starts, so ending the run
    // ends all of them; without one (nested jobs refused) only the program ends.
    Handle job(::CreateJobObjectW(nullptr, nullptr));
    if (job.Get() != nullptr && !::AssignProcessToJobObject(job.Get(), process.Get())) {
        job.Reset();
    }
    // Only the child may hold the writing end now, so the pipe breaks when it is done.
    outputWrite.Reset();
    nullInput.Reset();
    Supervise(process.Get(), job.Get(), request.captureOutput ? outputRead.Get() : nullptr,
              result.output, request.limits, result);
    DWORD exitCode = 0;
    if (::GetExitCodeProcess(process.Get(), &exitCode)) {
        result.exitCode = static_cast<int>(exitCode);
    }
    return result;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::filesystem::path& workingDirectory, bool captureOutput,
                         const RunLimits& limits)
{
    if (argv.empty() || argv.front().empty()) {
        ProcessResult result;
        result.startError = "no program was named";
        return result;
    }
    std::vector<std::wstring> wideArgs;
    for (const std::string& arg : argv) {
        wideArgs.push_back(base::Utf8ToWide(arg));
    }
    LaunchRequest request;
    request.commandLine = BuildWindowsCommandLine(wideArgs);
    request.workingDirectory = workingDirectory;
    request.captureOutput = captureOutput;
    // Output that is captured is shown by the program; no console window is needed.
    request.creationFlags = captureOutput ? CREATE_NO_WINDOW : 0;
    request.limits = limits;
    return Launch(request);
}

ProcessResult RunCommandLine(const std::wstring& commandLine, const RunLimits& limits,
                             bool captureOutput)
{
    LaunchRequest request;
    // The full path, so that no cmd.exe beside the program or in the current
    // directory is taken instead of the system's.
    request.application = SystemDirectory() + kCommandProcessor;
    // /s: the command processor drops exactly the outer pair of quotes and runs
    // the rest as it stands, quotes included.
    request.commandLine = L"cmd.exe /s /c \"" + commandLine + L"\"";
    request.limits = limits;
    request.captureOutput = captureOutput;
    request.creationFlags = captureOutput ? CREATE_NO_WINDOW : 0;
    return Launch(request);
}

}  // namespace korvane::maintenance
