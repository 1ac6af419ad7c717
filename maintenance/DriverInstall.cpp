// The four driver rows and the command that runs a row's script on each platform.
#include "maintenance/DriverInstall.h"

#include <algorithm>

#include "maintenance/TextEncoding.h"

namespace korvane::maintenance {

const std::array<DriverRow, 4> kDriverRows = {{
    {1038, "Whether to install K305M 32 bit write frequency driver", "K305M32bit", "K305M 32bit",
     "The K305M 32 bit drive has been installed successfully. The drive will take effect after "
     "the intercom is restarted",
     "K305M 32 bit driver failed to install, please reinstall"},
    {1039, "Whether to install K305M 64 bit write frequency driver", "K305M64bit", "K305M 64bit",
     "The K305M 64 bit drive has been installed successfully. The drive will take effect after "
     "the intercom is restarted",
     "K305M 64 bit driver failed to install, please reinstall"},
    {1040, "Whether to install QX-8 32 bit Write Frequency Driver", "QX-8 32bit", "QX-8 32bit",
     "The QX-8 32 bit Drive has been installed successfully,The drive will take effect after the "
     "intercom is restarted",
     "QX-8 32 bit Driver failed to install,please reinstall"},
    {1041, "Whether to install QX-8 64 bit Write Frequency Driver", "QX-8 64bit", "QX-8 64bit",
     "The QX-8 64 bit Drive has been installed successfully,The drive will take effect after the "
     "intercom is restarted",
     "QX-8 64 bit Driver failed to install,please reinstall"},
}};

namespace {
constexpr std::string_view kWindowsScriptExtension = ".bat";
constexpr std::string_view kPosixScriptExtension = ".sh";
constexpr const char* kPosixShell = "/bin/sh";
}  // namespace

const DriverRow* FindDriverRow(int controlId)
{
    const auto row =
        std::find_if(kDriverRows.begin(), kDriverRows.end(),
                     [controlId](const DriverRow& r) { return r.controlId == controlId; });
    return row == kDriverRows.end() ? nullptr : &*row;
}

std::wstring BuildWindowsDriverCommand(const std::wstring& exeDir, const DriverRow& row)
{
    // The quotes keep the blanks of the folder and file names inside one word
    // for the command processor.
    return L"\"" + exeDir + L"\\" + base::Utf8ToWide(row.folder) + L"\\" +
           base::Utf8ToWide(row.scriptStem) + base::Utf8ToWide(kWindowsScriptExtension) + L"\"";
}

std::vector<std::string> BuildLinuxDriverArgv(const std::filesystem::path& exeDir,
                                              const DriverRow& row)
{
    const std::filesystem::path script =
        exeDir / base::Utf8ToPath(row.folder) /
        base::Utf8ToPath(std::string(row.scriptStem) + std::string(kPosixScriptExtension));
    return {kPosixShell, base::PathToUtf8(script)};
}

}  // namespace korvane::maintenance
