// Terminal checks on POSIX: isatty and the window size of the tty.
#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/Terminal.h"

namespace korvane::cli {

namespace {

int Descriptor(StandardStream stream)
{
    return stream == StandardStream::Out ? STDOUT_FILENO : STDERR_FILENO;
}

}  // namespace

bool IsTerminal(StandardStream stream)
{
    return isatty(Descriptor(stream)) == 1;
}

std::size_t TerminalWidth(StandardStream stream, std::size_t fallback)
{
    winsize size{};
    if (ioctl(Descriptor(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return fallback;
}

}  // namespace korvane::cli
