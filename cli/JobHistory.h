// The history line of one radio job, for `korvane flash` and the station alike:
// built from how the job ended, appended to the history file, and never the
// reason a job fails (a history that cannot be written is a warning).
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "cli/FlashReport.h"
#include "firmware/protocol/Pacing.h"
#include "history/History.h"

namespace korvane::cli {

// What the history needs of a job beyond its outcome: when it started, where the
// radio sat and which images it was sent (the names as the user gave them).
struct JobHistoryContext {
    std::chrono::system_clock::time_point started;
    std::string location;       // USB location of the adapter, if known
    std::string adapterSerial;  // the adapter's serial number, if known
    std::string bootImage;      // empty for a user-program upgrade
    std::string userImage;
    firmware::Pacing pacing = firmware::Pacing::Patient;
};

history::Record HistoryRecordOf(const FlashOutcome& outcome, const JobHistoryContext& context);

// korvane-history.csv beside the executable.
std::filesystem::path DefaultHistoryFile();

// Appends `record` to `file`; what went wrong, with its hint, when it could not.
std::optional<std::string> AppendToHistory(const std::filesystem::path& file,
                                           const history::Record& record);

}  // namespace korvane::cli
