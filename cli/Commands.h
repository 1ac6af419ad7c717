// The commands of `korvane`, each returning the process's exit status. Output
// goes to the console's streams so that tests can run them in-process.
#pragma once

#include <filesystem>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "cli/Options.h"

namespace korvane::cli {

struct Console {
    std::ostream& out;
    std::ostream& err;
    bool outIsTerminal = false;
    bool errIsTerminal = false;
    std::size_t terminalWidth = 80;
};

// A name as it is echoed on a terminal or in plain output: control characters
// shown escaped ("\n", "\t", "\x1b", C1 controls as "\u009b"), so that a name
// can neither split a one-line message nor send the terminal a command. The
// JSON output keeps names exact.
std::string EscapeControls(std::string_view text);

// "korvane: <what failed>. <What to try>." as one line on the error stream
// (control characters escaped).
// A message or hint as a sentence, ended as the user's language ends one.
std::string Sentence(const std::string& text);
// "first; second" with the semicolon of the user's language.
std::string JoinClauses(const std::string& first, const std::string& second);

void PrintFailure(const Console& console, const std::string& what, const std::string& hint);
// The same from an error's message and hint.
void PrintFailure(const Console& console, const korvane::Error& error);

// One line of `korvane crc`: the label, two blanks, the name. Only a line
// break would split that line, so only a name holding one is escaped, as
// coreutils' checksum tools escape it ("\n", "\r", backslashes doubled, the
// line started with a backslash); any other name, a Windows path with its
// backslashes too, is printed as typed.
std::string CrcLine(const std::string& label, const std::string& name);

int RunPorts(const Console& console);
int RunCrc(const Console& console, std::span<const std::filesystem::path> files);
// `programDir` holds Sys.dat: the executable's folder in production.
int RunCounter(const Console& console, const std::filesystem::path& programDir, bool clear);
int RunApn(const Console& console, const std::filesystem::path& programDir,
           const maintenance::ApnFields& fields);

// Parses the arguments and runs the command; everything `main` does.
int RunKorvane(const Console& console, std::span<const std::string> args);

}  // namespace korvane::cli
