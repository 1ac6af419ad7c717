// Runs a driver row's batch script through the command processor and reports
// how it ended, with the script's own words, which the technician needs to put
// a failure right (no driver file placed, no administrator rights, ...).
#include "maintenance/DriverInstall.h"
#include "maintenance/TextEncoding.h"
#include "settings/OwnText.h"

namespace korvane::maintenance {

namespace {
constexpr std::string_view kBatchExtension = ".bat";
}

std::filesystem::path DriverScriptPath(const std::filesystem::path& exeDir, const DriverRow& row)
{
    return exeDir / base::Utf8ToPath(row.folder) /
           base::Utf8ToPath(std::string(row.scriptStem) + std::string(kBatchExtension));
}

ProcessResult RunDriverScript(const std::filesystem::path& exeDir, const DriverRow& row,
                              const RunLimits& limits)
{
    const std::filesystem::path script = DriverScriptPath(exeDir, row);
    std::error_code error;
    if (!std::filesystem::is_regular_file(script, error)) {
        ProcessResult result;
        result.startError =
            settings::OwnText(settings::kOwnTextMaintenance + 10,
                              "the driver script {0} does not exist", {base::PathToUtf8(script)});
        return result;
    }
    return RunCommandLine(BuildWindowsDriverCommand(exeDir.wstring(), row), limits, true);
}

}  // namespace korvane::maintenance
