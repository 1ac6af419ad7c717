// APN provisioning: the adb broadcast as an argument vector whose values are
// quoted for the radio's shell, its display text, and running it.
#include "maintenance/Apn.h"

#include <utility>

#include "maintenance/TextEncoding.h"
#include "settings/OwnText.h"

#ifndef KORVANE_APN_ACTION
#error "KORVANE_APN_ACTION must name the radio's APN-writing broadcast action"
#endif

namespace korvane::maintenance {
namespace {

constexpr std::string_view kAdbStem = "adb";
constexpr std::string_view kStringExtraOption = "--es";
// Characters a POSIX shell takes literally in an unquoted word.
constexpr std::string_view kPlainWordCharacters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_@%+=:,./-";
// Characters that keep a special meaning inside double quotes.
constexpr std::string_view kSpecialInDoubleQuotes = "\"\\$`";
// What is trimmed from both ends of a field: blanks a person typed or pasted.
constexpr std::string_view kBlanks = " \t\r\n";

std::string TrimBlanks(const std::string& text)
{
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The local shell's word for `text`: as it is when nothing in it is special.
std::string ShellWord(const std::string& text)
{
    if (!text.empty() && text.find_first_not_of(kPlainWordCharacters) == std::string::npos) {
        return text;
    }
    return QuoteForRemoteShell(text);
}

std::string DoubleQuoted(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        if (kSpecialInDoubleQuotes.find(c) != std::string_view::npos) {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

// adb shell joins its arguments with blanks into the remote command line, so
// the display passes that line as one word: the same thing, as people write it.
std::string Display(const std::vector<std::string>& argv)
{
    constexpr std::size_t kRemoteCommandStart = 2;  // after adb and "shell"
    std::string remote;
    for (std::size_t i = kRemoteCommandStart; i < argv.size(); ++i) {
        remote += (i == kRemoteCommandStart ? "" : " ") + argv[i];
    }
    return ShellWord(argv[0]) + " " + argv[1] + " " + DoubleQuoted(remote);
}

void AppendExtra(std::vector<std::string>& argv, std::string_view key, const std::string& value)
{
    argv.emplace_back(kStringExtraOption);
    argv.emplace_back(key);
    argv.push_back(QuoteForRemoteShell(value));
}

}  // namespace

std::string ApnAction()
{
    return KORVANE_APN_ACTION;
}

std::string QuoteForRemoteShell(const std::string& value)
{
    std::string quoted = "'";
    for (const char c : value) {
        if (c == '\'') {
            quoted += "'\\''";  // close, an escaped quote, reopen
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

ApnCommand BuildApnCommand(const ApnFields& typed, const std::string& adb)
{
    const ApnFields fields{TrimBlanks(typed.name), TrimBlanks(typed.apn), TrimBlanks(typed.user),
                           TrimBlanks(typed.password), TrimBlanks(typed.numeric)};
    ApnCommand command;
    // The action is checked at configure time to be a plain dotted name, so it
    // needs no quotes on the radio.
    command.argv = {adb, "shell", "am", "broadcast", "-a", ApnAction()};
    AppendExtra(command.argv, "name", fields.name);
    command.displayUpToName = Display(command.argv);

    const std::pair<std::string_view, const std::string*> optionalExtras[] = {
        {"apn", &fields.apn},
        {"user", &fields.user},
        {"password", &fields.password},
        {"numeric", &fields.numeric},
    };
    for (const auto& [key, value] : optionalExtras) {
        if (!value->empty()) {
            AppendExtra(command.argv, key, *value);
        }
    }
    command.display = Display(command.argv);
    return command;
}

std::string FindAdb(const std::filesystem::path& exeDir)
{
    const std::filesystem::path beside =
        exeDir / Utf8ToPath(std::string(kAdbStem) + std::string(kExecutableSuffix));
    std::error_code error;
    if (!exeDir.empty() && std::filesystem::is_regular_file(beside, error)) {
        return PathToUtf8(beside);
    }
    return std::string(kAdbStem);
}

ProcessResult RunApnCommand(const ApnCommand& command, const std::filesystem::path& exeDir,
                            RunLimits limits)
{
    if (limits.timeLimit.count() <= 0) {
        limits.timeLimit = kAdbTimeLimit;
    }
    return RunProcess(command.argv, exeDir, /*captureOutput=*/true, limits);
}

ProcessResult WriteApn(const std::filesystem::path& exeDir, const ApnFields& fields,
                       RunLimits limits)
{
    return RunApnCommand(BuildApnCommand(fields, FindAdb(exeDir)), exeDir, std::move(limits));
}

std::string AdbHint(const ProcessResult& result)
{
    using settings::kOwnTextMaintenance;
    using settings::OwnText;
    if (!result.started) {
        return OwnText(kOwnTextMaintenance + 20,
                       "Install adb (apt install adb) or put it beside the program.");
    }
    if (result.timedOut) {
        return OwnText(
            kOwnTextMaintenance + 21,
            "Most often no radio has authorised this computer yet: accept the USB "
            "debugging prompt on the radio's screen and try again. If no prompt "
            "appears, the adb server may be stuck: run 'adb kill-server' and try again.");
    }
    if (result.stopped || result.Succeeded()) {
        return {};
    }
    return OwnText(kOwnTextMaintenance + 22,
                   "Check that the radio is connected with USB debugging on and that 'adb devices' "
                   "lists exactly one device.");
}

}  // namespace korvane::maintenance
