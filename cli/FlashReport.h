// How `korvane flash` reports the end of its jobs: each radio's outcome (exit
// status, result word, counts, CRCs), the one failure line and its hint, the
// JSON object (one radio, or several with totals) and the summary table.
// Pure formatting, so it can be tested without a radio.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/Interrupt.h"
#include "cli/Options.h"
#include "firmware/JobObserver.h"

namespace korvane::cli {

// "Ctrl-C", "SIGTERM", "SIGHUP".
std::string SignalName(StopSignal signal);

// Everything the end of one radio's job reports, on screen or as JSON.
struct FlashOutcome {
    std::string port;                                             // as given on the command line
    std::string device;                                           // the device it stands for
    firmware::JobOutcome kind = firmware::JobOutcome::Completed;  // how the job ended
    int exitStatus = kExitSuccess;
    std::string result;  // the kind's word (ResultWord); the station's pulled port is "port-lost"
    std::string error;   // what went wrong, empty on success
    std::string hint;    // what to try, empty on success
    // The job's record: the furthest stage reached, its last status line, the
    // chip as the ROM bootloader named it (both as they come while it runs),
    // the frames, blocks and bytes delivered, whether it counted; its warning
    // gathers the front end's too (e.g. Sys.dat could not be read).
    firmware::JobRecord record;
    double seconds = 0.0;
    std::optional<std::uint32_t> bootCrc;
    std::optional<std::uint32_t> userCrc;
    std::int64_t bootBytes = 0;
    std::int64_t userBytes = 0;
    std::optional<std::int32_t> counter = 0;  // empty: Sys.dat could not be read
    bool counterAtLimit = false;   // counted while the counter stood at its limit: count dropped
    std::optional<bool> verified;  // the boot image read back as sent; empty: not read back

    // Image bytes in acknowledged frames and accepted blocks.
    std::int64_t BytesSent() const { return record.bootBytesSent + record.userBytesSent; }
    std::string Stage() const { return firmware::StageName(record.stage); }
};

// "chip: STM32F10x medium density (0x410), bootloader 2.2, uid ...", once the
// radio's bootloader has answered.
std::string ChipStatusLine(const firmware::ChipIdentity& chip);

// Fills in how a job ended (exit status, result word, stage, counts, message,
// hint, warning) on top of what `outcome` already holds about port and images.
// `stop` is the signal that asked the job to stop, if one did.
FlashOutcome ClassifyEnd(const firmware::JobResult& result, StopSignal stop,
                         FlashOutcome outcome = {});

// The hint for a failed job: what to check, by what failed and where.
std::string FailureHint(firmware::JobOutcome kind, firmware::JobStage stage);

// The one line that says why a radio's job failed (without "korvane: ").
std::string FailureLine(const FlashOutcome& outcome, StopSignal stop);

// "Upgrade completed in 0:17: boot image ..., user program ... Counter: 5"
std::string CompletedLine(const FlashOutcome& outcome);

// What the closing line and the JSON say of a counter that took no more counts.
std::string CounterAtLimitText();

// The most severe of several exit statuses: a stop by signal over a lost port
// over an unusable image over a refusal over success.
int MostSevere(const std::vector<FlashOutcome>& outcomes);

// The JSON object of --json for one radio, on one line.
std::string FormatFlashJson(const FlashOutcome& outcome);
// For several radios: {"result":..., "exit":..., "radios":[...], "totals":{...}}.
std::string FormatFlashJson(const std::vector<FlashOutcome>& outcomes, double seconds,
                            std::optional<std::int32_t> counter);

// The table at the end of a run on several radios, one row per radio, then one
// line naming the radios that failed and why.
std::string FormatSummaryTable(const std::vector<FlashOutcome>& outcomes,
                               std::optional<std::int32_t> counter);

// A counter as the closing lines show it: the number, or "unknown".
std::string CounterText(std::optional<std::int32_t> counter);

}  // namespace korvane::cli
