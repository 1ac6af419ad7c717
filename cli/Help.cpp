// Help texts of `korvane`: what each command does, its options (from the
// command's table of options), and the exit statuses, in the user's language.
#include "cli/Help.h"

#include <array>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "cli/ExitStatus.h"
#include "cli/Progress.h"
#include "cli/TextIds.h"
#include "settings/OwnText.h"

#ifndef KORVANE_VERSION
#define KORVANE_VERSION "unknown"
#endif

namespace korvane::cli {
namespace {

// The wording in the user's language, its line breaks made real.
std::string Say(const HelpWording& wording, std::initializer_list<std::string_view> args = {})
{
    const std::string text = settings::OwnText(wording.id, wording.english);
    std::string lines;
    lines.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\\n") == 0) {
            lines += '\n';
            ++i;
        } else {
            lines += text[i];
        }
    }
    return settings::FillText(lines, args);
}

// "Usage: " and the command lines, each line after the first indented to stand
// under the first: the heading is of another width in another language.
std::string Usage(std::string_view lines)
{
    const std::string heading = Say(Wording(kTextHelpUsage, "Usage: "));
    const std::string indent(DisplayColumns(heading), ' ');
    std::string text = heading;
    for (const char ch : lines) {
        text += ch;
        if (ch == '\n') text += indent;
    }
    return text + "\n";
}

// One line of a list: what is described, then from `column` on its description,
// whose further lines start at the column too. What reaches the column has the
// description on a line of its own, or after a gap.
std::string Row(const std::string& left, std::string_view description, std::size_t column,
                bool longNamesAlone = false)
{
    constexpr std::size_t kGap = 2;  // blanks at least between an item and its description
    std::string line = "  " + left;
    if (line.size() + kGap <= column) {
        line.resize(column, ' ');
    } else if (longNamesAlone) {
        line += "\n" + std::string(column, ' ');
    } else {
        line.append(kGap, ' ');
    }
    for (const char ch : description) {
        line += ch;
        if (ch == '\n') line.append(column, ' ');
    }
    return line + "\n";
}

std::string ExitStatusHelp()
{
    constexpr std::size_t kColumn = 7;
    std::string help = Say(Wording(kTextHelpExitStatus, "Exit status:")) + "\n";
    for (const ExitStatusRow& row : ExitStatusTable()) {
        help += Row(std::to_string(row.status), Say(row.meaning), kColumn);
    }
    return help;
}

struct CommandLine {
    std::string_view name;
    HelpWording about;
};

constexpr std::array kCommandList{
    CommandLine{"ports", Wording(kTextHelpCommandPorts,
                                 "list the serial ports and the numbers the dialog uses for them")},
    CommandLine{"flash",
                Wording(kTextHelpCommandFlash, "upgrade the radio's firmware over a serial port")},
    CommandLine{"info", Wording(kTextHelpCommandInfo,
                                "name the chip of a radio in its STM32 ROM bootloader")},
    CommandLine{"crc", Wording(kTextHelpCommandCrc,
                               "show the CRC-32 of image files as the dialog shows it")},
    CommandLine{"apn",
                Wording(kTextHelpCommandApn,
                        "send the mobile-data access point settings to the radio through adb")},
    CommandLine{"counter", Wording(kTextHelpCommandCounter,
                                   "show or clear the count of completed user-program downloads")},
    CommandLine{"station",
                Wording(kTextHelpCommandStation,
                        "upgrade every radio plugged in while it runs: a flashing station")},
    CommandLine{"history",
                Wording(kTextHelpCommandHistory,
                        "show what happened to each radio: the jobs flash has recorded")},
};

std::string ProgramHelp()
{
    constexpr std::size_t kCommandColumn = 12;
    constexpr std::size_t kOptionColumn = 15;
    std::string text =
        Usage("korvane COMMAND [OPTIONS]") + "\n" +
        Say(Wording(kTextHelpProgram,
                    "The service command line of STM32_Korvane: the radio's firmware, APN and\n"
                    "counter jobs for benches and scripts, over the same code as the dialog.\n"
                    "Settings (Sys.dat: language, download counter) and the job history\n"
                    "(korvane-history.csv) live beside the executable.")) +
        "\n\n" + Say(Wording(kTextHelpCommands, "Commands:")) + "\n";
    for (const CommandLine& command : kCommandList) {
        text += Row(std::string(command.name), Say(command.about), kCommandColumn);
    }
    text += "\n" + Say(Wording(kTextHelpOptions, "Options:")) + "\n";
    text += Row("-h, --help",
                Say(Wording(kTextHelpOptionHelp,
                            "show this help; 'korvane COMMAND --help' shows a command's help")),
                kOptionColumn);
    text +=
        Row("--version", Say(Wording(kTextHelpOptionVersion, "show the version")), kOptionColumn);
    return text + "\n" +
           Say(Wording(
               kTextHelpProgramNotes,
               "Options are --name and -x on every system: on Windows, /fw/boot.bin is a path\n"
               "from the drive's root, not an option.\n"
               "Text: on a terminal, a Windows console too, every character is shown as\n"
               "written, Chinese included; written to a file or a pipe the output is UTF-8,\n"
               "on Windows too (not the console's code page), and --json is always UTF-8.")) +
           "\n\n" + ExitStatusHelp();
}

