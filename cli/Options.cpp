// Parsing of the `korvane` command line through CLI11: the program's own
// arguments (help, version, the command's name) first, then one CLI11 app per
// command, declared from the command's table of options, which its help lists
// too. Our own help texts and messages stay in place of CLI11's, so that they
// read the same in every language of the catalogue.
#include "cli/Options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <limits>
#include <string_view>

#include "base/TextEncoding.h"
#include "cli/Help.h"
#include "cli/TextIds.h"
#include "history/History.h"
#include "settings/OwnText.h"

namespace korvane::cli {
namespace {

using settings::OwnText;

constexpr std::string_view kEndOfOptions = "--";

struct CommandEntry {
    CommandKind kind;
    std::string_view name;
};

constexpr std::array kCommands{
    CommandEntry{CommandKind::Ports, "ports"},     CommandEntry{CommandKind::Flash, "flash"},
    CommandEntry{CommandKind::Crc, "crc"},         CommandEntry{CommandKind::Apn, "apn"},
    CommandEntry{CommandKind::Counter, "counter"}, CommandEntry{CommandKind::Info, "info"},
    CommandEntry{CommandKind::Station, "station"}, CommandEntry{CommandKind::History, "history"},
};

bool IsOption(std::string_view arg)
{
    return arg.size() > 1 && arg.front() == '-';
}

bool IsHelp(std::string_view arg)
{
    return arg == "--help" || arg == "-h";
}

CommandKind FindCommand(std::string_view name)
{
    const auto* entry = std::find_if(kCommands.begin(), kCommands.end(),
                                     [&](const CommandEntry& e) { return e.name == name; });
    return entry == kCommands.end() ? CommandKind::None : entry->kind;
}

// The options of each command. A value may look like an option ("--password
// --secret") unless it names one of the command's own.
constexpr bool kOnce = false;
constexpr bool kRepeatable = true;

constexpr std::array kFlashOptions{
    OptionEntry{"--port", "P", kRepeatable,
                Wording(kTextHelpFlashPort,
                        "the port number of 'korvane ports' (as in the dialog), a\n"
                        "device path such as /dev/ttyUSB0, a USB location such as 1-1.2\n"
                        "or an adapter's serial number. Give it several times to upgrade\n"
                        "several radios at once; 'all' takes every port 'korvane ports'\n"
                        "lists")},
    OptionEntry{"--boot", "FILE", kOnce,
                Wording(kTextHelpFlashBoot, "the boot image (full upgrade)")},
    OptionEntry{"--user", "FILE", kOnce, Wording(kTextHelpFlashUser, "the user-program image")},
    OptionEntry{"--verify", "", kOnce,
                Wording(kTextHelpFlashVerify,
                        "read the boot image back before starting it and compare; a\n"
                        "difference fails the upgrade at its first differing address")},
    OptionEntry{"--exact-timing", "", kOnce,
                Wording(kTextHelpFlashExactTiming,
                        "the dialog's fixed pacing: every answer must come within the\n"
                        "protocol's 50 ms polls. Without it each read returns as soon as\n"
                        "its answer arrives and waits longer for slow parts and USB\n"
                        "adapters (up to about 35 s for a mass erase)")},
    OptionEntry{"--json", "", kOnce,
                Wording(kTextHelpFlashJson,
                        "print one JSON object at the end, with the keys result, exit,\n"
                        "stage, status, frames, blocks, bytes, seconds, boot_crc,\n"
                        "user_crc, boot_bytes, user_bytes, counter, verified, chip (pid,\n"
                        "name, bootloader, uid, read_protected), error, warning\n"
                        "(progress then goes to standard error); for several ports one\n"
                        "object with an entry per radio ('radios') and the totals")},
    OptionEntry{"--history", "FILE", kOnce,
                Wording(kTextHelpFlashHistory,
                        "record each radio's job in FILE instead of\n"
                        "korvane-history.csv beside the executable ('korvane history'\n"
                        "reads it back); a history that cannot be written is a warning,\n"
                        "never a failure of the job")},
};

constexpr std::array kStationOptions{
    OptionEntry{"--boot", "FILE", kOnce, Wording(kTextHelpStationImages, "as for 'korvane flash'")},
    OptionEntry{"--user", "FILE", kOnce, {}},
    OptionEntry{"--verify", "", kOnce, {}},
    OptionEntry{"--exact-timing", "", kOnce, {}},
    OptionEntry{"--only-usb", "", kOnce,
                Wording(kTextHelpStationOnlyUsb,
                        "watch the USB serial adapters of 'korvane ports' (the default)")},
    OptionEntry{"--all-ports", "", kOnce,
                Wording(kTextHelpStationAllPorts, "watch every port 'korvane ports' lists")},
    OptionEntry{"--vid-pid", "VVVV:PPPP", kRepeatable,
                Wording(kTextHelpStationVidPid,
                        "only adapters with these vendor and product ids, as 'korvane\n"
                        "ports' shows them (may be given several times)")},
    OptionEntry{"--location", "PREFIX", kOnce,
                Wording(kTextHelpStationLocation,
                        "only adapters whose USB location starts so, e.g. 1-1. for the\n"
                        "slots of one hub")},
    OptionEntry{"--watch", "GLOB", kRepeatable,
                Wording(kTextHelpStationWatch,
                        "watch the device paths matching GLOB instead of the port list\n"
                        "('*' and '?' in its last part, links followed), e.g.\n"
                        "'/dev/serial/by-path/*': a path that appears is a radio plugged\n"
                        "in, one that goes away a radio unplugged (may be given several\n"
                        "times)")},
    OptionEntry{"--history", "FILE", kOnce,
                Wording(kTextHelpStationHistory,
                        "the history file (default: korvane-history.csv beside the\n"
                        "executable)")},
    OptionEntry{"--quiet", "", kOnce,
                Wording(kTextHelpStationQuiet, "no bell at the end of each job")},
    OptionEntry{"--max-jobs", "N", kOnce,
                Wording(kTextHelpStationMaxJobs,
                        "end the session once N jobs have ended (for scripted benches\n"
                        "and tests); radios plugged in after the N-th has started wait")},
};

constexpr std::array kInfoOptions{
    OptionEntry{"--port", "P", kRepeatable,
                Wording(kTextHelpInfoPort,
                        "a port as for 'korvane flash'; give it several times to ask\n"
                        "several radios at once, or 'all' for every listed port")},
    OptionEntry{"--json", "", kOnce,
                Wording(kTextHelpInfoJson,
                        "print one JSON object (for several ports: one with a 'radios'\n"
                        "list), with the keys port, device, result, exit, chip (pid,\n"
                        "name, bootloader, commands, read_protected, flash_kib, uid,\n"
                        "served), error")},
};

constexpr std::array kApnOptions{
    OptionEntry{"--name", "N", kOnce, Wording(kTextHelpApnName, "the APN name")},
    OptionEntry{"--apn", "A", kOnce, Wording(kTextHelpApnApn, "the access point name")},
    OptionEntry{"--user", "U", kOnce, Wording(kTextHelpApnUser, "the user name")},
    OptionEntry{"--password", "P", kOnce, Wording(kTextHelpApnPassword, "the password")},
    OptionEntry{"--numeric", "M", kOnce,
                Wording(kTextHelpApnNumeric, "the operator code: MCC followed by MNC")},
};

constexpr std::array kCounterOptions{
    OptionEntry{"--clear", "", kOnce,
                Wording(kTextHelpCounterClear, "set the counter to 0 and save Sys.dat")},
};

constexpr std::array kHistoryOptions{
    OptionEntry{"--uid", "U", kOnce,
                Wording(kTextHelpHistoryUid,
                        "only the jobs of the radio whose chip has this unique id (as\n"
                        "'korvane info' shows it; upper and lower case alike). With\n"
                        "no job recorded for it, a line says so and the status is 0")},
    OptionEntry{"--since", "DATE", kOnce,
                Wording(kTextHelpHistorySince,
                        "only the jobs started at or after DATE: a date such as\n"
                        "2026-12-08 (its local midnight) or a time as the file writes\n"
                        "it, such as 2026-12-08T17:21:24+08:00")},
    OptionEntry{"--json", "", kOnce,
                Wording(kTextHelpHistoryJson,
                        "print one JSON array: an object per job whose keys are the\n"
                        "file's column names and whose values are the file's texts")},
    OptionEntry{"--history", "FILE", kOnce,
                Wording(kTextHelpHistoryFile, "read FILE instead of korvane-history.csv")},
};

// `korvane crc` takes files, no options.
constexpr const char* kFiles = "files";

// What a bare flag holds once parsed; a flag typed with a value holds the value.
constexpr std::string_view kFlagGiven = "true";

void Declare(CLI::App& app, CommandKind command, bool& help)
{
    app.set_help_flag();  // our own help texts, not CLI11's
    // Options are "--name" and "-x" on every system. CLI11 would read "/x" as
    // an option on Windows, where "/fw/boot.bin" is a path from the drive's root.
    app.allow_windows_style_options(false);
    app.add_flag("-h,--help", help);
    app.allow_extras();  // unknown options and stray arguments get our own message
    for (const OptionEntry& entry : CommandOptions(command)) {
        if (entry.value.empty()) {
            app.add_flag(std::string(entry.name));
        } else {
            // One value per occurrence, every occurrence kept, so that a repeat
            // can be refused (or, for --port, taken) by name.
            app.add_option(std::string(entry.name))
                ->expected(1)
                ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        }
    }
    if (command == CommandKind::Crc) {
        app.add_option(kFiles)->expected(CLI::detail::expected_max_vector_size);  // any number
    }
}

// The options of one command as typed, after parsing: every value of each.
class Given {
public:
    explicit Given(const CLI::App& app) : m_app(app) {}

