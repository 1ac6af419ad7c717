// Runs a driver row's batch script through the command processor and reports
// how it ended, with the script's own words, which the technician needs to put
// a failure right (no driver file placed, no administrator rights, ...).
#include "maintenance/DriverInstall.h"
#include "maintenance/TextEncoding.h"

namespace korvane::maintenance {

namespace {
constexpr std::string_view kBatchExtension = ".bat";
}

std::filesystem::path DriverScriptPath(const std::filesystem::path& exeDir, const DriverRow& row)
{
    return exeDir / Utf8ToPath(row.folder) /
           Utf8ToPath(std::string(row.scriptStem) + std::string(kBatchExtension));
}

ProcessResult RunDriverScript(const std::filesystem::path& exeDir, const DriverRow& row)
{
    const std::filesystem::path script = DriverScriptPath(exeDir, row);
    std::error_code error;
    if (!std::filesystem::is_regular_file(script, error)) {
        ProcessResult result;
        result.startError = "the driver script " + PathToUtf8(script) + " does not exist";
        return result;
    }
    return RunCommandLine(BuildWindowsDriverCommand(exeDir.wstring(), row), true);
}

}  // namespace korvane::maintenance
