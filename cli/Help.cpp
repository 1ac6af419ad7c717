// Help texts of `korvane`: what each command does, its options, and the exit statuses.
#include "cli/Help.h"

#include "cli/ExitStatus.h"
#include "cli/TextIds.h"
#include "settings/OwnText.h"

#ifndef KORVANE_VERSION
#define KORVANE_VERSION "unknown"
#endif

namespace korvane::cli {
namespace {

constexpr const char* kProgramHelp =
    "Usage: korvane COMMAND [OPTIONS]\n"
    "\n"
    "The service command line of STM32_Korvane: the radio's firmware, APN and\n"
    "counter jobs for benches and scripts, over the same code as the dialog.\n"
    "Settings (Sys.dat: language, download counter) and the job history\n"
    "(korvane-history.csv) live beside the executable.\n"
    "\n"
    "Commands:\n"
    "  ports     list the serial ports and the numbers the dialog uses for them\n"
    "  flash     upgrade the radio's firmware over a serial port\n"
    "  info      name the chip of a radio in its STM32 ROM bootloader\n"
    "  crc       show the CRC-32 of image files as the dialog shows it\n"
    "  apn       send the mobile-data access point settings to the radio through adb\n"
    "  counter   show or clear the count of completed user-program downloads\n"
    "  station   upgrade every radio plugged in while it runs: a flashing station\n"
    "  history   show what happened to each radio: the jobs flash has recorded\n"
    "\n"
    "Options:\n"
    "  -h, --help   show this help; 'korvane COMMAND --help' shows a command's help\n"
    "  --version    show the version\n"
    "\n"
    "Options are --name and -x on every system: on Windows, /fw/boot.bin is a path\n"
    "from the drive's root, not an option.\n"
    "Text: on a terminal, a Windows console too, every character is shown as\n"
    "written, Chinese included; written to a file or a pipe the output is UTF-8,\n"
    "on Windows too (not the console's code page), and --json is always UTF-8.\n"
    "\n";

constexpr const char* kPortsHelp =
    "Usage: korvane ports\n"
    "\n"
    "Lists the serial ports the program can use: the port number the dialog's port\n"
    "list uses for each (USB adapters first), its device path and, for USB\n"
    "adapters, the USB location (bus and port path, e.g. 1-1.2), vendor and product\n"
    "ids, serial number and description. The number, the path, the USB location or\n"
    "the serial number can be given to 'korvane flash --port'; the USB location\n"
    "names a slot on a hub and keeps its name when the device numbers change.\n";

constexpr const char* kFlashHelp =
    "Usage: korvane flash --port P [--port P ...] --boot FILE --user FILE [--verify]\n"
    "                     [--exact-timing] [--json] [--history FILE]\n"
    "       korvane flash --port P [--port P ...] --user FILE [--exact-timing] [--json]\n"
    "                     [--history FILE]\n"
    "\n"
    "With --boot: a full upgrade. The radio must be started in its STM32 ROM\n"
    "bootloader; the boot image is written from 0x08000000 and started, then the\n"
    "user program is sent to its loader. Without --boot: a user-program upgrade\n"
    "to the loader that already runs on the radio.\n"
    "Images are raw .bin files of at most 1,024,000 bytes. A completed user-program\n"
    "download adds one to the counter in Sys.dat.\n"
    "\n"
    "Options:\n"
    "  --port P      the port number of 'korvane ports' (as in the dialog), a\n"
    "                device path such as /dev/ttyUSB0, a USB location such as 1-1.2\n"
    "                or an adapter's serial number. Give it several times to upgrade\n"
    "                several radios at once; 'all' takes every port 'korvane ports'\n"
    "                lists\n"
    "  --boot FILE   the boot image (full upgrade)\n"
    "  --user FILE   the user-program image\n"
    "  --verify      read the boot image back before starting it and compare; a\n"
    "                difference fails the upgrade at its first differing address\n"
    "  --exact-timing  the dialog's fixed pacing: every answer must come within the\n"
    "                protocol's 50 ms polls. Without it each read returns as soon as\n"
    "                its answer arrives and waits longer for slow parts and USB\n"
    "                adapters (up to about 35 s for a mass erase)\n"
    "  --json        print one JSON object at the end, with the keys result, exit,\n"
    "                stage, status, frames, blocks, bytes, seconds, boot_crc,\n"
    "                user_crc, boot_bytes, user_bytes, counter, verified, chip (pid,\n"
    "                name, bootloader, uid, read_protected), error, warning\n"
    "                (progress then goes to standard error); for several ports one\n"
    "                object with an entry per radio ('radios') and the totals\n"
    "  --history FILE  record each radio's job in FILE instead of\n"
    "                korvane-history.csv beside the executable ('korvane history'\n"
    "                reads it back); a history that cannot be written is a warning,\n"
    "                never a failure of the job\n"
    "\n"
    "On a terminal a live progress line shows the stage, bytes sent, rate and time\n"
    "left (one line per radio for several ports); otherwise plain lines are printed,\n"
    "prefixed with the port when there are several. Several ports end with a summary\n"
    "table, and the exit status is the most severe of the radios' (3 over 1).\n"
    "Ctrl-C (or SIGTERM, SIGHUP) stops every job at its next poll and closes the\n"
    "ports; a second Ctrl-C quits at once.\n"
    "\n";

constexpr const char* kStationHelp =
    "Usage: korvane station --boot FILE --user FILE [--verify] [OPTIONS]\n"
    "       korvane station --user FILE [OPTIONS]\n"
    "\n"
    "A flashing station: watches the ports and upgrades each radio as it is plugged\n"
    "in, several at once, as 'korvane flash' would (the same images, read and\n"
    "checked once at the start, and the same jobs). A radio whose job has ended\n"
    "stays on its port and is not upgraded again until it is unplugged and plugged\n"
    "in again. A radio that does not answer, or whose adapter is pulled, ends as a\n"
    "failed job without holding up the others; a port that comes and goes too often\n"
    "(three times in 5 s) is shown as such and left alone until it stays for 3 s.\n"
    "Each ended job adds one line to the history.\n"
    "\n"
    "Options:\n"
    "  --boot FILE, --user FILE, --verify, --exact-timing\n"
    "                   as for 'korvane flash'\n"
    "  --only-usb       watch the USB serial adapters of 'korvane ports' (the default)\n"
    "  --all-ports      watch every port 'korvane ports' lists\n"
    "  --vid-pid VVVV:PPPP\n"
    "                   only adapters with these vendor and product ids, as 'korvane\n"
    "                   ports' shows them (may be given several times)\n"
    "  --location PREFIX\n"
    "                   only adapters whose USB location starts so, e.g. 1-1. for the\n"
    "                   slots of one hub\n"
    "  --watch GLOB     watch the device paths matching GLOB instead of the port list\n"
    "                   ('*' and '?' in its last part, links followed), e.g.\n"
    "                   '/dev/serial/by-path/*': a path that appears is a radio plugged\n"
    "                   in, one that goes away a radio unplugged (may be given several\n"
    "                   times)\n"
    "  --history FILE   the history file (default: korvane-history.csv beside the\n"
    "                   executable)\n"
    "  --quiet          no bell at the end of each job\n"
    "  --max-jobs N     end the session once N jobs have ended (for scripted benches\n"
    "                   and tests); radios plugged in after the N-th has started wait\n"
    "\n"
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
    "Ctrl-C, SIGTERM, SIGHUP (how a session without --max-jobs ends).\n";

constexpr const char* kInfoHelp =
    "Usage: korvane info --port P [--port P ...] [--json]\n"
    "\n"
    "Asks the STM32 ROM bootloader of each radio what it runs on, and prints the\n"
    "chip's name and product id, the bootloader's version and the commands it\n"
    "offers, whether the flash is read-protected, the flash size and the chip's\n"
    "unique id (the last two where the part lets them be read). It only asks:\n"
    "it never unprotects, erases or writes anything, and the radio stays in its\n"
    "bootloader.\n"
    "\n"
    "Options:\n"
    "  --port P   a port as for 'korvane flash'; give it several times to ask\n"
    "             several radios at once, or 'all' for every listed port\n"
    "  --json     print one JSON object (for several ports: one with a 'radios'\n"
    "             list), with the keys port, device, result, exit, chip (pid,\n"
    "             name, bootloader, commands, read_protected, flash_kib, uid,\n"
    "             served), error\n"
    "\n"
    "Exit status: 0 every radio answered; 1 a radio did not answer or refused;\n"
    "2 bad arguments; 3 a port cannot be opened.\n";

constexpr const char* kCrcHelp =
    "Usage: korvane crc FILE...\n"
    "\n"
    "Prints the CRC-32 (IEEE 802.3, as zlib) of each image as the dialog shows it,\n"
    "'CRC32:XXXXXXXX', followed by the file's path as typed (a Windows path with\n"
    "its backslashes). Only a path holding a line break is escaped, as coreutils'\n"
    "checksum tools do: '\\n', '\\r' and '\\\\', the line then starting with '\\'.\n"
    "A file that cannot be read or is longer than 1,024,000 bytes is reported on\n"
    "its own line; the others are still printed, and the exit status is then 2.\n";

constexpr const char* kApnHelp =
    "Usage: korvane apn --name N [--apn A] [--user U] [--password P] [--numeric M]\n"
    "\n"
    "Sends the access point settings to the radio connected over USB as the\n"
    "dialog's Write button does: an Android broadcast through adb (the adb beside\n"
    "the executable, otherwise the one on PATH). The name is always sent; the other\n"
    "fields only when given and not empty.\n"
    "\n"
    "Options:\n"
    "  --name N       the APN name\n"
    "  --apn A        the access point name\n"
    "  --user U       the user name\n"
    "  --password P   the password\n"
    "  --numeric M    the operator code: MCC followed by MNC\n"
    "\n"
    "Exit status: 0 the radio answered that the broadcast completed; 1 adb could\n"
    "not be run or failed, or the radio answered otherwise; 2 bad arguments;\n"
    "130, 143, 129 stopped by Ctrl-C, SIGTERM, SIGHUP.\n";

constexpr const char* kCounterHelp =
    "Usage: korvane counter [--clear]\n"
    "\n"
    "Prints the count of completed user-program downloads kept in Sys.dat beside\n"
    "the executable, the same counter the dialog shows.\n"
    "\n"
    "Options:\n"
    "  --clear   set the counter to 0 and save Sys.dat\n"
    "\n"
    "Exit status: 0 success; 1 Sys.dat could not be read or saved (or its lock\n"
    "was held by another program for about 3 s); 2 bad arguments.\n";

constexpr const char* kHistoryHelp =
    "Usage: korvane history [--uid U] [--since DATE] [--json] [--history FILE]\n"
    "\n"
    "Shows the jobs 'korvane flash' has recorded, oldest first: one line per radio\n"
    "job with its start time, port, chip uid, images, result, stage and message,\n"
    "then how many jobs were shown (and how many rows of the file were skipped as\n"
    "not written by korvane). The history is korvane-history.csv beside the\n"
    "executable: UTF-8 with a byte-order mark, one CSV row per job, which a\n"
    "spreadsheet opens directly. A file that does not exist yet is an empty history.\n"
    "\n"
    "Options:\n"
    "  --uid U         only the jobs of the radio whose chip has this unique id (as\n"
    "                  'korvane info' shows it; upper and lower case alike). With\n"
    "                  no job recorded for it, a line says so and the status is 0\n"
    "  --since DATE    only the jobs started at or after DATE: a date such as\n"
    "                  2026-12-08 (its local midnight) or a time as the file writes\n"
    "                  it, such as 2026-12-08T17:21:24+08:00\n"
    "  --json          print one JSON array: an object per job whose keys are the\n"
    "                  file's column names and whose values are the file's texts\n"
    "  --history FILE  read FILE instead of korvane-history.csv\n"
    "\n"
    "Exit status: 0 success, also when no job matched; 1 the file cannot be read;\n"
    "2 bad arguments.\n";

}  // namespace

std::string HelpText(CommandKind command)
{
    switch (command) {
        case CommandKind::None:
            return std::string(kProgramHelp) + ExitStatusHelp();
        case CommandKind::Ports:
            return kPortsHelp;
        case CommandKind::Flash:
            return std::string(kFlashHelp) + ExitStatusHelp();
        case CommandKind::Info:
            return kInfoHelp;
        case CommandKind::Crc:
            return kCrcHelp;
        case CommandKind::Apn:
            return kApnHelp;
        case CommandKind::Counter:
            return kCounterHelp;
        case CommandKind::Station:
            return kStationHelp;
        case CommandKind::History:
            return kHistoryHelp;
    }
    return kProgramHelp;
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
