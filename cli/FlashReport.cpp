// The end of `korvane flash` in words, in JSON and as a table.
#include "cli/FlashReport.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/Commands.h"
#include "cli/Progress.h"
#include "cli/TextIds.h"
#include "firmware/image/Qorin_CRC32.h"
#include "settings/OwnText.h"
#include "settings/SettingsTexts.h"

namespace korvane::cli {
namespace {

using firmware::JobOutcome;
using firmware::JobStage;
using Json = nlohmann::ordered_json;
using settings::OwnText;

constexpr double kMillisecondsPerSecond = 1000.0;

bool IsRomStage(JobStage stage)
{
    return stage <= JobStage::RomGo;
}

// Seconds to the millisecond, so that the JSON reads "17.234" and not 17 digits.
double RoundedSeconds(double seconds)
{
    return std::isfinite(seconds)
               ? std::round(seconds * kMillisecondsPerSecond) / kMillisecondsPerSecond
               : 0.0;
}

Json Crc(const std::optional<std::uint32_t>& crc)
{
    return crc ? Json(firmware::FormatCrcLabel(*crc)) : Json(nullptr);
}

// {"pid":"0x410","name":...,"bootloader":"2.2","uid":...,"read_protected":false};
// what the bootloader did not tell is null.
Json ChipObject(const std::optional<firmware::ChipIdentity>& chip)
{
    if (!chip) return Json(nullptr);
    Json json;
    json["pid"] = chip->pid ? Json(firmware::PidText(*chip->pid)) : Json(nullptr);
    json["name"] = chip->pid ? Json(firmware::PartName(*chip->pid)) : Json(nullptr);
    json["bootloader"] = chip->bootloaderVersion
                             ? Json(firmware::BootloaderVersionText(*chip->bootloaderVersion))
                             : Json(nullptr);
    json["uid"] = chip->uid ? Json(firmware::UidText(*chip->uid)) : Json(nullptr);
    json["read_protected"] = chip->readProtected ? Json(*chip->readProtected) : Json(nullptr);
    return json;
}

Json RadioObject(const FlashOutcome& outcome)
{
    Json json;
    json["result"] = outcome.result;
    json["exit"] = outcome.exitStatus;
    json["stage"] = outcome.Stage();
    json["status"] = outcome.record.status;
    json["frames"] = outcome.record.framesSent;
    json["blocks"] = outcome.record.blocksSent;
    json["bytes"] = outcome.BytesSent();
    json["seconds"] = RoundedSeconds(outcome.seconds);
    json["boot_crc"] = Crc(outcome.bootCrc);
    json["user_crc"] = Crc(outcome.userCrc);
    json["boot_bytes"] = outcome.bootBytes;
    json["user_bytes"] = outcome.userBytes;
    json["counter"] = outcome.counter ? Json(*outcome.counter) : Json(nullptr);
    json["verified"] = outcome.verified ? Json(*outcome.verified) : Json(nullptr);
    json["chip"] = ChipObject(outcome.record.chip);
    json["error"] = outcome.error;
    std::string warning = outcome.record.warning;
    if (outcome.counterAtLimit) warning += (warning.empty() ? "" : "\n") + CounterAtLimitText();
    json["warning"] = warning;
    return json;
}

// Invalid UTF-8 (a file name, a system message) must not make the dump throw.
std::string Dump(const Json& json)
{
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string Pad(const std::string& text, std::size_t width)
{
    // Columns are counted in bytes: ports, stages and results are ASCII.
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

}  // namespace

std::string SignalName(StopSignal signal)
{
    switch (signal) {
        case StopSignal::Terminate:
            return "SIGTERM";
        case StopSignal::HangUp:
            return "SIGHUP";
        case StopSignal::Interrupt:
        case StopSignal::None:
            break;
    }
    return "Ctrl-C";
}

FlashOutcome ClassifyEnd(const firmware::JobResult& result, StopSignal stop, FlashOutcome outcome)
{
    const firmware::JobRecord& record = result.record;
    outcome.record = record;
    outcome.counter = record.counter;
    outcome.verified = result.verified;
    if (result.bootCrc) outcome.bootCrc = result.bootCrc;
    if (result.userCrc) outcome.userCrc = result.userCrc;
    if (result.bootBytes > 0) outcome.bootBytes = result.bootBytes;
    if (result.userBytes > 0) outcome.userBytes = result.userBytes;
    outcome.kind = result.outcome;
    outcome.result = std::string(ResultWord(result.outcome));
    outcome.exitStatus = ExitStatusOf(result.outcome, stop);
    if (result.outcome == JobOutcome::Completed) {
        outcome.error.clear();
        outcome.hint.clear();
        return outcome;
    }
    outcome.error = result.message;
    // One hint per failure. A refusal or an unknown failure gets what the
    // failure itself says to check, then how to retry; a lost port or a stop
    // already says what to do in the job's own hint.
    outcome.hint = FailureHint(result.outcome, record.stage);
    if (!result.hint.empty()) {
        const bool ownHintSuffices = result.outcome == JobOutcome::Serial ||
                                     result.outcome == JobOutcome::Stopped ||
                                     result.outcome == JobOutcome::Image;
        outcome.hint =
            ownHintSuffices ? Sentence(result.hint) : Sentence(result.hint) + " " + outcome.hint;
    }
    return outcome;
}

std::string FailureHint(JobOutcome kind, JobStage stage)
{
    if (kind == JobOutcome::Refused) {
        return IsRomStage(stage)
                   ? OwnText(kTextHintRefusedRom,
                             "To retry, restart the radio in its STM32 bootloader and run the "
                             "same command again")
                   : OwnText(kTextHintRefusedLoader,
                             "To retry, restart the radio so that its loader runs, or run a full "
                             "upgrade with --boot");
    }
    if (kind == JobOutcome::Serial) {
        return OwnText(kTextHintPortLost, "Run the upgrade again once the radio is connected");
    }
    if (kind == JobOutcome::Image) {
        return OwnText(kTextImageHint, "Images are raw .bin files of at most 1,024,000 bytes");
    }
    if (kind == JobOutcome::Stopped) {
        return OwnText(kTextHintStopped,
                       "The radio may hold a partly written image: run the upgrade again");
    }
    return OwnText(kTextHintOther,
                   "Run the upgrade again; if it fails again, keep this message for the service "
                   "team");
}

std::string FailureLine(const FlashOutcome& outcome, StopSignal stop)
{
    if (outcome.kind == JobOutcome::Stopped) {
        return OwnText(kTextStopped, "Stopped by {0} at stage {1}; the port is closed",
                       {SignalName(stop), outcome.Stage()});
    }
    if (outcome.record.stage == JobStage::NotStarted && !outcome.error.empty()) {
        return outcome.error;  // an image or the port, before the radio was touched
    }
    const std::string error =
        outcome.error.empty() ? OwnText(kTextNoReason, "no reason was given") : outcome.error;
    return outcome.kind == JobOutcome::Serial
               ? OwnText(kTextPortLostAt, "The port was lost at stage {0}: {1}",
                         {outcome.Stage(), error})
               : OwnText(kTextFailedAt, "The upgrade failed at stage {0}: {1}",
                         {outcome.Stage(), error});
}

std::string CompletedLine(const FlashOutcome& outcome)
{
    const std::string boot =
        outcome.bootCrc
            ? OwnText(kTextCompletedBoot, "boot image {0} ({1}), ",
                      {FormatBytes(outcome.bootBytes), firmware::FormatCrcLabel(*outcome.bootCrc)})
            : std::string();
    const std::string userCrc =
        outcome.userCrc ? firmware::FormatCrcLabel(*outcome.userCrc) : std::string();
    std::string line =
        OwnText(kTextCompleted,
                "Upgrade completed in {0}: {1}user program {2} in {3} blocks ({4}). Counter: {5}",
                {FormatDuration(outcome.seconds), boot, FormatBytes(outcome.userBytes),
                 std::to_string(outcome.record.blocksSent), userCrc, CounterText(outcome.counter)});
    // Further sentences follow the counter's: it gets its full stop first.
    if (outcome.verified.value_or(false)) {
        line = Sentence(line) + " " +
               OwnText(kTextVerified, "The boot image was read back and matches.");
    }
    if (outcome.counterAtLimit) line = Sentence(line) + " " + Sentence(CounterAtLimitText());
    return line;
}

std::string CounterAtLimitText()
{
    return OwnText(kTextCounterAtLimit,
                   "The upgrade counter stands at its limit, 2147483647, and could not count "
                   "every upgrade; 'korvane counter --clear' sets it back to 0");
}

std::string ChipStatusLine(const firmware::ChipIdentity& chip)
{
    std::string line;
    const auto add = [&line](const std::string& part) {
        line += (line.empty() ? "" : ", ") + part;
    };
    if (chip.pid) add(firmware::PartName(*chip.pid) + " (" + firmware::PidText(*chip.pid) + ")");
    if (chip.bootloaderVersion) {
        add(OwnText(kTextChipBootloader, "bootloader {0}",
                    {firmware::BootloaderVersionText(*chip.bootloaderVersion)}));
    }
    if (chip.uid) add(OwnText(kTextChipUid, "uid {0}", {firmware::UidText(*chip.uid)}));
    return OwnText(kTextChipLine, "chip: {0}", {line});
}

int MostSevere(const std::vector<FlashOutcome>& outcomes)
{
    int worst = kExitSuccess;
    for (const FlashOutcome& outcome : outcomes) worst = MoreSevere(worst, outcome.exitStatus);
    return worst;
}

std::string FormatFlashJson(const FlashOutcome& outcome)
{
    return Dump(RadioObject(outcome));
}

std::string FormatFlashJson(const std::vector<FlashOutcome>& outcomes, double seconds,
                            std::optional<std::int32_t> counter)
{
    Json radios = Json::array();
    std::int64_t bytes = 0;
    int succeeded = 0;
    for (const FlashOutcome& outcome : outcomes) {
        Json radio;
        radio["port"] = outcome.port;
        radio["device"] = outcome.device;
        radio.update(RadioObject(outcome));
        radios.push_back(std::move(radio));
        bytes += outcome.BytesSent();
        succeeded += outcome.exitStatus == kExitSuccess ? 1 : 0;
    }
    // A run without radios (`--port all` found none) upgraded nothing: a port failure.
    const int exit = outcomes.empty() ? kExitPort : MostSevere(outcomes);
    Json json;
    json["result"] = ResultWord(exit == kExitSuccess ? JobOutcome::Completed : JobOutcome::Other);
    json["exit"] = exit;
    json["radios"] = std::move(radios);
    json["totals"] = Json{{"radios", outcomes.size()},
                          {"succeeded", succeeded},
                          {"failed", static_cast<int>(outcomes.size()) - succeeded},
                          {"bytes", bytes},
                          {"seconds", RoundedSeconds(seconds)},
                          {"counter", counter ? Json(*counter) : Json(nullptr)}};
    return Dump(json);
}

std::string CounterText(std::optional<std::int32_t> counter)
{
    return counter ? std::to_string(*counter) : settings::UnknownCountText();
}

std::string FormatSummaryTable(const std::vector<FlashOutcome>& outcomes,
                               std::optional<std::int32_t> counter)
{
    std::size_t portWidth = 4;
    std::size_t stageWidth = 5;
    bool atLimit = false;
    for (const FlashOutcome& outcome : outcomes) {
        portWidth = std::max(portWidth, EscapeControls(outcome.port).size());
        atLimit = atLimit || outcome.counterAtLimit;
        stageWidth = std::max(stageWidth, outcome.Stage().size());
    }
    constexpr std::size_t kResultWidth = 11;
    constexpr std::size_t kBlocksWidth = 7;
    constexpr std::size_t kUidWidth = 2 * firmware::kUidSize + 2;
    const auto uid = [](const FlashOutcome& outcome) {
        return outcome.record.chip && outcome.record.chip->uid
                   ? firmware::UidText(*outcome.record.chip->uid)
                   : std::string("-");
    };
    std::ostringstream table;
    table << Pad("Port", portWidth) << "  " << Pad("Result", kResultWidth)
          << Pad("Stage", stageWidth) << "  " << Pad("Blocks", kBlocksWidth)
          << Pad("Uid", kUidWidth) << "Time\n";
    std::string failed;
    int succeeded = 0;
    for (const FlashOutcome& outcome : outcomes) {
        const std::string port = EscapeControls(outcome.port);
        table << Pad(port, portWidth) << "  " << Pad(outcome.result, kResultWidth)
              << Pad(outcome.Stage(), stageWidth) << "  "
              << Pad(std::to_string(outcome.record.blocksSent), kBlocksWidth)
              << Pad(uid(outcome), kUidWidth) << FormatDuration(outcome.seconds) << '\n';
        if (outcome.exitStatus == kExitSuccess) {
            ++succeeded;
        } else {
            failed += (failed.empty() ? "" : "; ") + port + " " +
                      OwnText(kTextFailedWhere, "({0} at {1})", {outcome.result, outcome.Stage()});
        }
    }
    const std::string count = std::to_string(succeeded) + "/" + std::to_string(outcomes.size());
    table << (failed.empty()
                  ? OwnText(kTextAllSucceeded, "{0} radios upgraded. Counter: {1}",
                            {count, CounterText(counter)})
                  : OwnText(kTextSomeFailed, "{0} radios upgraded; failed: {1}. Counter: {2}",
                            {count, failed, CounterText(counter)}));
    if (atLimit) table << " " << Sentence(CounterAtLimitText());
    table << '\n';
    return table.str();
}

}  // namespace korvane::cli
