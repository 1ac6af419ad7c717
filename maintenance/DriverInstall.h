// Driver installation: the four driver rows (two radio models, two word sizes),
// the command that runs each row's script, and running it.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "maintenance/Process.h"

namespace korvane::maintenance {

struct DriverRow {
    int controlId;                    // 1038 .. 1041
    std::string_view question;        // asked before anything runs
    std::string_view folder;          // sub-folder beside the executable, e.g. "QX-8 32bit"
    std::string_view scriptStem;      // file name without extension, e.g. "QX-8 32bit"
    std::string_view successMessage;  // shown when the script exited with status 0
    std::string_view failureMessage;  // shown when declined or the script failed
};

extern const std::array<DriverRow, 4> kDriverRows;
// The row of a driver button, or nullptr.
const DriverRow* FindDriverRow(int controlId);

inline constexpr std::string_view kPromptCaption = "Prompt";

// Windows command text: a double quote, the directory, "\folder\stem.bat", a double quote.
std::wstring BuildWindowsDriverCommand(const std::wstring& exeDir, const DriverRow& row);
// The script of a row for this platform: <exeDir>/<folder>/<stem>.sh on Linux,
// .bat on Windows.
std::filesystem::path DriverScriptPath(const std::filesystem::path& exeDir, const DriverRow& row);
// Linux: {"/bin/sh", "<exeDir>/<folder>/<stem>.sh"}.
std::vector<std::string> BuildLinuxDriverArgv(const std::filesystem::path& exeDir,
                                              const DriverRow& row);

// Runs the row's script for this platform and waits; Succeeded() only when it
// ran and exited with status 0. Linux: /bin/sh runs the .sh script in its own
// folder, its output captured; a missing script is started == false with the
// reason. Windows: the command processor runs the quoted .bat command in its
// console window.
// `limits` can end a script that must not run on (the window closing).
ProcessResult RunDriverScript(const std::filesystem::path& exeDir, const DriverRow& row,
                              const RunLimits& limits = {});

}  // namespace korvane::maintenance
