// Driver rows: their texts, the command of each row on both platforms, and
// scripts run for real (exit codes, a missing script, awkward folder names, the
// scripts that ship with the program).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "maintenance/DriverInstall.h"
#include "maintenance/TextEncoding.h"
#include "tests/maintenance/TestFiles.h"

namespace korvane::maintenance {
namespace {

using ::testing::HasSubstr;
using testing::ReadFile;
using testing::ScopedEnv;
using testing::TempDir;
using testing::WriteFile;

struct RowExpectation {
    int controlId;
    const char* question;
    const char* success;
    const char* failure;
    const wchar_t* windowsCommand;  // for the program in C:\tools
    const char* linuxScript;        // for the program in /opt/korvane
};

const RowExpectation kRowExpectations[] = {
    {1038, "Whether to install K305M 32 bit write frequency driver",
     "The K305M 32 bit drive has been installed successfully. The drive will take effect after the "
     "intercom is restarted",
     "K305M 32 bit driver failed to install, please reinstall",
     LR"("C:\tools\K305M32bit\K305M 32bit.bat")", "/opt/korvane/K305M32bit/K305M 32bit.sh"},
    {1039, "Whether to install K305M 64 bit write frequency driver",
     "The K305M 64 bit drive has been installed successfully. The drive will take effect after the "
     "intercom is restarted",
     "K305M 64 bit driver failed to install, please reinstall",
     LR"("C:\tools\K305M64bit\K305M 64bit.bat")", "/opt/korvane/K305M64bit/K305M 64bit.sh"},
    {1040, "Whether to install QX-8 32 bit Write Frequency Driver",
     "The QX-8 32 bit Drive has been installed successfully,The drive will take effect after the "
     "intercom is restarted",
     "QX-8 32 bit Driver failed to install,please reinstall",
     LR"("C:\tools\QX-8 32bit\QX-8 32bit.bat")", "/opt/korvane/QX-8 32bit/QX-8 32bit.sh"},
    {1041, "Whether to install QX-8 64 bit Write Frequency Driver",
     "The QX-8 64 bit Drive has been installed successfully,The drive will take effect after the "
     "intercom is restarted",
     "QX-8 64 bit Driver failed to install,please reinstall",
     LR"("C:\tools\QX-8 64bit\QX-8 64bit.bat")", "/opt/korvane/QX-8 64bit/QX-8 64bit.sh"},
};

TEST(DriverRows, EachButtonHasItsTextsAndCommandsOnBothPlatforms)
{
    for (const RowExpectation& expected : kRowExpectations) {
        SCOPED_TRACE(expected.controlId);
        const DriverRow* row = FindDriverRow(expected.controlId);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->question, expected.question);
        EXPECT_EQ(row->successMessage, expected.success);
        EXPECT_EQ(row->failureMessage, expected.failure);
        EXPECT_EQ(BuildWindowsDriverCommand(L"C:\\tools", *row), expected.windowsCommand);
        EXPECT_EQ(BuildLinuxDriverArgv("/opt/korvane", *row),
                  (std::vector<std::string>{"/bin/sh", expected.linuxScript}));
    }
    EXPECT_EQ(FindDriverRow(1037), nullptr);
    EXPECT_EQ(FindDriverRow(1042), nullptr);
}

TEST(DriverRows, CommandsKeepCharactersOutsideAsciiWhole)
{
    const DriverRow& row = *FindDriverRow(1041);
    EXPECT_EQ(BuildWindowsDriverCommand(L"D:\\Программы\\对讲机", row),
              L"\"D:\\Программы\\对讲机\\QX-8 64bit\\QX-8 64bit.bat\"");
    EXPECT_EQ(BuildLinuxDriverArgv(base::Utf8ToPath("/home/zoë/对讲机"), row)[1],
              "/home/zoë/对讲机/QX-8 64bit/QX-8 64bit.sh");
}

// Writes the row's script under `exeDir`, or nothing when `body` is empty.
void PlaceScript(const std::filesystem::path& exeDir, const DriverRow& row, const std::string& body)
{
    if (!body.empty()) {
        WriteFile(DriverScriptPath(exeDir, row), body);
    }
}

TEST(RunDriverScript, ReportsTheScriptsTrueOutcome)
{
    struct Case {
        const char* name;
        const char* exeDirLeaf;
        std::string body;  // empty: no script at all
        bool started;
        int exitCode;
    };
    const Case cases[] = {
        {"exit 0", "plain", "echo installing\nexit 0\n", true, 0},
        {"exit 1", "plain", "echo broken >&2\nexit 1\n", true, 1},
        {"missing", "plain", "", false, -1},
        {"awkward folder", "Program Files/Korvane Zoë 对讲机", "exit 0\n", true, 0},
        {"awkward folder, failing", "Program Files/Korvane Zoë 对讲机", "exit 3\n", true, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const DriverRow& row : kDriverRows) {
            TempDir exeDir(c.exeDirLeaf);
            PlaceScript(exeDir.Path(), row, c.body);
            const ProcessResult result = RunDriverScript(exeDir.Path(), row);
            EXPECT_EQ(result.started, c.started);
            EXPECT_EQ(result.exitCode, c.exitCode);
            EXPECT_EQ(result.Succeeded(), c.started && c.exitCode == 0);
            if (!c.started) {
                EXPECT_THAT(result.startError, HasSubstr(row.scriptStem));
            }
        }
    }
}

TEST(RunDriverScript, ScriptRunsInItsOwnFolderAndSeesItsPath)
{
    TempDir exeDir("Zoë's 驱动 folder");
    const DriverRow& row = *FindDriverRow(1040);
    PlaceScript(exeDir.Path(), row, "pwd\nprintf '%s\\n' \"$0\"\n");
    const ProcessResult result = RunDriverScript(exeDir.Path(), row);
    ASSERT_TRUE(result.Succeeded()) << DescribeOutcome(result, "script");
    const std::filesystem::path script = DriverScriptPath(exeDir.Path(), row);
    EXPECT_EQ(result.output, script.parent_path().string() + "\n" + script.string() + "\n");
}

// The scripts the build lays out beside the program, run in a scratch rules folder.
class ShippedDriverScripts : public ::testing::Test {
protected:
    TempDir rules_{"rules.d"};
    ScopedEnv rulesDir_{"KORVANE_UDEV_RULES_DIR", rules_.Path().string()};
    ScopedEnv skip_{"KORVANE_DRIVER_SKIP_SYSTEM", "1"};
    const std::filesystem::path programDir_{KORVANE_PROGRAM_DIR};
    const std::filesystem::path ruleFile_ = rules_.Path() / "99-korvane-radio.rules";
};

TEST_F(ShippedDriverScripts, InstallTheUdevRuleAsRoot)
{
    ScopedEnv uid("KORVANE_DRIVER_UID", "0");
    for (const DriverRow& row : kDriverRows) {
        SCOPED_TRACE(row.scriptStem);
        std::filesystem::remove(ruleFile_);
        const ProcessResult result = RunDriverScript(programDir_, row);
        ASSERT_TRUE(result.Succeeded()) << DescribeOutcome(result, "script");
        const std::string model(row.scriptStem.substr(0, row.scriptStem.find(' ')));
        EXPECT_THAT(result.output, HasSubstr("the " + model + " programming cable"));
        EXPECT_THAT(result.output,
                    HasSubstr(std::string(row.folder.substr(row.folder.size() - 5, 2)) + "-bit"));
        EXPECT_THAT(result.output, HasSubstr(ruleFile_.string()));
        const std::string rule = ReadFile(ruleFile_);
        EXPECT_THAT(
            rule,
            HasSubstr(
                R"(KERNEL=="ttyUSB[0-9]*|ttyACM[0-9]*", GROUP="dialout", MODE="0660", ENV{ID_MM_DEVICE_IGNORE}="1")"));
        EXPECT_EQ(std::filesystem::status(ruleFile_).permissions(),
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                      std::filesystem::perms::group_read | std::filesystem::perms::others_read);
    }
}

TEST_F(ShippedDriverScripts, RefuseWithoutRootAndChangeNothing)
{
    ScopedEnv uid("KORVANE_DRIVER_UID", "1000");
    for (const DriverRow& row : kDriverRows) {
        SCOPED_TRACE(row.scriptStem);
        const ProcessResult result = RunDriverScript(programDir_, row);
        EXPECT_TRUE(result.started);
        EXPECT_NE(result.exitCode, 0);
        EXPECT_THAT(result.output, HasSubstr("needs root rights"));
        EXPECT_FALSE(std::filesystem::exists(ruleFile_));
    }
}

TEST_F(ShippedDriverScripts, FailClearlyWhenTheSharedInstallerIsMissing)
{
    TempDir exeDir;
    const DriverRow& row = *FindDriverRow(1041);
    const auto script = DriverScriptPath(exeDir.Path(), row);
    std::filesystem::create_directories(script.parent_path());
    std::filesystem::copy_file(DriverScriptPath(programDir_, row), script);
    const ProcessResult result = RunDriverScript(exeDir.Path(), row);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.output, HasSubstr("install-usb-serial.sh is missing"));
}

}  // namespace
}  // namespace korvane::maintenance
