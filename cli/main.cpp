// Entry point of `korvane`, the service command line: finds out whether the
// output goes to a terminal and hands the arguments to the commands.
#include <sys/ioctl.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"

namespace {

constexpr std::size_t kDefaultWidth = 80;

std::size_t TerminalWidth(int fd) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return kDefaultWidth;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const bool outIsTerminal = isatty(STDOUT_FILENO) == 1;
    const bool errIsTerminal = isatty(STDERR_FILENO) == 1;
    // The live line is redrawn in place, so it must stay shorter than the terminal.
    const std::size_t width = TerminalWidth(outIsTerminal ? STDOUT_FILENO : STDERR_FILENO) - 1;
    const korvane::cli::Console console{std::cout, std::cerr, outIsTerminal, errIsTerminal, width};
    try {
        return korvane::cli::RunKorvane(console, args);
    } catch (const std::exception& error) {
        korvane::cli::PrintFailure(console, std::string("Unexpected failure: ") + error.what(),
                                   "Please report this message");
        return korvane::cli::kExitFailed;
    }
}
