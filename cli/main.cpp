// Entry point of `korvane`, the service command line: takes the arguments and
// the standard streams as the user types and reads them (UTF-8 inside, see
// ConsoleText.h), finds out whether the output goes to a terminal and hands
// the arguments to the commands.
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/ConsoleText.h"
#include "cli/Terminal.h"
#include "cli/TextIds.h"

namespace {

constexpr std::size_t kDefaultWidth = 80;

}  // namespace

int main(int argc, char** argv)
{
    using korvane::cli::StandardStream;
    const std::vector<std::string> args = korvane::cli::ProgramArguments(argc, argv);
    korvane::cli::StandardStreams streams;
    const bool outIsTerminal = korvane::cli::IsTerminal(StandardStream::Out);
    const bool errIsTerminal = korvane::cli::IsTerminal(StandardStream::Err);
    // The live line is redrawn in place, so it must stay shorter than the terminal.
    const std::size_t width =
        korvane::cli::TerminalWidth(outIsTerminal ? StandardStream::Out : StandardStream::Err,
                                    kDefaultWidth) -
        1;
    const korvane::cli::Console console{streams.Out(), streams.Err(), outIsTerminal, errIsTerminal,
                                        width};
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
