// `korvane info`: opens each port as a download does, asks each radio's
// bootloader on a thread of its own (all at once), and prints the answers.
#include "cli/Info.h"

#include <atomic>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/FlashReport.h"
#include "cli/Interrupt.h"
#include "cli/TextIds.h"
#include "firmware/protocol/Stm32Bootloader.h"
#include "serial/ByteExchange.h"
#include "serial/CMscomm.h"
#include "serial/DownloadPort.h"
#include "serial/PortList.h"
#include "serial/SerialError.h"
#include "settings/OwnText.h"

namespace korvane::cli {
namespace {

using firmware::JobOutcome;
using Json = nlohmann::ordered_json;
using settings::OwnText;

constexpr std::chrono::milliseconds kWatchInterval{100};

std::string CommandList(const std::vector<std::uint8_t>& commands)
{
    std::string list;
    for (std::uint8_t command : commands) {
        list += (list.empty() ? "" : " ") + firmware::HexByte(command).substr(2);
    }
    return list;
}

Json ChipObject(const firmware::ChipReport& chip)
{
    const firmware::ChipIdentity& id = chip.identity;
    Json json;
    json["pid"] = id.pid ? Json(firmware::PidText(*id.pid)) : Json(nullptr);
    json["name"] = id.pid ? Json(firmware::PartName(*id.pid)) : Json(nullptr);
    json["bootloader"] = id.bootloaderVersion
                             ? Json(firmware::BootloaderVersionText(*id.bootloaderVersion))
                             : Json(nullptr);
    Json commands = chip.commands ? Json::array() : Json(nullptr);
    for (std::uint8_t command : chip.commands.value_or(std::vector<std::uint8_t>{})) {
        commands.push_back(firmware::HexByte(command));
    }
    json["commands"] = std::move(commands);
    json["read_protected"] = id.readProtected ? Json(*id.readProtected) : Json(nullptr);
    json["flash_kib"] = chip.flashKiB ? Json(*chip.flashKiB) : Json(nullptr);
    json["uid"] = id.uid ? Json(firmware::UidText(*id.uid)) : Json(nullptr);
    json["served"] = chip.served;
    return json;
}

Json RadioObject(const InfoOutcome& outcome)
{
    Json json;
    json["port"] = outcome.port;
    json["device"] = outcome.device;
    json["result"] = outcome.result;
    json["exit"] = outcome.exitStatus;
    json["chip"] = outcome.chip ? ChipObject(*outcome.chip) : Json(nullptr);
    json["error"] = outcome.error;
    return json;
}

std::string Dump(const Json& json)
{
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// One radio: its port, opened for a download, and the thread that asks it.
struct InfoRadio {
    serial::CMscomm port;
    serial::StoppableSleeper sleeper;
    std::atomic<bool> done{false};
    std::thread thread;
};

// Info ends in success, a lost port, a stop, or a failure of any other kind.
void SetEnd(InfoOutcome& outcome, firmware::JobOutcome kind)
{
    if (kind != JobOutcome::Completed && kind != JobOutcome::Serial &&
        kind != JobOutcome::Stopped) {
        kind = JobOutcome::Other;
    }
    outcome.kind = kind;
    outcome.result = std::string(ResultWord(kind));
    outcome.exitStatus = ExitStatusOf(kind, StopSignal::None);
}

void Ask(InfoRadio& radio, InfoOutcome& outcome)
{
    serial::ByteExchange exchange(radio.port.Port(), radio.sleeper);
    try {
        outcome.chip = firmware::QueryChip(exchange);
        SetEnd(outcome, JobOutcome::Completed);
    } catch (const korvane::Error& error) {
        SetEnd(outcome, firmware::OutcomeOf(error.Kind()));
        if (outcome.kind != JobOutcome::Stopped) {
            outcome.error = error.what();
            outcome.hint = error.Hint();
        }
    } catch (const std::exception& error) {
        SetEnd(outcome, JobOutcome::Other);
        outcome.error = OwnText(kTextUnexpectedFailure, "Unexpected failure: {0}", {error.what()});
    }
    radio.done = true;
}

std::vector<std::string> PortsOf(const InfoOptions& options,
                                 const std::vector<serial::PortInfo>& listed)
{
    std::vector<std::string> ports;
    for (const std::string& port : options.ports) {
        if (port != kAllPorts) {
            ports.push_back(port);
            continue;
        }
        for (const serial::PortInfo& info : listed) ports.push_back(info.device);
    }
    return ports;
}

}  // namespace

std::string FormatInfoText(const InfoOutcome& outcome)
{
    if (!outcome.chip) return {};
    const firmware::ChipReport& chip = *outcome.chip;
    const firmware::ChipIdentity& id = chip.identity;
    const std::string unknown = OwnText(kTextInfoUnknown, "unknown");
    std::string text =
        OwnText(kTextInfoPart, "{0}: {1} ({2}), bootloader {3}",
                {outcome.port, id.pid ? firmware::PartName(*id.pid) : unknown,
                 id.pid ? firmware::PidText(*id.pid) : unknown,
                 id.bootloaderVersion ? firmware::BootloaderVersionText(*id.bootloaderVersion)
                                      : unknown}) +
        "\n";
    text += "  " +
            OwnText(kTextInfoCommands, "commands offered: {0}",
                    {chip.commands ? CommandList(*chip.commands) : unknown}) +
            "\n";
    const std::string protection = !id.readProtected ? unknown
                                   : *id.readProtected
                                       ? OwnText(kTextInfoProtected, "on (Read Memory is refused)")
                                       : OwnText(kTextInfoNotProtected, "off");
    text += "  " + OwnText(kTextInfoProtection, "read protection: {0}", {protection}) + "\n";
    text += "  " +
            OwnText(kTextInfoFlashSize, "flash: {0}",
                    {chip.flashKiB ? std::to_string(*chip.flashKiB) + " KiB" : unknown}) +
            "\n";
    text +=
        "  " +
        OwnText(kTextInfoUid, "unique id: {0}", {id.uid ? firmware::UidText(*id.uid) : unknown}) +
        "\n";
    if (!chip.served) {
        text += "  " +
                OwnText(kTextInfoNotServed,
                        "'korvane flash' does not serve this part: it serves the STM32F1 family "
                        "and its compatible parts") +
                "\n";
    }
    return text;
}

std::string FormatInfoJson(const std::vector<InfoOutcome>& outcomes, bool several)
{
    if (!several && outcomes.size() == 1) return Dump(RadioObject(outcomes.front()));
    Json radios = Json::array();
    for (const InfoOutcome& outcome : outcomes) radios.push_back(RadioObject(outcome));
    const int exit = InfoExitStatus(outcomes);
    Json json;
    json["result"] = ResultWord(exit == kExitSuccess ? JobOutcome::Completed : JobOutcome::Other);
    json["exit"] = exit;
    json["radios"] = std::move(radios);
    return Dump(json);
}

int InfoExitStatus(const std::vector<InfoOutcome>& outcomes)
{
    int worst = kExitSuccess;
    for (const InfoOutcome& outcome : outcomes) worst = MoreSevere(worst, outcome.exitStatus);
    return worst;
}

int RunInfo(const Console& console, const InfoOptions& options)
{
    const bool several = options.ports.size() > 1 || options.ports.front() == kAllPorts;
    std::vector<serial::PortInfo> listed;
    try {
        listed = serial::ListSerialPorts();
    } catch (const korvane::Error&) {
        // Without the list, ports can still be named by their device paths.
    }
    const std::vector<std::string> ports = PortsOf(options, listed);
    if (ports.empty()) {
        PrintFailure(
            console,
            OwnText(kTextNoPortsForAll, "--port all found no serial port on this computer"),
            OwnText(kTextHintListPorts, "'korvane ports' lists the ports this computer has"));
        return kExitPort;
    }

    std::vector<InfoOutcome> outcomes(ports.size());
    StopSignal stop = StopSignal::None;
    {
        // Before any thread exists: the threads inherit the blocked signals.
        InterruptWatch interrupts;
        std::vector<std::unique_ptr<InfoRadio>> radios;
        for (std::size_t i = 0; i < ports.size(); ++i) {
            InfoOutcome& outcome = outcomes[i];
            outcome.port = ports[i];
            radios.push_back(std::make_unique<InfoRadio>());
            InfoRadio& radio = *radios.back();
            try {
                outcome.device = serial::ResolvePortName(outcome.port, listed);
                serial::OpenPortForDownload(radio.port, outcome.device);
            } catch (const korvane::Error& error) {
                SetEnd(outcome, JobOutcome::Serial);
                outcome.error = error.what();
                outcome.hint = error.Hint().empty()
                                   ? OwnText(kTextHintListPorts,
                                             "'korvane ports' lists the ports this computer has")
                                   : error.Hint();
                radio.done = true;
                continue;
            }
            radio.thread = std::thread(Ask, std::ref(radio), std::ref(outcome));
        }
        const auto running = [&radios] {
            for (const auto& radio : radios) {
                if (!radio->done) return true;
            }
            return false;
        };
        while (running()) {
            if (interrupts.Wait(kWatchInterval)) {
                for (const auto& radio : radios) radio->sleeper.RequestStop();
            }
        }
        for (const auto& radio : radios) {
            if (radio->thread.joinable()) radio->thread.join();
            try {
                if (radio->port.GetPortOpen()) radio->port.SetPortOpen(false);
            } catch (const korvane::Error&) {
                // A port that was lost is closed already; nothing more to release.
            }
        }
        stop = interrupts.First();
    }
    for (InfoOutcome& outcome : outcomes) {
        if (outcome.kind == JobOutcome::Stopped) {
            outcome.exitStatus = ExitStatusOf(stop);
            outcome.error = OwnText(kTextInfoStopped, "stopped by {0}", {SignalName(stop)});
        }
    }

    for (const InfoOutcome& outcome : outcomes) {
        if (outcome.exitStatus == kExitSuccess) {
            if (!options.json) console.out << FormatInfoText(outcome);
            continue;
        }
        PrintFailure(console, outcome.port + ": " + outcome.error, outcome.hint);
    }
    if (options.json) console.out << FormatInfoJson(outcomes, several) << '\n';
    console.out.flush();
    return InfoExitStatus(outcomes);
}

}  // namespace korvane::cli
