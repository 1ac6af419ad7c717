#include "cli/ExitStatus.h"

#include <algorithm>
#include <array>

#include "cli/TextIds.h"

namespace korvane::cli {
namespace {

using firmware::JobOutcome;

constexpr int kSignalHangUp = 1;
constexpr int kSignalInterrupt = 2;
constexpr int kSignalTerminate = 15;

// A stop outranks a lost port, which outranks unusable input, which outranks a
// refusal: the status says the worst that happened to any radio.
constexpr std::array kExitStatuses{
    ExitStatusRow{kExitSuccess, 0, Wording(kTextHelpExitSuccess, "success")},
    ExitStatusRow{
        kExitFailed, 1,
        Wording(kTextHelpExitFailed, "the radio refused or did not answer, or the job failed")},
    ExitStatusRow{
        kExitUsage, 2,
        Wording(kTextHelpExitUsage, "bad arguments, or an image or file that cannot be used")},
    ExitStatusRow{kExitPort, 3,
                  Wording(kTextHelpExitPort, "the port cannot be opened or was lost")},
    ExitStatusRow{kExitOutput, 1,
                  Wording(kTextHelpExitOutput,
                          "the output could not be written; the command ran to its end")},
    ExitStatusRow{kExitSignalBase + kSignalHangUp, 4,
                  Wording(kTextHelpExitHangUp, "stopped by SIGHUP (the terminal closed)")},
    ExitStatusRow{kExitSignalBase + kSignalInterrupt, 4,
                  Wording(kTextHelpExitInterrupt, "stopped with Ctrl-C")},
    ExitStatusRow{kExitSignalBase + kSignalTerminate, 4,
                  Wording(kTextHelpExitTerminate, "stopped by SIGTERM")},
};

struct OutcomeRow {
    JobOutcome outcome;
    std::string_view word;
    int exitStatus;  // a stop's comes from its signal
};

constexpr std::array kOutcomes{
    OutcomeRow{JobOutcome::Completed, "success", kExitSuccess},
    OutcomeRow{JobOutcome::Refused, "refused", kExitFailed},
    OutcomeRow{JobOutcome::Image, "image", kExitUsage},
    OutcomeRow{JobOutcome::Serial, "port", kExitPort},
    OutcomeRow{JobOutcome::Stopped, "interrupted", kExitInterrupted},
    OutcomeRow{JobOutcome::Other, "failed", kExitFailed},
};

const OutcomeRow& RowOf(JobOutcome outcome)
{
    const auto* row = std::find_if(kOutcomes.begin(), kOutcomes.end(),
                                   [outcome](const OutcomeRow& r) { return r.outcome == outcome; });
    return row != kOutcomes.end() ? *row : kOutcomes.back();
}

}  // namespace

std::span<const ExitStatusRow> ExitStatusTable()
{
    return kExitStatuses;
}

int Severity(int status)
{
    for (const ExitStatusRow& row : kExitStatuses) {
        if (row.status == status) return row.rank;
    }
    return status >= kExitSignalBase ? kExitStatuses.back().rank : 1;
}

int MoreSevere(int current, int next)
{
    return Severity(next) > Severity(current) ? next : current;
}

int ExitStatusOf(StopSignal signal)
{
    switch (signal) {
        case StopSignal::Terminate:
            return kExitSignalBase + kSignalTerminate;
        case StopSignal::HangUp:
            return kExitSignalBase + kSignalHangUp;
        case StopSignal::Interrupt:
        case StopSignal::None:
            break;
    }
    return kExitSignalBase + kSignalInterrupt;
}

std::string_view ResultWord(JobOutcome outcome)
{
    return RowOf(outcome).word;
}

int ExitStatusOf(JobOutcome outcome, StopSignal stop)
{
    return outcome == JobOutcome::Stopped ? ExitStatusOf(stop) : RowOf(outcome).exitStatus;
}

}  // namespace korvane::cli
