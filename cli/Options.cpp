// Parsing of the `korvane` command line: a table of options per command, each
// option given once, as "--name value" or "--name=value".
#include "cli/Options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <functional>
#include <limits>
#include <set>
#include <string_view>

namespace korvane::cli {
namespace {

constexpr std::string_view kOptionPrefix = "--";
constexpr std::string_view kEndOfOptions = "--";

struct CommandEntry {
    CommandKind kind;
    std::string_view name;
};

constexpr std::array kCommands{
    CommandEntry{CommandKind::Ports, "ports"},     CommandEntry{CommandKind::Flash, "flash"},
    CommandEntry{CommandKind::Crc, "crc"},         CommandEntry{CommandKind::Apn, "apn"},
    CommandEntry{CommandKind::Counter, "counter"},
};

// One option of a command: takes a value or is a switch; `apply` stores it.
struct OptionRule {
    std::string_view name;
    bool takesValue;
    std::function<void(Options&, const std::string&)> apply;
};

std::vector<OptionRule> OptionsOf(CommandKind command)
{
    switch (command) {
        case CommandKind::Flash:
            return {
                {"port", true, [](Options& o, const std::string& v) { o.flash.port = v; }},
                {"boot", true, [](Options& o, const std::string& v) { o.flash.bootPath = v; }},
                {"user", true, [](Options& o, const std::string& v) { o.flash.userPath = v; }},
                {"json", false, [](Options& o, const std::string&) { o.flash.json = true; }},
            };
        case CommandKind::Apn:
            return {
                {"name", true, [](Options& o, const std::string& v) { o.apn.name = v; }},
                {"apn", true, [](Options& o, const std::string& v) { o.apn.apn = v; }},
                {"user", true, [](Options& o, const std::string& v) { o.apn.user = v; }},
                {"password", true, [](Options& o, const std::string& v) { o.apn.password = v; }},
                {"numeric", true, [](Options& o, const std::string& v) { o.apn.numeric = v; }},
            };
        case CommandKind::Counter:
            return {
                {"clear", false, [](Options& o, const std::string&) { o.clearCounter = true; }}};
        case CommandKind::Ports:
        case CommandKind::Crc:
        case CommandKind::None:
            return {};
    }
    return {};
}

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

void CheckPort(const std::string& port)
{
    if (port.empty()) {
        throw UsageError(CommandKind::Flash, "--port needs a port number or a device path");
    }
    const bool allDigits =
        std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (allDigits && !ParsePortNumber(port)) {
        throw UsageError(
            CommandKind::Flash,
            "port number " + port + " does not exist; 'korvane ports' lists the numbers, from 1");
    }
}

// Checks what each command needs once all its options are known.
void CheckComplete(const Options& options, const std::set<std::string, std::less<>>& seen)
{
    switch (options.command) {
        case CommandKind::Flash:
            if (!seen.contains("port")) {
                throw UsageError(CommandKind::Flash,
                                 "missing --port P (a port number or a device path)");
            }
            if (!seen.contains("user")) {
                throw UsageError(CommandKind::Flash,
                                 "missing --user FILE (the user-program image)");
            }
            CheckPort(options.flash.port);
            if (options.flash.userPath.empty() ||
                (options.flash.bootPath && options.flash.bootPath->empty())) {
                throw UsageError(CommandKind::Flash, "an image path is empty");
            }
            break;
        case CommandKind::Apn:
            if (!seen.contains("name")) {
                throw UsageError(CommandKind::Apn, "missing --name N (the APN name)");
            }
            break;
        case CommandKind::Crc:
            if (options.crcFiles.empty()) {
                throw UsageError(CommandKind::Crc, "no file given");
            }
            break;
        case CommandKind::Ports:
        case CommandKind::Counter:
        case CommandKind::None:
            break;
    }
}

// Parses everything after the command's name.
void ParseCommandArguments(Options& options, std::span<const std::string> args)
{
    const CommandKind command = options.command;
    const std::vector<OptionRule> rules = OptionsOf(command);
    std::set<std::string, std::less<>> seen;
    bool optionsEnded = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && IsHelp(arg)) {
            options.help = true;
            return;  // help wins over whatever else is on the line
        }
        if (!optionsEnded && arg == kEndOfOptions) {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || !IsOption(arg)) {
            if (command != CommandKind::Crc) {
                throw UsageError(command, "unexpected argument '" + arg + "'");
            }
            options.crcFiles.emplace_back(arg);
            continue;
        }
        if (!arg.starts_with(kOptionPrefix)) {
            throw UsageError(command, "unknown option '" + arg + "'");
        }
        const std::string_view body = std::string_view(arg).substr(kOptionPrefix.size());
        const std::size_t equals = body.find('=');
        const std::string_view name = body.substr(0, equals);
        const auto rule = std::find_if(rules.begin(), rules.end(),
                                       [&](const OptionRule& s) { return s.name == name; });
        if (rule == rules.end()) {
            throw UsageError(command, "unknown option '--" + std::string(name) + "'");
        }
        if (seen.contains(name)) {
            throw UsageError(command, "--" + std::string(name) + " is given more than once");
        }
        seen.emplace(name);

        std::string value;
        if (equals != std::string_view::npos) {
            if (!rule->takesValue) {
                throw UsageError(command, "--" + std::string(name) + " takes no value");
            }
            value = std::string(body.substr(equals + 1));
        } else if (rule->takesValue) {
            if (i + 1 >= args.size()) {
                throw UsageError(command, "--" + std::string(name) + " needs a value");
            }
            value = args[++i];
        }
        rule->apply(options, value);
    }
    CheckComplete(options, seen);
}

}  // namespace

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
        throw UsageError(CommandKind::None, "no command given");
    }
    const std::string& first = args.front();
    if (IsHelp(first)) {
        options.help = true;
        return options;
    }
    if (first == "--version") {
        if (args.size() > 1) {
            throw UsageError(CommandKind::None, "--version takes no further arguments");
        }
        options.version = true;
        return options;
    }
    options.command = FindCommand(first);
    if (options.command == CommandKind::None) {
        throw UsageError(
            CommandKind::None,
            (IsOption(first) ? "unknown option '" : "unknown command '") + first + "'");
    }
    ParseCommandArguments(options, args.subspan(1));
    return options;
}

}  // namespace korvane::cli
