// `korvane info`: what chip each radio in its ROM bootloader carries, asked
// of the bootloader without changing anything on the radio.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Options.h"
#include "firmware/ChipQuery.h"

namespace korvane::cli {

// How one radio answered.
struct InfoOutcome {
    std::string port;                                             // as given on the command line
    std::string device;                                           // the device it stands for
    firmware::JobOutcome kind = firmware::JobOutcome::Completed;  // Serial, Stopped or Other
    int exitStatus = kExitSuccess;
    std::string result;  // the kind's word
    std::optional<firmware::ChipReport> chip;
    std::string error;
    std::string hint;
};

// The lines that describe one radio's chip, the first naming the port.
std::string FormatInfoText(const InfoOutcome& outcome);
// One radio's object; for several, {"result", "exit", "radios": [...]}.
std::string FormatInfoJson(const std::vector<InfoOutcome>& outcomes, bool several);
// The most severe status: a signal over a port over a failure over success.
int InfoExitStatus(const std::vector<InfoOutcome>& outcomes);

int RunInfo(const Console& console, const InfoOptions& options);

}  // namespace korvane::cli
