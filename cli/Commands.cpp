// The small commands of `korvane` (ports, crc, counter, apn) and the dispatch
// from the parsed command line to each command.
#include "cli/Commands.h"

#include <chrono>
#include <cstdio>

#include "cli/Flash.h"
#include "cli/Help.h"
#include "cli/Interrupt.h"
#include "firmware/Image.h"
#include "firmware/Qorin_CRC32.h"
#include "maintenance/Apn.h"
#include "serial/PortList.h"
#include "settings/FileBlock.h"
#include "settings/SettingsStore.h"

namespace korvane::cli {
namespace {

constexpr const char* kImageHint = "Images are raw .bin files of at most 1,024,000 bytes";

std::filesystem::path SysDatPath(const std::filesystem::path& programDir)
{
    return programDir / settings::SettingsStore::kFileName;
}

}  // namespace

std::string Sentence(const std::string& text)
{
    if (text.empty() || text.ends_with('.') || text.ends_with('!') || text.ends_with('?')) {
        return text;
    }
    return text + ".";
}

void PrintFailure(const Console& console, const std::string& what, const std::string& hint)
{
    console.err << "korvane: " << Sentence(what);
    if (!hint.empty()) {
        console.err << ' ' << Sentence(hint);
    }
    console.err << std::endl;
}

int RunPorts(const Console& console)
{
    std::vector<serial::PortInfo> ports;
    try {
        ports = serial::ListSerialPorts();
    } catch (const korvane::Error& error) {
        PrintFailure(console, std::string("Could not list the serial ports: ") + error.what(), "");
        return kExitFailed;
    }
    if (ports.empty()) {
        console.out << "No serial ports found. Plug in the radio's USB cable and run this again;"
                       " a device path (e.g. a simulated radio's pty) can be given to"
                       " 'korvane flash --port' directly."
                    << std::endl;
        return kExitSuccess;
    }
    for (const serial::PortInfo& port : ports) {
        char number[16];
        std::snprintf(number, sizeof number, "%3d", port.number);
        console.out << number << "  " << port.device;
        if (!port.description.empty()) {
            console.out << "  " << port.description;
        }
        console.out << '\n';
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
            console.out << firmware::FormatCrcLabel(crc.Compute(image)) << "  " << file.string()
                        << std::endl;
        } catch (const korvane::Error& error) {
            PrintFailure(console, error.what(), kImageHint);
            status = kExitUsage;
        }
    }
    return status;
}

int RunCounter(const Console& console, const std::filesystem::path& programDir, bool clear)
{
    settings::SettingsStore store(SysDatPath(programDir));
    if (clear && !store.Modify([](settings::SysData& data) { data.SetUpgradeCount(0); })) {
        PrintFailure(console, "Could not save the cleared counter to " + store.Path().string(),
                     "Check that the folder is writable and Sys.dat is not read-only");
        return kExitFailed;
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
    console.out << "Running: " << command.displayUpToName << " ..." << std::endl;
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
    if (!result.Succeeded()) {
        PrintFailure(console, maintenance::DescribeEnding(result, "adb"),
                     maintenance::AdbHint(result));
        return result.stopped ? kExitInterrupted : kExitFailed;
    }
    console.out << "APN settings sent." << std::endl;
    return kExitSuccess;
}

int RunKorvane(const Console& console, std::span<const std::string> args)
{
    Options options;
    try {
        options = ParseArguments(args);
    } catch (const UsageError& error) {
        PrintFailure(console, error.what(), HelpHint(error.Command()));
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
    const std::filesystem::path programDir = settings::GetExeDir();
    switch (options.command) {
        case CommandKind::Ports:
            return RunPorts(console);
        case CommandKind::Flash:
            return RunFlash(console, programDir, options.flash);
        case CommandKind::Crc:
            return RunCrc(console, options.crcFiles);
        case CommandKind::Apn:
            return RunApn(console, programDir, options.apn);
        case CommandKind::Counter:
            return RunCounter(console, programDir, options.clearCounter);
        case CommandKind::None:
            break;
    }
    console.out << HelpText(CommandKind::None) << std::flush;
    return kExitUsage;
}

}  // namespace korvane::cli