// A command without options: its usage and what it does.
std::string PlainHelp(std::string_view usage, const std::string& about)
{
    return Usage(usage) + "\n" + about + "\n";
}

std::string PortsHelp()
{
    return PlainHelp(
        "korvane ports",
        Say(Wording(
            kTextHelpPorts,
            "Lists the serial ports the program can use: the port number the dialog's port\n"
            "list uses for each (USB adapters first), its device path and, for USB\n"
            "adapters, the USB location (bus and port path, e.g. 1-1.2), vendor and product\n"
            "ids, serial number and description. The number, the path, the USB location or\n"
            "the serial number can be given to 'korvane flash --port'; the USB location\n"
            "names a slot on a hub and keeps its name when the device numbers change.")));
}

std::string CrcHelp()
{
    // The escapes are shown as typed whatever the language: one placeholder
    // for the backslash keeps them out of the catalogue's texts.
    return PlainHelp(
        "korvane crc FILE...",
        Say(Wording(
                kTextHelpCrc,
                "Prints the CRC-32 (IEEE 802.3, as zlib) of each image as the dialog shows it,\n"
                "'CRC32:XXXXXXXX', followed by the file's path as typed (a Windows path with\n"
                "its backslashes). Only a path holding a line break is escaped, as coreutils'\n"
                "checksum tools do: '{0}n', '{0}r' and '{0}{0}', the line then starting with "
                "'{0}'.\n"
                "A file that cannot be read or is longer than 1,024,000 bytes is reported on\n"
                "its own line; the others are still printed, and the exit status is then 2."),
            {"\\"}));
}

struct CommandHelp {
    std::string_view usage;  // its lines after the first as they stand under the first
    HelpWording about;       // what the command does
    std::size_t column;      // where the descriptions of the options start
    bool longNamesAlone;     // an option that reaches the column has a line of its own
    HelpWording after;       // what follows the options
};

// The usage, what the command does, and the command's options as its table
// declares them: each option as typed and, from the column on, its
// description. Options without a description of their own share the line of
// the one before them.
std::string WithOptions(CommandKind command, const CommandHelp& help)
{
    const auto typed = [](const OptionEntry& entry) {
        return std::string(entry.name) + (entry.value.empty() ? "" : " ") +
               std::string(entry.value);
    };
    const std::span<const OptionEntry> entries = CommandOptions(command);
    std::string text = Usage(help.usage) + "\n" + Say(help.about) + "\n\n" +
                       Say(Wording(kTextHelpOptions, "Options:")) + "\n";
    for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
        const std::string description = Say(entry->help);
        std::string names = typed(*entry);
        while (entry + 1 != entries.end() && entry[1].help.english.empty()) {
            names += ", " + typed(*++entry);
        }
        text += Row(names, description, help.column, help.longNamesAlone);
    }
    return text + "\n" + Say(help.after) + "\n";
}

constexpr CommandHelp kFlashHelp{
    "korvane flash --port P [--port P ...] --boot FILE --user FILE [--verify]\n"
    "              [--exact-timing] [--json] [--history FILE]\n"
    "korvane flash --port P [--port P ...] --user FILE [--exact-timing] [--json]\n"
    "              [--history FILE]",
    Wording(kTextHelpFlash,
            "With --boot: a full upgrade. The radio must be started in its STM32 ROM\n"
            "bootloader; the boot image is written from 0x08000000 and started, then the\n"
            "user program is sent to its loader. Without --boot: a user-program upgrade\n"
            "to the loader that already runs on the radio.\n"
            "Images are raw .bin files of at most 1,024,000 bytes. A completed user-program\n"
            "download adds one to the counter in Sys.dat."),
    16,
    false,
    Wording(kTextHelpFlashAfter,
            "On a terminal a live progress line shows the stage, bytes sent, rate and time\n"
            "left (one line per radio for several ports); otherwise plain lines are printed,\n"
            "prefixed with the port when there are several. Several ports end with a summary\n"
            "table, and the exit status is the most severe of the radios' (3 over 1).\n"
            "Ctrl-C (or SIGTERM, SIGHUP) stops every job at its next poll and closes the\n"
            "ports; a second Ctrl-C quits at once."),
};

