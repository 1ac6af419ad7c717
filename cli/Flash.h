// `korvane flash`: one firmware download job run by the same DownloadJob as the
// dialog, on a port opened with the dialog's settings, watched from the terminal.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "cli/Commands.h"
#include "cli/Options.h"
#include "firmware/JobReport.h"

namespace korvane::cli {

// Everything the end of a flash run reports, on screen or as JSON.
struct FlashOutcome {
    int exitStatus = kExitSuccess;
    std::string result;   // "success", "refused", "image", "port", "interrupted", "failed"
    std::string stage;    // the furthest stage reached (StageName)
    std::string status;   // the job's last status line
    std::string error;    // what went wrong, empty on success
    std::string warning;  // e.g. the counter could not be saved; empty when none
    std::int32_t frames = 0;
    std::int32_t blocks = 0;
    std::int64_t bytes = 0;
    double seconds = 0.0;
    std::optional<std::uint32_t> bootCrc;
    std::optional<std::uint32_t> userCrc;
    std::int64_t bootBytes = 0;
    std::int64_t userBytes = 0;
    std::int32_t counter = 0;
};

// Fills in how a job ended (exit status, result word, stage, counts) on top of
// what `outcome` already holds about the images.
FlashOutcome ClassifyEnd(const firmware::JobDetails& details, bool interrupted,
                         FlashOutcome outcome = {});

// The one-line JSON object of --json.
std::string FormatFlashJson(const FlashOutcome& outcome);

// The hint for a failed job: what to check, by what failed and where.
std::string FailureHint(const FlashOutcome& outcome, firmware::JobStage stage);

int RunFlash(const Console& console, const std::filesystem::path& programDir,
             const FlashOptions& options);

}  // namespace korvane::cli