    const std::vector<std::string>& Values(std::string_view name) const
    {
        return m_app.get_option(std::string(name))->results();
    }
    bool Has(std::string_view name) const { return !Values(name).empty(); }
    // The value of an option given at most once; empty when not given.
    std::string Value(std::string_view name) const
    {
        return Has(name) ? Values(name).front() : std::string();
    }

private:
    const CLI::App& m_app;
};

std::string NeedsValue(std::string_view option)
{
    return OwnText(kTextNeedsValue, "{0} needs a value", {option});
}

// "--name=" gives an empty value, as "--name ''" does (CLI11 would take the
// next argument instead).
std::vector<std::string> SplitEmptyValues(std::span<const std::string> args)
{
    std::vector<std::string> split;
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        optionsEnded = optionsEnded || arg == kEndOfOptions;
        if (!optionsEnded && arg.starts_with("--") && arg.size() > 3 && arg.back() == '=' &&
            arg.find('=') == arg.size() - 1) {
            split.push_back(arg.substr(0, arg.size() - 1));
            split.emplace_back();
        } else {
            split.push_back(arg);
        }
    }
    return split;
}

// A flag takes no value (CLI11 keeps one typed after it, to be refused here).
void RefuseFlagValues(CommandKind command, const Given& given)
{
    for (const OptionEntry& entry : CommandOptions(command)) {
        for (const std::string& value : given.Values(entry.name)) {
            if (entry.value.empty() && value != kFlagGiven) {
                throw UsageError(command,
                                 OwnText(kTextTakesNoValue, "{0} takes no value", {entry.name}));
            }
        }
    }
}

// What the command's table allows of each option: a value option followed by
// another of the command's options took that option's name as its value
// ("--port --user u.bin"), so it lacks its value; only a repeatable option may
// be given twice. Anything else on the line is not the command's.
void RefuseMisusedOptions(CommandKind command, const CLI::App& app, const Given& given)
{
    const std::span<const OptionEntry> entries = CommandOptions(command);
    for (const OptionEntry& entry : entries) {
        for (const std::string& value : given.Values(entry.name)) {
            const std::string name = value.substr(0, value.find('='));
            if (!entry.value.empty() && name.starts_with('-') &&
                app.get_option_no_throw(name) != nullptr) {
                throw UsageError(command, NeedsValue(entry.name));
            }
        }
    }
    for (const std::string& extra : app.remaining()) {
        if (extra == kEndOfOptions) {
            continue;  // CLI11 keeps the end-of-options mark among the extras
        }
        if (IsOption(extra)) {
            throw UsageError(command, OwnText(kTextUnknownOption, "unknown option '{0}'", {extra}));
        }
        throw UsageError(command,
                         OwnText(kTextUnexpectedArgument, "unexpected argument '{0}'", {extra}));
    }
    for (const OptionEntry& entry : entries) {
        if (!entry.repeatable && given.Values(entry.name).size() > 1) {
            throw UsageError(command,
                             OwnText(kTextGivenTwice, "{0} is given more than once", {entry.name}));
        }
    }
}

void CheckPort(const std::string& port, CommandKind command)
{
    if (port.empty()) {
        throw UsageError(command,
                         OwnText(kTextPortEmpty, "--port needs a port number or a device path"));
    }
    // A sign makes no device path: "-1" is a number outside the list, as 0 is.
    const std::size_t digitsFrom = port.front() == '-' || port.front() == '+' ? 1 : 0;
    const bool number = port.size() > digitsFrom &&
                        std::all_of(port.begin() + static_cast<std::ptrdiff_t>(digitsFrom),
                                    port.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (number && !ParsePortNumber(port)) {
        throw UsageError(command,
                         OwnText(kTextNoPortNumber,
                                 "port number {0} does not exist; 'korvane ports' lists the "
                                 "numbers, from 1",
                                 {port}));
    }
}

void RequirePort(CommandKind command, const Given& given)
{
    if (!given.Has("--port")) {
        throw UsageError(command, OwnText(kTextMissingPort,
                                          "missing --port P (a port number or a device path)"));
    }
}

// --port P, as flash and info take it: each port once, `all` alone.
std::vector<std::string> Ports(CommandKind command, const Given& given)
{
    const std::vector<std::string>& ports = given.Values("--port");
    for (const std::string& port : ports) {
        CheckPort(port, command);
        if (port == kAllPorts && ports.size() > 1) {
            throw UsageError(command, OwnText(kTextAllAlone,
                                              "--port all stands for every port and cannot be "
                                              "combined with other ports"));
        }
        if (std::count(ports.begin(), ports.end(), port) > 1) {
            throw UsageError(command,
                             OwnText(kTextPortTwice, "port {0} is given more than once", {port}));
        }
    }
    return ports;
}

void RequireUser(CommandKind command, const Given& given)
{
    if (!given.Has("--user")) {
        throw UsageError(command,
                         OwnText(kTextMissingUser, "missing --user FILE (the user-program image)"));
    }
}

// --boot FILE and --user FILE, the same for flash and the station. The
// arguments are UTF-8 on every system (on Windows converted from the wide
// command line), which a path built from a narrow string would not assume.
void Images(CommandKind command, const Given& given, std::optional<std::filesystem::path>& boot,
            std::filesystem::path& user)
{
    if (given.Value("--user").empty() || (given.Has("--boot") && given.Value("--boot").empty())) {
        throw UsageError(command, OwnText(kTextEmptyImagePath, "an image path is empty"));
    }
    user = base::Utf8ToPath(given.Value("--user"));
    if (given.Has("--boot")) boot = base::Utf8ToPath(given.Value("--boot"));
    if (given.Has("--verify") && !boot) {
        throw UsageError(command, OwnText(kTextVerifyNeedsBoot,
                                          "--verify reads the boot image back, so it needs "
                                          "--boot FILE (a full upgrade)"));
    }
}

// --history FILE, the same for every command that takes it.
std::optional<std::filesystem::path> HistoryPath(CommandKind command, const Given& given)
{
    if (!given.Has("--history")) return std::nullopt;
    if (given.Value("--history").empty()) {
        throw UsageError(command,
                         OwnText(kTextHistoryPathEmpty, "--history needs the name of a file"));
    }
    return base::Utf8ToPath(given.Value("--history"));
}

void FillFlash(FlashOptions& flash, const Given& given)
{
    constexpr CommandKind kFlash = CommandKind::Flash;
    RequirePort(kFlash, given);
    RequireUser(kFlash, given);
    flash.ports = Ports(kFlash, given);
    Images(kFlash, given, flash.bootPath, flash.userPath);
    flash.json = given.Has("--json");
    flash.exactTiming = given.Has("--exact-timing");
    flash.verify = given.Has("--verify");
    flash.historyPath = HistoryPath(kFlash, given);
}

// "0403:6001": four hexadecimal digits, a colon, four more.
bool IsVidPid(const std::string& text)
{
    constexpr std::size_t kDigits = 4;
    const auto hex = [](char ch) { return std::isxdigit(static_cast<unsigned char>(ch)) != 0; };
    return text.size() == 2 * kDigits + 1 && text[kDigits] == ':' &&
           std::all_of(text.begin(), text.begin() + kDigits, hex) &&
           std::all_of(text.begin() + kDigits + 1, text.end(), hex);
}

void FillStation(StationOptions& station, const Given& given)
{
    constexpr CommandKind kStation = CommandKind::Station;
    RequireUser(kStation, given);
    Images(kStation, given, station.bootPath, station.userPath);
    if (given.Has("--only-usb") && given.Has("--all-ports")) {
        throw UsageError(kStation, OwnText(kTextStationUsbOrAll,
                                           "--only-usb and --all-ports ask for opposite things: "
                                           "give one of them"));
    }
    for (const char* name : {"--watch", "--location", "--history"}) {
        for (const std::string& value : given.Values(name)) {
            if (value.empty()) throw UsageError(kStation, NeedsValue(name));
        }
    }
    for (const std::string& ids : given.Values("--vid-pid")) {
        if (!IsVidPid(ids)) {
            throw UsageError(kStation, OwnText(kTextStationBadVidPid,
                                               "--vid-pid needs VVVV:PPPP, four hexadecimal "
                                               "digits each as 'korvane ports' shows them, not "
                                               "'{0}'",
                                               {ids}));
        }
    }
    if (given.Has("--watch")) {
        // The filters choose among the port list; watched paths are chosen by their pattern.
        for (const char* name : {"--vid-pid", "--location", "--only-usb", "--all-ports"}) {
            if (given.Has(name)) {
                throw UsageError(kStation, OwnText(kTextStationWatchAlone,
                                                   "{0} filters the serial port list, which "
                                                   "--watch does not look at: give one or the "
                                                   "other",
                                                   {name}));
            }
        }
    }
    if (given.Has("--max-jobs")) {
        int jobs = 0;
        const std::string text = given.Value("--max-jobs");
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() || jobs < 1) {
            throw UsageError(kStation, OwnText(kTextStationBadMaxJobs,
                                               "--max-jobs needs a whole number from 1, not "
                                               "'{0}'",
                                               {text}));
        }
        station.maxJobs = jobs;
    }
    station.exactTiming = given.Has("--exact-timing");
    station.verify = given.Has("--verify");
    station.allPorts = given.Has("--all-ports");
    station.vidPids = given.Values("--vid-pid");
    station.location = given.Value("--location");
    station.watch = given.Values("--watch");
    station.historyFile = HistoryPath(kStation, given);
    station.quiet = given.Has("--quiet");
}

void FillHistory(HistoryOptions& wanted, const Given& given)
{
    constexpr CommandKind kHistory = CommandKind::History;
    if (given.Has("--uid") && given.Value("--uid").empty()) {
        // An empty uid would quietly show every radio's jobs.
        throw UsageError(kHistory, NeedsValue("--uid"));
    }
    wanted.uid = given.Value("--uid");
    if (given.Has("--since")) {
        wanted.since = history::ParseTime(given.Value("--since"));
        if (!wanted.since) {
            throw UsageError(kHistory,
                             OwnText(kTextBadSince,
                                     "--since takes a date such as 2026-12-08 or a time as the "
                                     "history writes it, such as 2026-12-08T17:21:24+08:00, not "
                                     "'{0}'",
                                     {given.Value("--since")}));
        }
    }
    wanted.json = given.Has("--json");
    wanted.historyPath = HistoryPath(kHistory, given);
}

// What each command needs once all its options are known.
void Fill(Options& options, const Given& given)
{
    switch (options.command) {
        case CommandKind::Flash:
            FillFlash(options.flash, given);
            break;
        case CommandKind::Station:
            FillStation(options.station, given);
            break;
        case CommandKind::Info:
            RequirePort(CommandKind::Info, given);
            options.info.ports = Ports(CommandKind::Info, given);
            options.info.json = given.Has("--json");
            break;
        case CommandKind::Apn:
            if (!given.Has("--name")) {
                throw UsageError(CommandKind::Apn,
                                 OwnText(kTextMissingName, "missing --name N (the APN name)"));
            }
            options.apn.name = given.Value("--name");
            options.apn.apn = given.Value("--apn");
            options.apn.user = given.Value("--user");
            options.apn.password = given.Value("--password");
            options.apn.numeric = given.Value("--numeric");
            break;
        case CommandKind::History:
            FillHistory(options.history, given);
            break;
        case CommandKind::Crc:
            if (!given.Has(kFiles)) {
                throw UsageError(CommandKind::Crc, OwnText(kTextNoFile, "no file given"));
            }
            for (const std::string& file : given.Values(kFiles)) {
                options.crcFiles.push_back(base::Utf8ToPath(file));
            }
            break;
        case CommandKind::Counter:
            options.clearCounter = given.Has("--clear");
            break;
        case CommandKind::Ports:
        case CommandKind::None:
            break;
    }
}

// What CLI11 refuses that the command's table does not foresee, in its words.
UsageError BadArguments(CommandKind command, const CLI::ParseError& error)
{
    return {command,
            OwnText(kTextBadArguments, "the arguments cannot be used: {0}", {error.what()})};
}

// Parses everything after the command's name.
void ParseCommandArguments(Options& options, std::span<const std::string> args)
{
    const CommandKind command = options.command;
    CLI::App app;
    bool help = false;
    Declare(app, command, help);
    const std::vector<std::string> split = SplitEmptyValues(args);
    std::vector<const char*> argv{"korvane"};
    for (const std::string& arg : split) argv.push_back(arg.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ArgumentMismatch& error) {
        // Flags take any value here, to be refused by name; so CLI11 only finds
        // a value missing when the arguments end at a value option ("--user", or
        // "--user=" after an end-of-options mark a value took).
        RefuseFlagValues(command, Given(app));
        const std::string& last = split.back();
        const CLI::Option* option = app.get_option_no_throw(last.substr(0, last.find('=')));
        if (option != nullptr && option->nonpositional() && option->get_expected_min() > 0) {
            throw UsageError(command, NeedsValue(option->get_name()));
        }
        throw BadArguments(command, error);
    } catch (const CLI::ParseError& error) {
        throw BadArguments(command, error);
    }
    const Given given(app);
    RefuseFlagValues(command, given);
    if (help) {
        options.help = true;  // help wins over whatever else is on the line
        return;
    }
    RefuseMisusedOptions(command, app, given);
    Fill(options, given);
}

}  // namespace

