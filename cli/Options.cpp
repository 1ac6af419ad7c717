// Parsing of the `korvane` command line through CLI11: the program's own
// arguments (help, version, the command's name) first, then one CLI11 app per
// command. Our own help texts and messages stay in place of CLI11's, so that
// they read the same in every language of the catalogue.
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

// A value option: one value per occurrence, every occurrence kept, so that a
// repeat can be refused (or, for --port, taken) by name.
CLI::Option* AddValue(CLI::App& app, const std::string& name, std::vector<std::string>& values)
{
    return app.add_option(name, values)
        ->allow_extra_args(false)
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

// The options of one command, collected as typed; checked after parsing.
struct Collected {
    bool help = false;
    std::vector<std::string> port, boot, user, name, apn, apnUser, password, numeric;
    std::vector<std::string> history, uid, since;
    std::size_t json = 0;
    std::size_t exactTiming = 0;
    std::size_t verify = 0;
    std::size_t clear = 0;
    std::vector<std::string> vidPid, location, watch, maxJobs;
    std::size_t allPorts = 0;
    std::size_t onlyUsb = 0;
    std::size_t quiet = 0;
    std::vector<std::string> positionals;
};

void Declare(CLI::App& app, CommandKind command, Collected& c)
{
    app.set_help_flag();  // our own help texts, not CLI11's
    // Options are "--name" and "-x" on every system. CLI11 would read "/x" as
    // an option on Windows, where "/fw/boot.bin" is a path from the drive's root.
    app.allow_windows_style_options(false);
    app.add_flag("-h,--help", c.help);
    app.allow_extras();  // unknown options and stray arguments get our own message
    const auto flag = [&](const std::string& name, std::size_t& count) {
        app.add_flag(name, count)->disable_flag_override();
    };
    switch (command) {
        case CommandKind::Flash:
            AddValue(app, "--port", c.port);
            AddValue(app, "--boot", c.boot);
            AddValue(app, "--user", c.user);
            flag("--json", c.json);
            flag("--exact-timing", c.exactTiming);
            flag("--verify", c.verify);
            AddValue(app, "--history", c.history);
            break;
        case CommandKind::History:
            AddValue(app, "--uid", c.uid);
            AddValue(app, "--since", c.since);
            AddValue(app, "--history", c.history);
            flag("--json", c.json);
            break;
        case CommandKind::Station:
            AddValue(app, "--boot", c.boot);
            AddValue(app, "--user", c.user);
            flag("--exact-timing", c.exactTiming);
            flag("--verify", c.verify);
            flag("--only-usb", c.onlyUsb);
            flag("--all-ports", c.allPorts);
            AddValue(app, "--vid-pid", c.vidPid);
            AddValue(app, "--location", c.location);
            AddValue(app, "--watch", c.watch);
            AddValue(app, "--history", c.history);
            flag("--quiet", c.quiet);
            AddValue(app, "--max-jobs", c.maxJobs);
            break;
        case CommandKind::Info:
            AddValue(app, "--port", c.port);
            flag("--json", c.json);
            break;
        case CommandKind::Apn:
            AddValue(app, "--name", c.name);
            AddValue(app, "--apn", c.apn);
            AddValue(app, "--user", c.apnUser);
            AddValue(app, "--password", c.password);
            AddValue(app, "--numeric", c.numeric);
            break;
        case CommandKind::Counter:
            flag("--clear", c.clear);
            break;
        case CommandKind::Crc:
            app.add_option("files", c.positionals);
            break;
        case CommandKind::Ports:
        case CommandKind::None:
            break;
    }
}

// The option an error of CLI11's names, as typed ("--json").
std::string OptionName(const std::string& text)
{
    const std::string name = text.substr(0, text.find_first_of(": "));
    return name.starts_with('-') ? name : "--" + name;
}

// CLI11's own error, said in our words: which option, and what is wrong with it.
UsageError Reword(CommandKind command, const CLI::ParseError& error)
{
    const std::string text = error.what();
    const std::string option = OptionName(text);
    if (text.find("flag override") != std::string::npos) {
        return {command, OwnText(kTextTakesNoValue, "{0} takes no value", {option})};
    }
    if (text.find("missing") != std::string::npos || text.find("At least") != std::string::npos) {
        return {command, OwnText(kTextNeedsValue, "{0} needs a value", {option})};
    }
    return {command, OwnText(kTextBadArguments, "the arguments cannot be used: {0}", {text})};
}

// A value option followed by another of the command's options took that
// option's name as its value ("--port --user u.bin"): it lacks its value.
void RefuseOptionsAsValues(CommandKind command, CLI::App& app)
{
    for (const CLI::Option* option : app.get_options()) {
        if (!option->nonpositional() || option->get_expected_min() < 1) continue;
        for (const std::string& value : option->results()) {
            const std::string name = value.substr(0, value.find('='));
            if (name.starts_with('-') && app.get_option_no_throw(name) != nullptr) {
                throw UsageError(
                    command, OwnText(kTextNeedsValue, "{0} needs a value", {option->get_name()}));
            }
        }
    }
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

void RefuseRepeats(
    CommandKind command,
    std::initializer_list<std::pair<const char*, const std::vector<std::string>*>> options)
{
    for (const auto& [name, values] : options) {
        if (values->size() > 1) {
            throw UsageError(command,
                             OwnText(kTextGivenTwice, "{0} is given more than once", {name}));
        }
    }
}

std::string Single(const std::vector<std::string>& values)
{
    return values.empty() ? std::string() : values.front();
}

void CheckPort(const std::string& port, CommandKind command = CommandKind::Flash)
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

// --history FILE, the same for every command that takes it.
std::optional<std::filesystem::path> HistoryPath(CommandKind command, const Collected& c)
{
    RefuseRepeats(command, {{"--history", &c.history}});
    if (c.history.empty()) return std::nullopt;
    if (Single(c.history).empty()) {
        throw UsageError(command,
                         OwnText(kTextHistoryPathEmpty, "--history needs the name of a file"));
    }
    return base::Utf8ToPath(Single(c.history));
}

void FillFlash(Options& options, const Collected& c)
{
    constexpr CommandKind kFlash = CommandKind::Flash;
    RefuseRepeats(kFlash, {{"--boot", &c.boot}, {"--user", &c.user}});
    for (const auto& [name, count] :
         {std::pair{"--json", c.json}, std::pair{"--exact-timing", c.exactTiming},
          std::pair{"--verify", c.verify}}) {
        if (count > 1) {
            throw UsageError(kFlash,
                             OwnText(kTextGivenTwice, "{0} is given more than once", {name}));
        }
    }
    if (c.port.empty()) {
        throw UsageError(
            kFlash, OwnText(kTextMissingPort, "missing --port P (a port number or a device path)"));
    }
    if (c.user.empty()) {
        throw UsageError(kFlash,
                         OwnText(kTextMissingUser, "missing --user FILE (the user-program image)"));
    }
    for (const std::string& port : c.port) {
        CheckPort(port);
        if (port == kAllPorts && c.port.size() > 1) {
            throw UsageError(kFlash, OwnText(kTextAllAlone,
                                             "--port all stands for every port and cannot be "
                                             "combined with other ports"));
        }
        if (std::count(c.port.begin(), c.port.end(), port) > 1) {
            throw UsageError(kFlash,
                             OwnText(kTextPortTwice, "port {0} is given more than once", {port}));
        }
    }
    if (Single(c.user).empty() || (!c.boot.empty() && Single(c.boot).empty())) {
        throw UsageError(kFlash, OwnText(kTextEmptyImagePath, "an image path is empty"));
    }
    options.flash.ports = c.port;
    // The arguments are UTF-8 on every system (on Windows converted from the
    // wide command line), which a path built from a narrow string would not assume.
    options.flash.userPath = base::Utf8ToPath(Single(c.user));
    if (!c.boot.empty()) {
        options.flash.bootPath = base::Utf8ToPath(Single(c.boot));
    }
    options.flash.json = c.json > 0;
    options.flash.exactTiming = c.exactTiming > 0;
    options.flash.verify = c.verify > 0;
    options.flash.historyPath = HistoryPath(kFlash, c);
    if (options.flash.verify && !options.flash.bootPath) {
        throw UsageError(kFlash, OwnText(kTextVerifyNeedsBoot,
                                         "--verify reads the boot image back, so it needs "
                                         "--boot FILE (a full upgrade)"));
    }
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

void FillStation(Options& options, const Collected& c)
{
    constexpr CommandKind kStation = CommandKind::Station;
    RefuseRepeats(kStation, {{"--boot", &c.boot},
                             {"--user", &c.user},
                             {"--location", &c.location},
                             {"--max-jobs", &c.maxJobs}});
    for (const auto& [name, count] :
         {std::pair{"--exact-timing", c.exactTiming}, std::pair{"--verify", c.verify},
          std::pair{"--only-usb", c.onlyUsb}, std::pair{"--all-ports", c.allPorts},
          std::pair{"--quiet", c.quiet}}) {
        if (count > 1) {
            throw UsageError(kStation,
                             OwnText(kTextGivenTwice, "{0} is given more than once", {name}));
        }
    }
    if (c.user.empty()) {
        throw UsageError(kStation,
                         OwnText(kTextMissingUser, "missing --user FILE (the user-program image)"));
    }
    if (Single(c.user).empty() || (!c.boot.empty() && Single(c.boot).empty())) {
        throw UsageError(kStation, OwnText(kTextEmptyImagePath, "an image path is empty"));
    }
    if (c.verify > 0 && c.boot.empty()) {
        throw UsageError(kStation, OwnText(kTextVerifyNeedsBoot,
                                           "--verify reads the boot image back, so it needs "
                                           "--boot FILE (a full upgrade)"));
    }
    if (c.onlyUsb > 0 && c.allPorts > 0) {
        throw UsageError(kStation, OwnText(kTextStationUsbOrAll,
                                           "--only-usb and --all-ports ask for opposite things: "
                                           "give one of them"));
    }
    for (const auto& [name, values] :
         {std::pair{"--watch", &c.watch}, std::pair{"--location", &c.location},
          std::pair{"--history", &c.history}}) {
        for (const std::string& value : *values) {
            if (value.empty()) {
                throw UsageError(kStation, OwnText(kTextNeedsValue, "{0} needs a value", {name}));
            }
        }
    }
    for (const std::string& ids : c.vidPid) {
        if (!IsVidPid(ids)) {
            throw UsageError(kStation, OwnText(kTextStationBadVidPid,
                                               "--vid-pid needs VVVV:PPPP, four hexadecimal "
                                               "digits each as 'korvane ports' shows them, not "
                                               "'{0}'",
                                               {ids}));
        }
    }
    if (!c.watch.empty()) {
        // The filters choose among the port list; watched paths are chosen by their pattern.
        for (const auto& [name, given] :
             {std::pair{"--vid-pid", !c.vidPid.empty()},
              std::pair{"--location", !c.location.empty()}, std::pair{"--only-usb", c.onlyUsb > 0},
              std::pair{"--all-ports", c.allPorts > 0}}) {
            if (given) {
                throw UsageError(kStation, OwnText(kTextStationWatchAlone,
                                                   "{0} filters the serial port list, which "
                                                   "--watch does not look at: give one or the "
                                                   "other",
                                                   {name}));
            }
        }
    }
    StationOptions& station = options.station;
    if (!c.maxJobs.empty()) {
        int jobs = 0;
        const std::string& text = c.maxJobs.front();
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() || jobs < 1) {
            throw UsageError(kStation, OwnText(kTextStationBadMaxJobs,
                                               "--max-jobs needs a whole number from 1, not "
                                               "'{0}'",
                                               {text}));
        }
        station.maxJobs = jobs;
    }
    station.userPath = base::Utf8ToPath(Single(c.user));
    if (!c.boot.empty()) station.bootPath = base::Utf8ToPath(Single(c.boot));
    station.exactTiming = c.exactTiming > 0;
    station.verify = c.verify > 0;
    station.allPorts = c.allPorts > 0;
    station.vidPids = c.vidPid;
    station.location = Single(c.location);
    station.watch = c.watch;
    station.historyFile = HistoryPath(kStation, c);
    station.quiet = c.quiet > 0;
}

void FillInfo(Options& options, const Collected& c)
{
    constexpr CommandKind kInfo = CommandKind::Info;
    if (c.json > 1) {
        throw UsageError(kInfo,
                         OwnText(kTextGivenTwice, "{0} is given more than once", {"--json"}));
    }
    if (c.port.empty()) {
        throw UsageError(
            kInfo, OwnText(kTextMissingPort, "missing --port P (a port number or a device path)"));
    }
    for (const std::string& port : c.port) {
        CheckPort(port, kInfo);
        if (port == kAllPorts && c.port.size() > 1) {
            throw UsageError(kInfo, OwnText(kTextAllAlone,
                                            "--port all stands for every port and cannot be "
                                            "combined with other ports"));
        }
        if (std::count(c.port.begin(), c.port.end(), port) > 1) {
            throw UsageError(kInfo,
                             OwnText(kTextPortTwice, "port {0} is given more than once", {port}));
        }
    }
    options.info.ports = c.port;
    options.info.json = c.json > 0;
}

void FillHistory(Options& options, const Collected& c)
{
    constexpr CommandKind kHistory = CommandKind::History;
    RefuseRepeats(kHistory, {{"--uid", &c.uid}, {"--since", &c.since}});
    if (c.json > 1) {
        throw UsageError(kHistory,
                         OwnText(kTextGivenTwice, "{0} is given more than once", {"--json"}));
    }
    HistoryOptions& wanted = options.history;
    if (!c.uid.empty() && Single(c.uid).empty()) {
        // An empty uid would quietly show every radio's jobs.
        throw UsageError(kHistory, OwnText(kTextNeedsValue, "{0} needs a value", {"--uid"}));
    }
    wanted.uid = Single(c.uid);
    if (!c.since.empty()) {
        wanted.since = history::ParseTime(Single(c.since));
        if (!wanted.since) {
            throw UsageError(kHistory,
                             OwnText(kTextBadSince,
                                     "--since takes a date such as 2026-12-08 or a time as the "
                                     "history writes it, such as 2026-12-08T17:21:24+08:00, not "
                                     "'{0}'",
                                     {Single(c.since)}));
        }
    }
    wanted.json = c.json > 0;
    wanted.historyPath = HistoryPath(kHistory, c);
}

void FillApn(Options& options, const Collected& c)
{
    RefuseRepeats(CommandKind::Apn, {{"--name", &c.name},
                                     {"--apn", &c.apn},
                                     {"--user", &c.apnUser},
                                     {"--password", &c.password},
                                     {"--numeric", &c.numeric}});
    if (c.name.empty()) {
        throw UsageError(CommandKind::Apn,
                         OwnText(kTextMissingName, "missing --name N (the APN name)"));
    }
    options.apn.name = Single(c.name);
    options.apn.apn = Single(c.apn);
    options.apn.user = Single(c.apnUser);
    options.apn.password = Single(c.password);
    options.apn.numeric = Single(c.numeric);
}

// What each command needs once all its options are known.
void Fill(Options& options, const Collected& c)
{
    switch (options.command) {
        case CommandKind::Flash:
            FillFlash(options, c);
            break;
        case CommandKind::Station:
            FillStation(options, c);
            break;
        case CommandKind::Info:
            FillInfo(options, c);
            break;
        case CommandKind::Apn:
            FillApn(options, c);
            break;
        case CommandKind::History:
            FillHistory(options, c);
            break;
        case CommandKind::Crc:
            if (c.positionals.empty()) {
                throw UsageError(CommandKind::Crc, OwnText(kTextNoFile, "no file given"));
            }
            for (const std::string& file : c.positionals) {
                options.crcFiles.push_back(base::Utf8ToPath(file));
            }
            break;
        case CommandKind::Counter:
            if (c.clear > 1) {
                throw UsageError(
                    CommandKind::Counter,
                    OwnText(kTextGivenTwice, "{0} is given more than once", {"--clear"}));
            }
            options.clearCounter = c.clear > 0;
            break;
        case CommandKind::Ports:
        case CommandKind::None:
            break;
    }
}

// Parses everything after the command's name.
void ParseCommandArguments(Options& options, std::span<const std::string> args)
{
    const CommandKind command = options.command;
    CLI::App app;
    Collected collected;
    Declare(app, command, collected);
    std::vector<std::string> reversed = SplitEmptyValues(args);
    std::reverse(reversed.begin(), reversed.end());  // CLI11 takes them last first
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        throw Reword(command, error);
    }
    if (collected.help) {
        options.help = true;  // help wins over whatever else is on the line
        return;
    }
    RefuseOptionsAsValues(command, app);
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
    Fill(options, collected);
}

}  // namespace

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
