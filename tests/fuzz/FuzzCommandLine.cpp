// Argument vectors through the real option parser of `korvane`: any words,
// any bytes in them. Parsing ends in options or a usage error with a message
// and a hint, never in another exception; a flash always has a port.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "cli/Help.h"
#include "cli/Options.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace korvane::cli;
    // Arguments are separated by NUL, as in a real argument vector.
    std::vector<std::string> args = korvane::fuzz::Split(std::span(data, size), '\0');
    if (args.size() == 1 && args[0].empty()) args.clear();
    try {
        const Options options = ParseArguments(args);
        if (options.help) KORVANE_FUZZ_CHECK(!HelpText(options.command).empty());
        if (options.command == CommandKind::Flash && !options.help && !options.version) {
            KORVANE_FUZZ_CHECK(!options.flash.ports.empty());
        }
    } catch (const UsageError& error) {
        KORVANE_FUZZ_CHECK(std::string(error.what()).size() > 0);
        KORVANE_FUZZ_CHECK(!error.Hint().empty());
    }
    for (const std::string& arg : args) {
        if (const auto number = ParsePortNumber(arg)) KORVANE_FUZZ_CHECK(*number >= 0);
    }
    return 0;
}
