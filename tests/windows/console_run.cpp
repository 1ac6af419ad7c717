// Runs a program in a console of its own and prints what that console shows,
// for the Wine run, which reads korvane.exe's console output that way: the
// screen buffer's rows through ReadConsoleOutputCharacterW, as UTF-8, one line
// per row up to the cursor, trailing blanks cut.
//
// usage: console_run.exe [--interrupt-after TEXT] PROGRAM [ARGUMENT...]
//   --interrupt-after: once TEXT is on the screen, a Ctrl-C goes to the console
//   (GenerateConsoleCtrlEvent), as a person pressing it.
// Exit status: the program's; 125 when the console or the program cannot be had.
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/TextEncoding.h"

#include <windows.h>

namespace {

constexpr int kCannotRun = 125;
constexpr SHORT kColumns = 100;
constexpr SHORT kRows = 400;
constexpr DWORD kPollMs = 50;

// The screen buffer's rows 0..cursor, each without its trailing blanks.
std::wstring ScreenText(HANDLE screen)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(screen, &info)) return {};
    std::wstring text;
    for (SHORT row = 0; row <= info.dwCursorPosition.Y; ++row) {
        std::wstring line(static_cast<std::size_t>(info.dwSize.X), L' ');
        DWORD read = 0;
        ::ReadConsoleOutputCharacterW(screen, line.data(), static_cast<DWORD>(line.size()),
                                      COORD{0, row}, &read);
        line.resize(read);
        while (!line.empty() && (line.back() == L' ' || line.back() == L'\0')) line.pop_back();
        text += line + L'\n';
    }
    return text;
}

// One argument quoted as CommandLineToArgvW reads it back.
std::wstring Quoted(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

BOOL WINAPI KeepRunning(DWORD)
{
    return TRUE;  // the Ctrl-C is for the program, not for us
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring interruptAfter;
    int first = 1;
    if (argc > 2 && std::wcscmp(argv[1], L"--interrupt-after") == 0) {
        interruptAfter = argv[2];
        first = 3;
    }
    if (first >= argc) {
        std::fputs("usage: console_run.exe [--interrupt-after TEXT] PROGRAM [ARGUMENT...]\n",
                   stderr);
        return kCannotRun;
    }
    const HANDLE report = ::GetStdHandle(STD_OUTPUT_HANDLE);
    ::FreeConsole();
    if (!::AllocConsole()) {
        std::fprintf(stderr, "console_run: no console (error %lu)\n", ::GetLastError());
        return kCannotRun;
    }
    ::SetConsoleCtrlHandler(KeepRunning, TRUE);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE screen =
        ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      &inherit, OPEN_EXISTING, 0, nullptr);
    const HANDLE input =
        ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      &inherit, OPEN_EXISTING, 0, nullptr);
    ::SetConsoleScreenBufferSize(screen, COORD{kColumns, kRows});
    const SMALL_RECT window{0, 0, kColumns - 1, 24};
    ::SetConsoleWindowInfo(screen, TRUE, &window);

    std::wstring commandLine;
    for (int i = first; i < argc; ++i) commandLine += (i > first ? L" " : L"") + Quoted(argv[i]);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = screen;
    startup.hStdError = screen;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &process)) {
        std::fprintf(stderr, "console_run: cannot start the program (error %lu)\n",
                     ::GetLastError());
        return kCannotRun;
    }
    bool interrupted = interruptAfter.empty();
    while (::WaitForSingleObject(process.hProcess, kPollMs) == WAIT_TIMEOUT) {
        if (!interrupted && ScreenText(screen).find(interruptAfter) != std::wstring::npos) {
            ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
            interrupted = true;
        }
    }
    DWORD status = kCannotRun;
    ::GetExitCodeProcess(process.hProcess, &status);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);

    const std::string text = korvane::base::WideToUtf8(ScreenText(screen));
    DWORD written = 0;
    ::WriteFile(report, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return static_cast<int>(status);
}
