// Runs a driver row's batch script through the command processor, which shows
// the script's output in its console window, and reports how it ended.
#include "maintenance/DriverInstall.h"
#include "maintenance/TextEncoding.h"

namespace korvane::maintenance {

namespace {
constexpr std::string_view kBatchExtension = ".bat";
}

ProcessResult RunDriverScript(const std::filesystem::path& exeDir, const DriverRow& row)
{
    const std::filesystem::path script =
        exeDir / Utf8ToPath(row.folder) /
        Utf8ToPath(std::string(row.scriptStem) + std::string(kBatchExtension));
    std::error_code error;
    if (!std::filesystem::is_regular_file(script, error)) {
        ProcessResult result;
        result.startError = "the driver script " + PathToUtf8(script) + " does not exist";
        return result;
    }
    return RunCommandLine(BuildWindowsDriverCommand(exeDir.wstring(), row));
}

}  // namespace korvane::maintenance
