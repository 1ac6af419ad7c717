// Entry point of `korvane`, the service command line: finds out whether the
// output goes to a terminal and hands the arguments to the commands.
#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "cli/TextIds.h"

namespace {

constexpr std::size_t kDefaultWidth = 80;

}  // namespace

int main(int argc, char** argv)
{
    using korvane::cli::StandardStream;
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const bool outIsTerminal = korvane::cli::IsTerminal(StandardStream::Out);
    const bool errIsTerminal = korvane::cli::IsTerminal(StandardStream::Err);
    // The live line is redrawn in place, so it must stay shorter than the terminal.
    const std::size_t width =
        korvane::cli::TerminalWidth(outIsTerminal ? StandardStream::Out : StandardStream::Err,
                                    kDefaultWidth) -
        1;
    const korvane::cli::Console console{std::cout, std::cerr, outIsTerminal, errIsTerminal, width};
    try {
        return korvane::cli::RunKorvane(console, args);
    } catch (const std::exception& error) {
        using korvane::settings::OwnText;
        korvane::cli::PrintFailure(
            console,
            OwnText(korvane::cli::kTextUnexpectedFailure, "Unexpected failure: {0}",
                    {error.what()}),
            OwnText(korvane::cli::kTextReportThis, "Please report this message"));
        return korvane::cli::kExitFailed;
    }
}
