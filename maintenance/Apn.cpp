// APN provisioning: the adb broadcast as an argument vector whose values are
// quoted for the radio's shell, its display text, and running it.
#include "maintenance/Apn.h"

#include <algorithm>
#include <cstdint>
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

// What `am broadcast` prints once the receivers have had the broadcast.
constexpr std::string_view kBroadcastCompleted = "Broadcast completed";
constexpr std::string_view kLineBreakShown = " / ";
constexpr std::string_view kCutShown = "...";

std::string EscapedByte(unsigned char byte)
{
    constexpr std::string_view kHexDigits = "0123456789abcdef";
    return std::string("\\x") + kHexDigits[byte >> 4] + kHexDigits[byte & 0x0fu];
}

// The length of the well-formed UTF-8 character at `at` (shortest form, no
// surrogates, at most U+10FFFF), or 0 when the bytes there are no character.
std::size_t Utf8Length(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        code = lead & 0x1fu;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        code = lead & 0x0fu;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xc0u) != 0x80u) return 0;
        code = (code << 6) | (byte(i) & 0x3fu);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xd800 && code <= 0xdfff;
    if (overlong || surrogate || code > 0x10ffff) return 0;
    return length;
}

// C1 controls (U+0080 to U+009F) act on terminals as ESC sequences do.
bool IsC1Control(std::string_view character)
{
    return character.size() == 2 && static_cast<unsigned char>(character[0]) == 0xc2 &&
           static_cast<unsigned char>(character[1]) < 0xa0;
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
        exeDir / base::Utf8ToPath(std::string(kAdbStem) + std::string(kExecutableSuffix));
    std::error_code error;
    if (!exeDir.empty() && std::filesystem::is_regular_file(beside, error)) {
        return base::PathToUtf8(beside);
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

bool ApnDelivered(const ProcessResult& result)
{
    if (!result.Succeeded()) return false;
    std::string_view output = result.output;
    while (!output.empty()) {
        const std::size_t end = std::min(output.find('\n'), output.size());
        std::string_view line = output.substr(0, end);
        const std::size_t start = line.find_first_not_of(kBlanks);
        if (start != std::string_view::npos && line.substr(start).starts_with(kBroadcastCompleted))
            return true;
        output.remove_prefix(std::min(end + 1, output.size()));
    }
    return false;
}

std::string QuotedAnswer(const std::string& output)
{
    const std::string answer = TrimBlanks(output);
    std::string quoted;
    std::size_t characters = 0;
    for (std::size_t at = 0; at < answer.size();) {
        if (characters == kAnswerQuoteLimit) return quoted + std::string(kCutShown);
        ++characters;
        const char c = answer[at];
        if (c == '\r' || c == '\n') {
            // One mark per break, without the blanks that indent or end the lines.
            at = answer.find_first_not_of(kBlanks, at);
            while (!quoted.empty() && quoted.back() == ' ') quoted.pop_back();
            quoted += kLineBreakShown;
            continue;
        }
        if (c == '\t') {
            quoted += ' ';
            ++at;
            continue;
        }
        const std::size_t length = Utf8Length(answer, at);
        const std::string_view character = std::string_view(answer).substr(at, length);
        if (length == 0 || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            quoted += EscapedByte(static_cast<unsigned char>(c));
            ++at;
        } else if (IsC1Control(character)) {
            quoted += EscapedByte(static_cast<unsigned char>(character[1]));
            at += length;
        } else {
            quoted += character;
            at += length;
        }
    }
    return quoted;
}

std::string DescribeApnEnding(const ProcessResult& result)
{
    using settings::kOwnTextMaintenance;
    using settings::OwnText;
    if (!result.Succeeded()) return DescribeEnding(result, "adb");
    const std::string answer = QuotedAnswer(result.output);
    if (answer.empty()) {
        return OwnText(
            kOwnTextMaintenance + 24,
            "The radio did not confirm the APN broadcast: adb ended without its answer.");
    }
    return OwnText(kOwnTextMaintenance + 23,
                   "The radio did not confirm the APN broadcast; it answered \"{0}\"", {answer});
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
    if (result.stopped || ApnDelivered(result)) {
        return {};
    }
    if (result.Succeeded()) {
        return OwnText(
            kOwnTextMaintenance + 25,
            "Check that the device on USB is the radio and that its software accepts APN "
            "settings; its answer tells why it refused.");
    }
    return OwnText(kOwnTextMaintenance + 22,
                   "Check that the radio is connected with USB debugging on and that 'adb devices' "
                   "lists exactly one device.");
}

}  // namespace korvane::maintenance
