// The command line and the standard streams as the user types and reads them.
// The program works in UTF-8 throughout; on Windows the arguments come from the
// wide (UTF-16) command line, and a stream that is a console is written as
// UTF-16 through the console itself, whatever its code page. A stream that
// goes to a file or a pipe gets the UTF-8 bytes on every system.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace korvane::cli {

// The arguments after the program's name, as UTF-8. On POSIX these are argv's
// (already the terminal's UTF-8); on Windows argv is ignored, since its narrow
// strings are in the ANSI code page and lose every character outside it.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// The process's standard output and error as UTF-8 streams. On Windows a
// stream that is a console gets the text as UTF-16 through WriteConsoleW, with
// the two control sequences the live views use ("\x1b[K", clear to the end of
// the line, and "\x1b[nA", n lines up) carried out through the console's own
// functions, so that they work on every Windows console.
class StandardStreams {
public:
    StandardStreams();
    ~StandardStreams();
    StandardStreams(const StandardStreams&) = delete;
    StandardStreams& operator=(const StandardStreams&) = delete;

    std::ostream& Out();
    std::ostream& Err();

private:
    struct Streams;
    std::unique_ptr<Streams> m_streams;
};

}  // namespace korvane::cli
