// APN provisioning: the exact argument vector and display text, quoting that
// the radio's shell undoes exactly, and what a fake adb (and the fake `am` its
// shell runs) receive.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "maintenance/Apn.h"
#include "tests/maintenance/TestFiles.h"

namespace korvane::maintenance {
namespace {

using ::testing::ElementsAreArray;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using testing::ReadNulRecords;
using testing::ScopedEnv;
using testing::TempDir;
using testing::WriteFile;

// Records its working directory and arguments beside itself, then does what
// adb shell does: joins the arguments with blanks and hands the line to a
// shell, which here finds the fake `am` beside it.
constexpr const char* kFakeAdb = R"sh(#!/bin/sh
here=$(CDPATH='' cd -- "$(dirname -- "$0")" && pwd)
{ printf '%s\0' "$(pwd)"; printf '%s\0' "$@"; } >"$here/adb-call"
[ "$1" = shell ] || exit 9
shift
PATH="$here:$PATH" exec /bin/sh -c "$*"
)sh";
constexpr const char* kFakeAm = R"sh(#!/bin/sh
here=$(CDPATH='' cd -- "$(dirname -- "$0")" && pwd)
printf '%s\0' "$@" >"$here/am-call"
echo "Broadcast completed: result=0"
)sh";

void InstallFakeAdb(const std::filesystem::path& dir)
{
    WriteFile(dir / "adb", kFakeAdb, true);
    WriteFile(dir / "am", kFakeAm, true);
}

struct ApnCase {
    const char* title;
    ApnFields fields;
    std::vector<std::string> extras;  // what the radio's `am` receives after the action
    std::vector<std::string> quoted;  // the same extras as adb receives them
    std::string remoteUpToName;       // the display's remote command line, to the name
    std::string remoteRest;           // and after it
};

std::vector<ApnCase> Cases()
{
    return {
        {"internet and web",
         {"internet", "web", "", "", ""},
         {"--es", "name", "internet", "--es", "apn", "web"},
         {"--es", "name", "'internet'", "--es", "apn", "'web'"},
         " --es name 'internet'",
         " --es apn 'web'"},
        {"all five, in order, with blanks",
         {"my net", "web apn", "user 1", "pa ss", "46001"},
         {"--es", "name", "my net", "--es", "apn", "web apn", "--es", "user", "user 1", "--es",
          "password", "pa ss", "--es", "numeric", "46001"},
         {"--es", "name", "'my net'", "--es", "apn", "'web apn'", "--es", "user", "'user 1'",
          "--es", "password", "'pa ss'", "--es", "numeric", "'46001'"},
         " --es name 'my net'",
         " --es apn 'web apn' --es user 'user 1' --es password 'pa ss' --es numeric '46001'"},
        {"shell characters and quotes",
         {"a;b", "$(touch pwned)", "it's", "\"q\" `touch pwned`", ""},
         {"--es", "name", "a;b", "--es", "apn", "$(touch pwned)", "--es", "user", "it's", "--es",
          "password", "\"q\" `touch pwned`"},
         {"--es", "name", "'a;b'", "--es", "apn", "'$(touch pwned)'", "--es", "user",
          R"('it'\''s')", "--es", "password", "'\"q\" `touch pwned`'"},
         " --es name 'a;b'",
         R"( --es apn '\$(touch pwned)' --es user 'it'\\''s' --es password '\"q\" \`touch pwned\`')"},
        {"characters outside ASCII",
         {"中国移动", "cmnet", "", "", "46000"},
         {"--es", "name", "中国移动", "--es", "apn", "cmnet", "--es", "numeric", "46000"},
         {"--es", "name", "'中国移动'", "--es", "apn", "'cmnet'", "--es", "numeric", "'46000'"},
         " --es name '中国移动'",
         " --es apn 'cmnet' --es numeric '46000'"},
        {"blanks at both ends go, inner blanks stay, a field of blanks is empty",
         {" \tmy net ", "web  ", "   ", "\tpa ss ", ""},
         {"--es", "name", "my net", "--es", "apn", "web", "--es", "password", "pa ss"},
         {"--es", "name", "'my net'", "--es", "apn", "'web'", "--es", "password", "'pa ss'"},
         " --es name 'my net'",
         " --es apn 'web' --es password 'pa ss'"},
        {"empty name still sent",
         {"", "", "", "", ""},
         {"--es", "name", ""},
         {"--es", "name", "''"},
         " --es name ''",
         ""},
    };
}

