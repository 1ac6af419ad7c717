// The command line of `korvane`: which command to run and with what, parsed
// from the arguments without touching any file or port.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/ExitStatus.h"
#include "cli/TextIds.h"
#include "error/Error.h"
#include "maintenance/Apn.h"

namespace korvane::cli {

enum class CommandKind { None, Ports, Flash, Info, Crc, Apn, Counter, Station, History };

// `--port all`: every port `korvane ports` lists.
constexpr const char* kAllPorts = "all";

struct FlashOptions {
    // Port numbers, device paths, USB locations or adapter serial numbers, in
    // the order given; `all` may stand alone. Several ports: one job per port.
    std::vector<std::string> ports;
    std::optional<std::filesystem::path> bootPath;  // present: full upgrade
    std::filesystem::path userPath;
    bool json = false;
    bool exactTiming = false;  // the dialog's fixed polls instead of patient reads
    bool verify = false;       // read the boot image back before starting it
    // Where each radio's job is recorded; empty: korvane-history.csv beside the executable.
    std::optional<std::filesystem::path> historyPath;
};

// `korvane station`: upgrades every radio plugged in while it runs.
struct StationOptions {
    std::optional<std::filesystem::path> bootPath;  // present: full upgrade
    std::filesystem::path userPath;
    bool exactTiming = false;
    bool verify = false;
    // Where radios are looked for: the serial port list, filtered (USB adapters
    // only unless allPorts; by "VVVV:PPPP" ids; by a USB location prefix), or,
    // when `watch` holds patterns, the device paths matching them.
    bool allPorts = false;
    std::vector<std::string> vidPids;
    std::string location;
    std::vector<std::string> watch;
    std::optional<std::filesystem::path> historyFile;  // none: beside the executable
    bool quiet = false;                                // no bell at the end of a job
    std::optional<int> maxJobs;                        // end the session after this many jobs
};

struct InfoOptions {
    std::vector<std::string> ports;  // as for flash; `all` may stand alone
    bool json = false;
};

// `korvane history`: which recorded jobs to show, and how.
struct HistoryOptions {
    std::string uid;                    // empty: every radio
    std::optional<std::int64_t> since;  // seconds since the epoch
    bool json = false;
    std::optional<std::filesystem::path> historyPath;  // as for flash
};

struct Options {
    CommandKind command = CommandKind::None;
    bool help = false;
    bool version = false;
    FlashOptions flash;
    StationOptions station;
    InfoOptions info;
    HistoryOptions history;
    std::vector<std::filesystem::path> crcFiles;
    maintenance::ApnFields apn;
    bool clearCounter = false;
};

// Arguments that make no valid command line: the message says what is wrong,
// the hint which help to read.
class UsageError : public korvane::Error {
public:
    UsageError(CommandKind command, const std::string& message);
    // The command the error belongs to (None: the program's own arguments).
    CommandKind Command() const { return m_command; }

private:
    CommandKind m_command;
};

// One option of a command, declared once: the parser takes it from here and the
// command's help lists it.
struct OptionEntry {
    std::string_view name;   // "--port"
    std::string_view value;  // what the help calls its value ("P"); empty: a flag
    bool repeatable;         // may be given more than once
    // What the help says of it, its lines after the first not indented; no
    // text: described together with the option before it.
    HelpWording help;
};

// A command's options, in the order its help lists them.
std::span<const OptionEntry> CommandOptions(CommandKind command);

// Parses the arguments after the program name. Throws UsageError.
Options ParseArguments(std::span<const std::string> args);

// The command's name as typed ("flash"), or "" for None.
std::string CommandName(CommandKind command);

// A port argument that is all digits is the dialog's port number (1..32767);
// anything else is a device path, a USB location or a serial number. Empty when
// the text is not a usable number.
std::optional<std::int16_t> ParsePortNumber(const std::string& text);

}  // namespace korvane::cli