std::span<const OptionEntry> CommandOptions(CommandKind command)
{
    switch (command) {
        case CommandKind::Flash:
            return kFlashOptions;
        case CommandKind::Station:
            return kStationOptions;
        case CommandKind::Info:
            return kInfoOptions;
        case CommandKind::Apn:
            return kApnOptions;
        case CommandKind::Counter:
            return kCounterOptions;
        case CommandKind::History:
            return kHistoryOptions;
        case CommandKind::Crc:
        case CommandKind::Ports:
        case CommandKind::None:
            break;
    }
    return {};
}

UsageError::UsageError(CommandKind command, const std::string& message)
    : korvane::Error(ErrorKind::Usage, message, HelpHint(command)), m_command(command)
{
}

std::string CommandName(CommandKind command)
{
    const auto* entry = std::find_if(kCommands.begin(), kCommands.end(),
                                     [&](const CommandEntry& e) { return e.kind == command; });
    return entry == kCommands.end() ? std::string() : std::string(entry->name);
}

std::optional<std::int16_t> ParsePortNumber(const std::string& text)
{
    int number = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, number);
    if (text.empty() || ec != std::errc() || ptr != end || number < 1 ||
        number > std::numeric_limits<std::int16_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(number);
}

Options ParseArguments(std::span<const std::string> args)
{
    Options options;
    if (args.empty()) {
        throw UsageError(CommandKind::None, OwnText(kTextNoCommand, "no command given"));
    }
    const std::string& first = args.front();
    if (IsHelp(first)) {
        options.help = true;
        return options;
    }
    if (first == "--version") {
        if (args.size() > 1) {
            throw UsageError(CommandKind::None,
                             OwnText(kTextVersionAlone, "--version takes no further arguments"));
        }
        options.version = true;
        return options;
    }
    options.command = FindCommand(first);
    if (options.command == CommandKind::None) {
        throw UsageError(CommandKind::None,
                         IsOption(first)
                             ? OwnText(kTextUnknownOption, "unknown option '{0}'", {first})
                             : OwnText(kTextUnknownCommand, "unknown command '{0}'", {first}));
    }
    ParseCommandArguments(options, args.subspan(1));
    return options;
}

}  // namespace korvane::cli
