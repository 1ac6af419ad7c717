// The small commands of `korvane` (ports, crc, counter, apn) and the dispatch
// from the parsed command line to each command.
#include "cli/Commands.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string_view>

#include "base/ExeDir.h"
#include "base/TextEncoding.h"
#include "cli/Flash.h"
#include "cli/FlashReport.h"
#include "cli/Help.h"
#include "cli/HistoryCommand.h"
#include "cli/Info.h"
#include "cli/Interrupt.h"
#include "cli/Output.h"
#include "cli/Station.h"
#include "cli/TextIds.h"
#include "firmware/image/Image.h"
#include "firmware/image/Qorin_CRC32.h"
#include "maintenance/Apn.h"
#include "serial/PortList.h"
#include "settings/FileBlock.h"
#include "settings/OwnText.h"
#include "settings/SettingsStore.h"
#include "settings/TextCatalogue.h"

namespace korvane::cli {
namespace {

using settings::OwnText;

std::filesystem::path SysDatPath(const std::filesystem::path& programDir)
{
    return programDir / settings::SettingsStore::kFileName;
}

// The columns of `korvane ports`: number, device, then what USB tells.
std::string PortLine(const serial::PortInfo& port, std::size_t deviceWidth)
{
    std::string number = std::to_string(port.number);
    std::string line = std::string(number.size() < 3 ? 3 - number.size() : 0, ' ') + number;
    std::string device = port.device;
    device.resize(std::max(deviceWidth, device.size()), ' ');
    line += "  " + device;
    if (!port.usbLocation.empty()) line += "  usb " + port.usbLocation;
    if (!port.vendorId.empty() || !port.productId.empty()) {
        line += "  " + port.vendorId + ":" + port.productId;
    }
    if (!port.serialNumber.empty()) line += "  serial " + port.serialNumber;
    if (!port.description.empty()) line += "  " + port.description;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

}  // namespace

std::string CrcLine(const std::string& label, const std::string& name)
{
    if (name.find_first_of("\r\n") == std::string::npos) return label + "  " + name;
    std::string escaped;
    for (const char ch : name) {
        switch (ch) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                escaped += ch;
        }
    }
    return "\\" + label + "  " + escaped;
}

std::string EscapeControls(std::string_view text)
{
    constexpr unsigned char kDelete = 0x7F;
    constexpr unsigned char kC1Lead = 0xC2;  // UTF-8 of U+0080..U+009F: 0xC2 0x80..0x9F
    constexpr unsigned char kC1First = 0x80;
    constexpr unsigned char kC1Last = 0x9F;
    constexpr const char* kHex = "0123456789abcdef";
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == kC1Lead && i + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            if (next >= kC1First && next <= kC1Last) {
                escaped += std::string("\\u00") + kHex[next >> 4] + kHex[next & 0xF];
                ++i;
                continue;
            }
        }
        if (byte >= 0x20 && byte != kDelete) {
            escaped += static_cast<char>(byte);
        } else if (byte == '\n') {
            escaped += "\\n";
        } else if (byte == '\r') {
            escaped += "\\r";
        } else if (byte == '\t') {
            escaped += "\\t";
        } else {
            escaped += std::string("\\x") + kHex[byte >> 4] + kHex[byte & 0xF];
        }
    }
    return escaped;
}

std::string Sentence(const std::string& text)
{
    constexpr std::array<std::string_view, 6> kEnds{".", "!", "?", "。", "！", "？"};
    if (text.empty() || std::any_of(kEnds.begin(), kEnds.end(),
                                    [&](std::string_view end) { return text.ends_with(end); })) {
        return text;
    }
    return text + OwnText(kTextFullStop, ".");
}

std::string JoinClauses(const std::string& first, const std::string& second)
{
    return OwnText(kTextStationJoin, "{0}; {1}", {first, second});
}

void PrintFailure(const Console& console, const std::string& what, const std::string& hint)
{
    console.err << "korvane: " << EscapeControls(Sentence(what));
    if (!hint.empty()) {
        console.err << ' ' << EscapeControls(Sentence(hint));
    }
    console.err << std::endl;
}

void PrintFailure(const Console& console, const korvane::Error& error)
{
    PrintFailure(console, error.what(), error.Hint());
}

int RunPorts(const Console& console)
{
    std::vector<serial::PortInfo> ports;
    try {
        ports = serial::ListSerialPorts();
    } catch (const korvane::Error& error) {
        PrintFailure(
            console,
            OwnText(kTextListPortsFailed, "Could not list the serial ports: {0}", {error.what()}),
            error.Hint());
        return kExitFailed;
    }
    if (ports.empty()) {
        console.out << OwnText(kTextNoPorts,
                               "No serial ports found. Plug in the radio's USB cable and run this "
                               "again; a device path (e.g. a simulated radio's pty) can be given "
                               "to 'korvane flash --port' directly.")
                    << std::endl;
        return kExitSuccess;
    }
    std::size_t deviceWidth = 0;
    for (const serial::PortInfo& port : ports)
        deviceWidth = std::max(deviceWidth, port.device.size());
    for (const serial::PortInfo& port : ports) {
        // USB strings come from the adapter: nothing in them reaches the terminal raw.
        console.out << EscapeControls(PortLine(port, deviceWidth)) << '\n';
    }
    console.out.flush();
    return kExitSuccess;
}

