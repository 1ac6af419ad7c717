// The Windows side of the program's platform services: its own folder, driver
// batch scripts run through the command processor with their exit status, the
// COM-port database reset, and the operating system's word size.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "base/ExeDir.h"
#include "maintenance/DriverInstall.h"
#include "maintenance/Process.h"
#include "maintenance/SystemInfo.h"
#include "settings/FileBlock.h"

namespace korvane::maintenance {
namespace {

namespace fs = std::filesystem;

// A program folder whose path holds blanks and characters outside ASCII, so
// that every path on the way must stay wide.
class ProgramFolder {
public:
    ProgramFolder()
    {
        static std::atomic<int> counter{0};
        const std::string salt =
            std::to_string(std::random_device{}()) + "-" + std::to_string(++counter);
        m_path = fs::temp_directory_path() / (fs::path(u8"korvane 对讲机 zoë ") += fs::path(salt));
        fs::create_directories(m_path);
    }
    ~ProgramFolder()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    const fs::path& Path() const { return m_path; }

    void WriteScript(const DriverRow& row, const std::string& body) const
    {
        const fs::path folder =
            m_path / fs::path(std::u8string(row.folder.begin(), row.folder.end()));
        fs::create_directories(folder);
        const std::string name = std::string(row.scriptStem) + ".bat";
        std::ofstream(folder / fs::path(std::u8string(name.begin(), name.end())), std::ios::binary)
            << body;
    }

private:
    fs::path m_path;
};

TEST(ExeDirTest, IsTheFolderOfTheRunningProgram)
{
    const fs::path dir = base::GetExeDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_TRUE(fs::exists(dir / "windows_tests.exe")) << dir.string();
}

TEST(RunDriverScriptTest, EveryRowRunsItsBatchScriptAndReportsItsExitStatus)
{
    const ProgramFolder program;
    int exitCode = 0;
    for (const DriverRow& row : kDriverRows) {
        // Each script leaves a mark in its own folder and ends with its own status.
        program.WriteScript(row, "@echo off\r\necho ran> \"%~dp0ran.txt\"\r\nexit /b " +
                                     std::to_string(exitCode) + "\r\n");
        const ProcessResult result = RunDriverScript(program.Path(), row);
        ASSERT_TRUE(result.started) << row.scriptStem << ": " << result.startError;
        EXPECT_EQ(result.exitCode, exitCode) << row.scriptStem;
        EXPECT_EQ(result.Succeeded(), exitCode == 0) << row.scriptStem;
        const fs::path mark = program.Path() /
                              fs::path(std::u8string(row.folder.begin(), row.folder.end())) /
                              "ran.txt";
        EXPECT_TRUE(fs::exists(mark)) << row.scriptStem << " did not run";
        exitCode += 3;
    }
}

TEST(RunDriverScriptTest, AMissingScriptIsNotStartedAndSaysWhich)
{
    const ProgramFolder program;
    const ProcessResult result = RunDriverScript(program.Path(), kDriverRows.front());
    EXPECT_FALSE(result.started);
    EXPECT_NE(result.startError.find("does not exist"), std::string::npos) << result.startError;
    EXPECT_FALSE(result.Succeeded());
}

TEST(RunProcessTest, CapturesOutputAndExitStatusInTheWorkingDirectory)
{
    const ProgramFolder program;
    const ProcessResult result =
        RunProcess({"cmd.exe", "/c", "echo here & cd & exit /b 4"}, program.Path());
    ASSERT_TRUE(result.started) << result.startError;
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_NE(result.output.find("here"), std::string::npos) << result.output;
    EXPECT_FALSE(result.Succeeded());

    const ProcessResult missing = RunProcess({"no-such-program-korvane.exe"});
    EXPECT_FALSE(missing.started);
    EXPECT_FALSE(missing.startError.empty());
}

TEST(ComPortDatabaseTest, TheResetCommandDeletesTheComDbValue)
{
    const std::string key = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
    const ProcessResult added =
        RunProcess({"reg", "add", key, "/v", "ComDB", "/t", "REG_BINARY", "/d", "01", "/f"});
    ASSERT_TRUE(added.Succeeded()) << DescribeOutcome(added, "reg add");
    ASSERT_TRUE(RunProcess({"reg", "query", key, "/v", "ComDB"}).Succeeded());

    ResetComPortDatabase();

    EXPECT_FALSE(RunProcess({"reg", "query", key, "/v", "ComDB"}).Succeeded())
        << "ComDB is still there after the reset";
}

TEST(WordSizeTest, AThirtyTwoBitProcessAnswersForTheSystemNotItself)
{
    // Windows gives a 32-bit process on 64-bit Windows the real architecture in
    // PROCESSOR_ARCHITEW6432.
    const bool wow64 = std::getenv("PROCESSOR_ARCHITEW6432") != nullptr;
    EXPECT_EQ(IsOperatingSystem64Bit(), sizeof(void*) == 8 || wow64);
}

}  // namespace
}  // namespace korvane::maintenance
