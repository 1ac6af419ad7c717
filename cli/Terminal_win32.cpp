// Terminal checks on Windows: a stream is a terminal when its handle is a
// console (GetConsoleMode succeeds); the width is the console window's.
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "cli/Terminal.h"

namespace korvane::cli {

namespace {

HANDLE ConsoleHandle(StandardStream stream)
{
    return GetStdHandle(stream == StandardStream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

}  // namespace

bool IsTerminal(StandardStream stream)
{
    // _isatty alone also answers yes for the NUL device, which is a character
    // device but no console; GetConsoleMode tells the two apart.
    const int descriptor = _fileno(stream == StandardStream::Out ? stdout : stderr);
    DWORD mode = 0;
    return _isatty(descriptor) != 0 && GetConsoleMode(ConsoleHandle(stream), &mode) != 0;
}

std::size_t TerminalWidth(StandardStream stream, std::size_t fallback)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(ConsoleHandle(stream), &info)) return fallback;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? static_cast<std::size_t>(columns) : fallback;
}

}  // namespace korvane::cli