int RunCrc(const Console& console, std::span<const std::filesystem::path> files)
{
    const firmware::Qorin_CRC32 crc;
    int status = kExitSuccess;
    for (const std::filesystem::path& file : files) {
        try {
            const std::vector<std::uint8_t> image = firmware::LoadImage(file);
            console.out << CrcLine(firmware::FormatCrcLabel(crc.Compute(image)),
                                   base::PathToUtf8(file))
                        << std::endl;
        } catch (const korvane::Error& error) {
            PrintFailure(console, error.what(), ImageHint(error));
            status = kExitUsage;
        }
    }
    return status;
}

int RunCounter(const Console& console, const std::filesystem::path& programDir, bool clear)
{
    settings::SettingsStore store(SysDatPath(programDir));
    // A count that could not be read is not a count of 0, and clearing it could
    // overwrite a file this command never saw.
    if (const std::optional<korvane::FileError> problem = store.ReadProblem()) {
        PrintFailure(console, *problem);
        return kExitFailed;
    }
    if (clear) {
        const settings::SaveResult saved = store.ClearUpgradeCount();
        if (!saved) {
            const std::string hint = saved.problem->Hint().empty()
                                         ? OwnText(kTextCounterNotSavedHint,
                                                   "Check that the folder is writable and Sys.dat "
                                                   "is not read-only")
                                         : saved.problem->Hint();
            PrintFailure(console,
                         OwnText(kTextCounterNotSaved, "Could not save the cleared counter to {0}",
                                 {base::PathToUtf8(store.Path())}) +
                             ": " + saved.problem->what(),
                         hint);
            return kExitFailed;
        }
    }
    console.out << store.UpgradeCount() << std::endl;
    return kExitSuccess;
}

int RunApn(const Console& console, const std::filesystem::path& programDir,
           const maintenance::ApnFields& fields)
{
    const maintenance::ApnCommand command =
        maintenance::BuildApnCommand(fields, maintenance::FindAdb(programDir));
    // Like the dialog, show the command up to the name only: the rest may hold a password.
    console.out << "Running: " << EscapeControls(command.displayUpToName) << " ..." << std::endl;
    // Ctrl-C ends adb (and waits for it) instead of being held back until it returns.
    InterruptWatch interrupt;
    maintenance::RunLimits limits;
    limits.stopRequested = [&interrupt] {
        return interrupt.Wait(std::chrono::milliseconds(0)) || interrupt.Interrupted();
    };
    const maintenance::ProcessResult result =
        maintenance::RunApnCommand(command, programDir, limits);
    if (!result.output.empty()) {
        console.out << result.output;
        if (result.output.back() != '\n') {
            console.out << '\n';
        }
        console.out.flush();
    }
    if (!maintenance::ApnDelivered(result)) {
        PrintFailure(console, maintenance::DescribeApnEnding(result), maintenance::AdbHint(result));
        // A stop ends with the status of the signal that asked for it.
        return result.stopped ? ExitStatusOf(interrupt.First()) : kExitFailed;
    }
    console.out << "APN settings sent." << std::endl;
    return kExitSuccess;
}

namespace {

int RunCommand(const Console& console, std::span<const std::string> args)
{
    const std::filesystem::path programDir = base::GetExeDir();
    // Our own messages in the language of Sys.dat, from the Txt.ini beside us.
    // Read without waiting for Sys.dat's lock: help, version and commands that
    // never touch the settings must not hang on another program holding it.
    settings::UseOwnTextCatalogue(programDir / settings::TextCatalogue::kFileName,
                                  settings::SettingsStore::PeekLanguage(SysDatPath(programDir)));
    Options options;
    try {
        options = ParseArguments(args);
    } catch (const UsageError& error) {
        PrintFailure(console, error);
        return kExitUsage;
    }
    if (options.version) {
        console.out << VersionText() << std::endl;
        return kExitSuccess;
    }
    if (options.help) {
        console.out << HelpText(options.command) << std::flush;
        return kExitSuccess;
    }
    switch (options.command) {
        case CommandKind::Ports:
            return RunPorts(console);
        case CommandKind::Flash:
            return RunFlash(console, programDir, options.flash);
        case CommandKind::Info:
            return RunInfo(console, options.info);
        case CommandKind::Crc:
            return RunCrc(console, options.crcFiles);
        case CommandKind::Apn:
            return RunApn(console, programDir, options.apn);
        case CommandKind::Counter:
            return RunCounter(console, programDir, options.clearCounter);
        case CommandKind::Station:
            return RunStation(console, programDir, options.station);
        case CommandKind::History:
            return RunHistory(console, options.history);
        case CommandKind::None:
            break;
    }
    console.out << HelpText(CommandKind::None) << std::flush;
    return kExitUsage;
}

}  // namespace

int RunKorvane(const Console& console, std::span<const std::string> args)
{
    GuardStandardStreams();
    // Every command writes through these, so that output lost to a closed pipe,
    // a full disk or a closed stream is reported once the command has ended.
    CheckedOutput out(console.out);
    CheckedOutput err(console.err);
    err.Stream().tie(&out.Stream());  // what was said before an error comes first
    const Console checked{out.Stream(), err.Stream(), console.outIsTerminal, console.errIsTerminal,
                          console.terminalWidth};
    return FinishOutput(out, err, RunCommand(checked, args));
}

}  // namespace korvane::cli
