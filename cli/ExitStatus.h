// How `korvane` ends, in one table: every exit status with its rank among
// several radios and its meaning as the help lists it, and every way a radio's
// job ends with its result word (the JSON's "result", the table, the history)
// and its exit status.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "cli/Interrupt.h"
#include "cli/TextIds.h"
#include "firmware/JobObserver.h"

namespace korvane::cli {

// Exit statuses, the same for every command.
constexpr int kExitSuccess = 0;
constexpr int kExitFailed = 1;        // the radio refused or did not answer; a job that failed
constexpr int kExitUsage = 2;         // bad arguments, or an image or file that cannot be used
constexpr int kExitPort = 3;          // the port cannot be opened or was lost
constexpr int kExitOutput = 4;        // the output could not be written; the command ran to its end
constexpr int kExitSignalBase = 128;  // stopped by a signal: 128 + its number
constexpr int kExitInterrupted = 130;  // stopped with Ctrl-C (128 + SIGINT)

struct ExitStatusRow {
    int status;
    int rank;             // among several radios the status of the highest rank is the command's
    HelpWording meaning;  // as the help lists it
};

// Every status `korvane` exits with, in the order the help lists them.
std::span<const ExitStatusRow> ExitStatusTable();

// The rank of `status`; one the table does not know ranks as a failure.
int Severity(int status);
// `current` or `next`, whichever is more severe (`current` when they rank alike).
int MoreSevere(int current, int next);

// The status of a command stopped by `signal`: 128 + its number.
int ExitStatusOf(StopSignal signal);

// The word for a job that ended with `outcome`.
std::string_view ResultWord(firmware::JobOutcome outcome);
// Its exit status; a stopped job's is that of the signal that stopped it.
int ExitStatusOf(firmware::JobOutcome outcome, StopSignal stop);

}  // namespace korvane::cli
