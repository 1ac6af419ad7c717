// The command line and the standard streams on POSIX: argv and the terminal
// are UTF-8 already, so both pass unchanged.
#include <iostream>

#include "cli/ConsoleText.h"

namespace korvane::cli {

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

struct StandardStreams::Streams {};

StandardStreams::StandardStreams() = default;
StandardStreams::~StandardStreams() = default;

std::ostream& StandardStreams::Out()
{
    return std::cout;
}

std::ostream& StandardStreams::Err()
{
    return std::cerr;
}

}  // namespace korvane::cli