std::vector<std::string> Concat(std::vector<std::string> head, const std::vector<std::string>& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST(ApnAction, IsTheConfiguredReverseDomainAction)
{
    EXPECT_EQ(ApnAction(), KORVANE_APN_ACTION);
    EXPECT_THAT(ApnAction(), EndsWith(".intent.action.WRITE_APN"));
}

TEST(BuildApnCommand, GivesTheExactArgumentsAndDisplay)
{
    const std::string start = "adb shell \"am broadcast -a " + ApnAction();
    for (const ApnCase& c : Cases()) {
        SCOPED_TRACE(c.title);
        const ApnCommand command = BuildApnCommand(c.fields);
        EXPECT_EQ(command.argv,
                  Concat({"adb", "shell", "am", "broadcast", "-a", ApnAction()}, c.quoted));
        EXPECT_EQ(command.displayUpToName, start + c.remoteUpToName + "\"");
        EXPECT_EQ(command.display, start + c.remoteUpToName + c.remoteRest + "\"");
    }
}

TEST(QuoteForRemoteShell, APosixShellGivesBackEveryValueUnchanged)
{
    const std::string values[] = {
        "",       "internet", "my apn",    "a;b",           "$(touch pwned)",
        "it's",   "'''",      "\"dq\"",    "`touch pwned`", "zoë 中国移动",
        "  lead", "trail  ",  "tab\there", "back\\slash\\", "new\nline",
        "*",      "$HOME",    "!x"};
    TempDir dir;
    for (const std::string& value : values) {
        SCOPED_TRACE(value);
        const ProcessResult result =
            RunProcess({"/bin/sh", "-c", "printf %s " + QuoteForRemoteShell(value)}, dir.Path());
        ASSERT_TRUE(result.Succeeded());
        EXPECT_EQ(result.output, value);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

class WriteApnThroughFakeAdb : public ::testing::Test {
protected:
    TempDir exeDir_{"Zoë's Korvane 对讲机"};
    const std::filesystem::path adbCall_ = exeDir_.Path() / "adb-call";
    const std::filesystem::path amCall_ = exeDir_.Path() / "am-call";
};

TEST_F(WriteApnThroughFakeAdb, AdbAndTheRadioShellReceiveEveryValueIntact)
{
    InstallFakeAdb(exeDir_.Path());
    const std::vector<std::string> head = {"broadcast", "-a", ApnAction()};
    for (const ApnCase& c : Cases()) {
        SCOPED_TRACE(c.title);
        const ProcessResult result = WriteApn(exeDir_.Path(), c.fields);
        ASSERT_TRUE(result.Succeeded()) << DescribeOutcome(result, "adb");
        EXPECT_THAT(result.output, HasSubstr("Broadcast completed"));
        const ApnCommand command = BuildApnCommand(c.fields, (exeDir_.Path() / "adb").string());
        EXPECT_THAT(ReadNulRecords(adbCall_),
                    ElementsAreArray(Concat({exeDir_.Path().string()},
                                            {command.argv.begin() + 1, command.argv.end()})));
        EXPECT_THAT(ReadNulRecords(amCall_), ElementsAreArray(Concat(head, c.extras)));
    }
    EXPECT_FALSE(std::filesystem::exists(exeDir_.Path() / "pwned"));
}

// adb shell joins its arguments with blanks, so the display may pass the
// remote command line as one word; the radio must see the same command.
std::string JoinedFrom(const std::vector<std::string>& words, std::size_t first)
{
    std::string line;
    for (std::size_t i = first; i < words.size(); ++i) {
        line += (i == first ? "" : " ") + words[i];
    }
    return line;
}

TEST_F(WriteApnThroughFakeAdb, TheDisplayTypedIntoAShellRunsTheSameCommand)
{
    InstallFakeAdb(exeDir_.Path());
    const std::vector<std::string> head = {"broadcast", "-a", ApnAction()};
    for (const ApnCase& c : Cases()) {
        SCOPED_TRACE(c.title);
        const ApnCommand command = BuildApnCommand(c.fields, (exeDir_.Path() / "adb").string());
        const ProcessResult typed = RunProcess({"/bin/sh", "-c", command.display}, exeDir_.Path());
        ASSERT_TRUE(typed.Succeeded()) << DescribeOutcome(typed, "sh");
        const std::vector<std::string> adbCall = ReadNulRecords(adbCall_);
        ASSERT_GE(adbCall.size(), 3u);
        EXPECT_EQ(adbCall[1], "shell");
        EXPECT_EQ(JoinedFrom(adbCall, 2), JoinedFrom(command.argv, 2));
        EXPECT_THAT(ReadNulRecords(amCall_), ElementsAreArray(Concat(head, c.extras)));
    }
    EXPECT_FALSE(std::filesystem::exists(exeDir_.Path() / "pwned"));
}

TEST_F(WriteApnThroughFakeAdb, PrefersTheAdbBesideTheProgramOverThePath)
{
    TempDir pathDir;
    InstallFakeAdb(pathDir.Path());
    ScopedEnv path("PATH", pathDir.Path().string() + ":/usr/bin:/bin");

    EXPECT_EQ(FindAdb(exeDir_.Path()), "adb");
    ASSERT_TRUE(WriteApn(exeDir_.Path(), {"internet", "web", "", "", ""}).Succeeded());
    EXPECT_EQ(ReadNulRecords(pathDir.Path() / "adb-call").at(0), exeDir_.Path().string());

    InstallFakeAdb(exeDir_.Path());
    EXPECT_EQ(FindAdb(exeDir_.Path()), (exeDir_.Path() / "adb").string());
    ASSERT_TRUE(WriteApn(exeDir_.Path(), {"beside", "", "", "", ""}).Succeeded());
    EXPECT_THAT(ReadNulRecords(amCall_), ElementsAreArray(Concat({"broadcast", "-a", ApnAction()},
                                                                 {"--es", "name", "beside"})));
}

TEST_F(WriteApnThroughFakeAdb, FailuresOfAdbComeBackWithItsMessage)
{
    TempDir emptyPath;
    {
        ScopedEnv path("PATH", emptyPath.Path().string());
        const ProcessResult missing = WriteApn(exeDir_.Path(), {"internet", "", "", "", ""});
        EXPECT_FALSE(missing.started);
        EXPECT_THAT(DescribeOutcome(missing, "adb"), HasSubstr("adb could not be started"));
    }
    WriteFile(exeDir_.Path() / "adb",
              "#!/bin/sh\necho 'error: no devices/emulators found' >&2\nexit 1\n", true);
    const ProcessResult failed = WriteApn(exeDir_.Path(), {"internet", "", "", "", ""});
    EXPECT_TRUE(failed.started);
    EXPECT_FALSE(failed.Succeeded());
    EXPECT_THAT(DescribeOutcome(failed, "adb"), HasSubstr("error: no devices/emulators found"));
}

// adb's exit status 0 says only that adb reached a device; what the radio's
// shell printed decides whether the broadcast went out.
TEST_F(WriteApnThroughFakeAdb, OnlyTheRadiosBroadcastCompletedCountsAsDelivered)
{
    struct AnswerCase {
        const char* output;
        int exitStatus;
        bool delivered;
        std::string ending;  // part of DescribeApnEnding when not delivered
    };
    const AnswerCase cases[] = {
        {"Broadcasting: Intent { act=x flg=0x400000 }\nBroadcast completed: result=0\n", 0, true,
         ""},
        {"\r\n  Broadcast completed: result=-1\r\n", 0, true, ""},
        {"/system/bin/sh: am: not found\n", 0, false,
         "it answered \"/system/bin/sh: am: not found\""},
        {"Broadcasting: Intent { act=x }\njava.lang.SecurityException: Permission Denial: not "
         "allowed\n",
         0, false,
         "answered \"Broadcasting: Intent { act=x } / java.lang.SecurityException: Permission "
         "Denial: not allowed\""},
        {"sh: echo Broadcast completed\n", 0, false, "answered \"sh: echo Broadcast completed\""},
        {"", 0, false, "adb ended without its answer"},
        {"Broadcast completed: result=0\n", 1, false, "adb failed with exit status 1"},
    };
    for (const AnswerCase& c : cases) {
        SCOPED_TRACE(c.output);
        WriteFile(exeDir_.Path() / "adb",
                  std::string("#!/bin/sh\nprintf '%s' '") + c.output + "'\nexit " +
                      std::to_string(c.exitStatus) + "\n",
                  true);
        const ProcessResult result = WriteApn(exeDir_.Path(), {"internet", "", "", "", ""});
        EXPECT_EQ(ApnDelivered(result), c.delivered);
        EXPECT_EQ(AdbHint(result).empty(), c.delivered);
        if (!c.delivered) {
            EXPECT_THAT(DescribeApnEnding(result), HasSubstr(c.ending));
        }
    }
}

TEST(QuotedAnswer, IsOneBoundedLineWithNothingATerminalWouldAct)
{
    const std::string twoHundred(200, 'a');
    std::string longAnswer;
    std::string longQuoted;
    for (int i = 0; i < 250; ++i) longAnswer += "é";
    for (int i = 0; i < 200; ++i) longQuoted += "é";
    const std::pair<std::string, std::string> cases[] = {
        {"  first\n\n second \r\n", "first / second"},
        {"\x1b[2Jwiped\a", "\\x1b[2Jwiped\\x07"},
        {"\xc2\x9b"
         "31mred",
         "\\x9b31mred"},
        {"tab\there\x7f", "tab here\\x7f"},
        {"中国\xff\xc0\x80\xed\xa0\x80", "中国\\xff\\xc0\\x80\\xed\\xa0\\x80"},
        {"cut \xe4\xb8", "cut \\xe4\\xb8"},
        {twoHundred, twoHundred},
        {twoHundred + "b", twoHundred + "..."},
        {longAnswer, longQuoted + "..."},
        {" \r\n\t", ""},
    };
    for (const auto& [answer, quoted] : cases) {
        EXPECT_EQ(QuotedAnswer(answer), quoted) << answer;
    }
}

}  // namespace
}  // namespace korvane::maintenance