constexpr CommandHelp kStationHelp{
    "korvane station --boot FILE --user FILE [--verify] [OPTIONS]\n"
    "korvane station --user FILE [OPTIONS]",
    Wording(kTextHelpStation,
            "A flashing station: watches the ports and upgrades each radio as it is plugged\n"
            "in, several at once, as 'korvane flash' would (the same images, read and\n"
            "checked once at the start, and the same jobs). A radio whose job has ended\n"
            "stays on its port and is not upgraded again until it is unplugged and plugged\n"
            "in again. A radio that does not answer, or whose adapter is pulled, ends as a\n"
            "failed job without holding up the others; a port that comes and goes too often\n"
            "(three times in 5 s) is shown as such and left alone until it stays for 3 s.\n"
            "Each ended job adds one line to the history."),
    19,
    true,
    Wording(kTextHelpStationAfter,
            "The ports are looked at twice a second. On a terminal one live line per port\n"
            "shows its name, USB location, the chip's uid once known, the stage, percent and\n"
            "time left, then how its job ended and that the radio can be unplugged; a line\n"
            "below counts the radios upgraded, failed and in progress and the rate per hour,\n"
            "and a bell rings at each end. Otherwise one line is printed per event, prefixed\n"
            "with the port, and the totals after each end.\n"
            "Ctrl-C (or SIGTERM, SIGHUP) stops every running job at its next step, closes\n"
            "the ports and prints the session's totals; a second Ctrl-C quits at once.\n"
            "\n"
            "Exit status: 0 with --max-jobs, when every job succeeded; 1 a job failed;\n"
            "2 bad arguments or an image that cannot be used; 130, 143, 129 stopped by\n"
            "Ctrl-C, SIGTERM, SIGHUP (how a session without --max-jobs ends)."),
};

constexpr CommandHelp kInfoHelp{
    "korvane info --port P [--port P ...] [--json]",
    Wording(kTextHelpInfo,
            "Asks the STM32 ROM bootloader of each radio what it runs on, and prints the\n"
            "chip's name and product id, the bootloader's version and the commands it\n"
            "offers, whether the flash is read-protected, the flash size and the chip's\n"
            "unique id (the last two where the part lets them be read). It only asks:\n"
            "it never unprotects, erases or writes anything, and the radio stays in its\n"
            "bootloader."),
    13,
    false,
    Wording(kTextHelpInfoAfter,
            "Exit status: 0 every radio answered; 1 a radio did not answer or refused;\n"
            "2 bad arguments; 3 a port cannot be opened."),
};

constexpr CommandHelp kApnHelp{
    "korvane apn --name N [--apn A] [--user U] [--password P] [--numeric M]",
    Wording(kTextHelpApn,
            "Sends the access point settings to the radio connected over USB as the\n"
            "dialog's Write button does: an Android broadcast through adb (the adb beside\n"
            "the executable, otherwise the one on PATH). The name is always sent; the other\n"
            "fields only when given and not empty."),
    17,
    false,
    Wording(kTextHelpApnAfter,
            "Exit status: 0 the radio answered that the broadcast completed; 1 adb could\n"
            "not be run or failed, or the radio answered otherwise; 2 bad arguments;\n"
            "130, 143, 129 stopped by Ctrl-C, SIGTERM, SIGHUP."),
};

constexpr CommandHelp kCounterHelp{
    "korvane counter [--clear]",
    Wording(kTextHelpCounter,
            "Prints the count of completed user-program downloads kept in Sys.dat beside\n"
            "the executable, the same counter the dialog shows."),
    12,
    false,
    Wording(kTextHelpCounterAfter,
            "Exit status: 0 success; 1 Sys.dat could not be read or saved (or its lock\n"
            "was held by another program for about 3 s); 2 bad arguments."),
};

constexpr CommandHelp kHistoryHelp{
    "korvane history [--uid U] [--since DATE] [--json] [--history FILE]",
    Wording(kTextHelpHistory,
            "Shows the jobs 'korvane flash' has recorded, oldest first: one line per radio\n"
            "job with its start time, port, chip uid, images, result, stage and message,\n"
            "then how many jobs were shown (and how many rows of the file were skipped as\n"
            "not written by korvane). The history is korvane-history.csv beside the\n"
            "executable: UTF-8 with a byte-order mark, one CSV row per job, which a\n"
            "spreadsheet opens directly. A file that does not exist yet is an empty history."),
    18,
    false,
    Wording(kTextHelpHistoryAfter,
            "Exit status: 0 success, also when no job matched; 1 the file cannot be read;\n"
            "2 bad arguments."),
};

}  // namespace

std::string HelpText(CommandKind command)
{
    switch (command) {
        case CommandKind::None:
            return ProgramHelp();
        case CommandKind::Ports:
            return PortsHelp();
        case CommandKind::Flash:
            return WithOptions(command, kFlashHelp) + "\n" + ExitStatusHelp();
        case CommandKind::Info:
            return WithOptions(command, kInfoHelp);
        case CommandKind::Crc:
            return CrcHelp();
        case CommandKind::Apn:
            return WithOptions(command, kApnHelp);
        case CommandKind::Counter:
            return WithOptions(command, kCounterHelp);
        case CommandKind::Station:
            return WithOptions(command, kStationHelp);
        case CommandKind::History:
            return WithOptions(command, kHistoryHelp);
    }
    return ProgramHelp();
}

std::string VersionText()
{
    return std::string("korvane ") + KORVANE_VERSION;
}

std::string HelpHint(CommandKind command)
{
    const std::string name = CommandName(command);
    const std::string help = "korvane " + (name.empty() ? std::string() : name + " ") + "--help";
    return settings::OwnText(kTextHelpHint, "Try '{0}'", {help});
}

}  // namespace korvane::cli
