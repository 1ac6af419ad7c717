// Runs a driver row's Linux script with /bin/sh from an argument vector, so no
// shell parses the path, and reports how it ended.
#include "maintenance/DriverInstall.h"
#include "maintenance/TextEncoding.h"
#include "settings/OwnText.h"

namespace korvane::maintenance {

std::filesystem::path DriverScriptPath(const std::filesystem::path& exeDir, const DriverRow& row)
{
    // The argument vector names the same file.
    return base::Utf8ToPath(BuildLinuxDriverArgv(exeDir, row).back());
}

ProcessResult RunDriverScript(const std::filesystem::path& exeDir, const DriverRow& row,
                              const RunLimits& limits)
{
    const std::filesystem::path script = DriverScriptPath(exeDir, row);
    std::error_code error;
    if (!std::filesystem::is_regular_file(script, error)) {
        // The shell would say "can't open"; this says which file is missing.
        ProcessResult result;
        result.startError =
            settings::OwnText(settings::kOwnTextMaintenance + 10,
                              "the driver script {0} does not exist", {base::PathToUtf8(script)});
        return result;
    }
    // The script's own folder is its working directory, so whatever it ships
    // beside itself is found by a relative name.
    return RunProcess(BuildLinuxDriverArgv(exeDir, row), script.parent_path(), true, limits);
}

}  // namespace korvane::maintenance
