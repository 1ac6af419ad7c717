// Runs programs on Windows: CreateProcessW with a quoted wide command line, the
// output read through one pipe while the program runs, the exit code afterwards.
#include <windows.h>

#include "maintenance/Process.h"
#include "maintenance/TextEncoding.h"

namespace korvane::maintenance {

const std::string_view kExecutableSuffix = ".exe";

namespace {

constexpr DWORD kPollIntervalMs = 100;  // how often to look whether the program has ended
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

std::string WideToUtf8(const std::wstring& text)
{
    if (text.empty()) {
        return {};
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                          nullptr, nullptr);
    return out;
}

std::string SystemMessage(DWORD error)
{
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr) {
        return "system error " + std::to_string(error);
    }
    std::wstring text(buffer, length);
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
        text.pop_back();
    }
    return WideToUtf8(text);
}

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

// Reads the output until the pipe breaks or the program has ended: a program
// may leave a background process behind that keeps the pipe open (adb starts
// its server that way).
void CollectOutput(HANDLE process, HANDLE pipe, std::string& output)
{
    while (ReadAvailable(pipe, output)) {
        if (::WaitForSingleObject(process, kPollIntervalMs) == WAIT_OBJECT_0) {
            ReadAvailable(pipe, output);
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
            result.startError =
                "cannot prepare its input and output: " + SystemMessage(::GetLastError());
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
    // Only the child may hold the writing end now, so the pipe breaks when it is done.
    outputWrite.Reset();
    nullInput.Reset();
    if (request.captureOutput) {
        CollectOutput(process.Get(), outputRead.Get(), result.output);
    }
    ::WaitForSingleObject(process.Get(), INFINITE);
    DWORD exitCode = 0;
    if (::GetExitCodeProcess(process.Get(), &exitCode)) {
        result.exitCode = static_cast<int>(exitCode);
    }
    return result;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::filesystem::path& workingDirectory, bool captureOutput)
{
    if (argv.empty() || argv.front().empty()) {
        ProcessResult result;
        result.startError = "no program was named";
        return result;
    }
    std::vector<std::wstring> wideArgs;
    for (const std::string& arg : argv) {
        wideArgs.push_back(Utf8ToWide(arg));
    }
    LaunchRequest request;
    request.commandLine = BuildWindowsCommandLine(wideArgs);
    request.workingDirectory = workingDirectory;
    request.captureOutput = captureOutput;
    // Output that is captured is shown by the program; no console window is needed.
    request.creationFlags = captureOutput ? CREATE_NO_WINDOW : 0;
    return Launch(request);
}

ProcessResult RunCommandLine(const std::wstring& commandLine, bool captureOutput)
{
    LaunchRequest request;
    // The full path, so that no cmd.exe beside the program or in the current
    // directory is taken instead of the system's.
    request.application = SystemDirectory() + kCommandProcessor;
    // /s: the command processor drops exactly the outer pair of quotes and runs
    // the rest as it stands, quotes included.
    request.commandLine = L"cmd.exe /s /c \"" + commandLine + L"\"";
    request.captureOutput = captureOutput;
    request.creationFlags = captureOutput ? CREATE_NO_WINDOW : 0;
    return Launch(request);
}

}  // namespace korvane::maintenance
