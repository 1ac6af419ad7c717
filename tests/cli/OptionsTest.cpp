// The command line of korvane: what each argument list parses to, and which
// argument lists are refused with which message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/TextEncoding.h"
#include "cli/Help.h"
#include "cli/Options.h"

namespace korvane::cli {
namespace {

Options Parse(std::vector<std::string> args)
{
    return ParseArguments(args);
}

struct BadCase {
    std::vector<std::string> args;
    CommandKind command;      // the command the error is attributed to
    std::string messagePart;  // a piece of what() that names the fault
};

class BadArguments : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadArguments, AreRefusedNamingTheFault)
{
    const BadCase& c = GetParam();
    try {
        Parse(c.args);
        FAIL() << "accepted";
    } catch (const UsageError& error) {
        EXPECT_EQ(error.Command(), c.command);
        EXPECT_NE(std::string(error.what()).find(c.messagePart), std::string::npos) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadArguments,
    ::testing::Values(
        BadCase{{}, CommandKind::None, "no command"},
        BadCase{{"burn"}, CommandKind::None, "unknown command 'burn'"},
        BadCase{{"--verbose"}, CommandKind::None, "unknown option '--verbose'"},
        BadCase{{"--version", "ports"}, CommandKind::None, "--version"},
        BadCase{{"ports", "extra"}, CommandKind::Ports, "unexpected argument 'extra'"},
        BadCase{{"ports", "--json"}, CommandKind::Ports, "unknown option '--json'"},
        BadCase{{"flash", "--user", "u.bin"}, CommandKind::Flash, "missing --port"},
        BadCase{{"flash", "--port", "1"}, CommandKind::Flash, "missing --user"},
        BadCase{{"flash", "--port", "1", "--user"}, CommandKind::Flash, "--user needs a value"},
        BadCase{{"flash", "--port", "0", "--user", "u"}, CommandKind::Flash, "port number 0"},
        BadCase{
            {"flash", "--port", "99999", "--user", "u"}, CommandKind::Flash, "port number 99999"},
        BadCase{{"flash", "--port", "", "--user", "u"}, CommandKind::Flash, "--port needs"},
        // A signed number is a number outside the list, not a device path.
        BadCase{{"flash", "--port", "-1", "--user", "u"}, CommandKind::Flash, "port number -1"},
        // An option where a value belongs: the value is missing, not the option extra.
        BadCase{{"flash", "--port", "--user", "u.bin"}, CommandKind::Flash, "--port needs a value"},
        BadCase{{"apn", "--name", "--apn", "web"}, CommandKind::Apn, "--name needs a value"},
        BadCase{{"flash", "--port=1", "--user="}, CommandKind::Flash, "image path is empty"},
        BadCase{{"flash", "--port", "1", "--port", "1", "--user", "u"},
                CommandKind::Flash,
                "port 1 is given more than once"},
        BadCase{{"flash", "--port", "all", "--port", "2", "--user", "u"},
                CommandKind::Flash,
                "--port all"},
        BadCase{{"flash", "--port", "1", "--user", "u", "--user", "v"},
                CommandKind::Flash,
                "--user is given more than once"},
        BadCase{{"flash", "--port", "1", "--user", "u", "--json=yes"},
                CommandKind::Flash,
                "--json takes no value"},
        // A flag's value is refused even where help would be shown.
        BadCase{{"counter", "--help", "--clear=1"}, CommandKind::Counter, "--clear takes no value"},
        BadCase{{"flash", "--port", "1", "--user", "u", "-x"},
                CommandKind::Flash,
                "unknown option '-x'"},
        BadCase{{"flash", "--port", "1", "--user", "u", "boot.bin"},
                CommandKind::Flash,
                "unexpected argument 'boot.bin'"},
        BadCase{{"info"}, CommandKind::Info, "missing --port"},
        BadCase{
            {"info", "--port", "1", "--user", "u"}, CommandKind::Info, "unknown option '--user'"},
        BadCase{{"info", "--port", "0"}, CommandKind::Info, "port number 0"},
        BadCase{{"crc"}, CommandKind::Crc, "no file given"},
        BadCase{{"crc", "--all"}, CommandKind::Crc, "unknown option '--all'"},
        BadCase{{"apn", "--apn", "web"}, CommandKind::Apn, "missing --name"},
        BadCase{{"apn", "--name", "a", "--mcc", "460"}, CommandKind::Apn, "unknown option '--mcc'"},
        BadCase{{"counter", "--reset"}, CommandKind::Counter, "unknown option '--reset'"},
        BadCase{{"counter", "--clear", "--clear"}, CommandKind::Counter, "more than once"},
        BadCase{{"station", "--boot", "b"}, CommandKind::Station, "missing --user"},
        BadCase{{"station", "--user", "u", "--vid-pid", "0403-6001"},
                CommandKind::Station,
                "not '0403-6001'"},
        BadCase{{"station", "--user", "u", "--vid-pid", "0403:60011"},
                CommandKind::Station,
                "VVVV:PPPP"},
        BadCase{{"station", "--user", "u", "--watch", "/dev/x*", "--location", "1-1."},
                CommandKind::Station,
                "--location filters"},
        BadCase{{"station", "--user", "u", "--only-usb", "--all-ports"},
                CommandKind::Station,
                "opposite"},
        BadCase{{"station", "--user", "u", "--max-jobs", "0"}, CommandKind::Station, "not '0'"},
        BadCase{{"station", "--user", "u", "--max-jobs", "2x"}, CommandKind::Station, "not '2x'"},
        BadCase{
            {"station", "--user", "u", "--watch="}, CommandKind::Station, "--watch needs a value"},
        BadCase{{"station", "--user", "u", "--verify"}, CommandKind::Station, "--verify"},
        BadCase{{"station", "--user", "u", "--port", "1"},
                CommandKind::Station,
                "unknown option '--port'"},
        BadCase{{"history", "--since", "2026-12-8"}, CommandKind::History, "'2026-12-8'"},
        BadCase{{"history", "--since", "yesterday"}, CommandKind::History, "'yesterday'"},
        BadCase{{"history", "--uid="}, CommandKind::History, "--uid needs a value"},
        BadCase{{"flash", "--port", "1", "--user", "u", "--history="},
                CommandKind::Flash,
                "--history needs"}));

TEST(ParseArguments, StationWatchesTheFilteredPortListOrPaths)
{
    const Options list = Parse({"station", "--user", "u.bin", "--vid-pid", "0403:6001",
                                "--vid-pid=1A86:7523", "--location", "1-1.", "--max-jobs", "3"});
    EXPECT_EQ(list.command, CommandKind::Station);
    EXPECT_FALSE(list.station.bootPath);
    EXPECT_FALSE(list.station.allPorts);
    EXPECT_EQ(list.station.vidPids, (std::vector<std::string>{"0403:6001", "1A86:7523"}));
    EXPECT_EQ(list.station.location, "1-1.");
    EXPECT_EQ(list.station.maxJobs, 3);
    EXPECT_FALSE(list.station.historyFile);

    const Options watch =
        Parse({"station", "--boot", "b.bin", "--user", "u.bin", "--verify", "--watch", "/a/*",
               "--watch", "/b/?", "--history", "h.csv", "--quiet", "--exact-timing"});
    EXPECT_EQ(watch.station.watch, (std::vector<std::string>{"/a/*", "/b/?"}));
    EXPECT_EQ(watch.station.historyFile, std::filesystem::path("h.csv"));
    EXPECT_TRUE(watch.station.verify && watch.station.quiet && watch.station.exactTiming);
    EXPECT_FALSE(watch.station.maxJobs);
    EXPECT_TRUE(Parse({"station", "--user", "u", "--all-ports"}).station.allPorts);
}

TEST(ParseArguments, FlashFullAndUserProgramUpgrades)
{
    const Options full =
        Parse({"flash", "--port", "/dev/ttyUSB0", "--boot", "b.bin", "--user=u.bin", "--json"});
    EXPECT_EQ(full.command, CommandKind::Flash);
    EXPECT_EQ(full.flash.ports, std::vector<std::string>{"/dev/ttyUSB0"});
    ASSERT_TRUE(full.flash.bootPath);
    EXPECT_EQ(*full.flash.bootPath, "b.bin");
    EXPECT_EQ(full.flash.userPath, "u.bin");
    EXPECT_TRUE(full.flash.json);

    const Options user = Parse({"flash", "--user", "u.bin", "--port", "3"});
    EXPECT_FALSE(user.flash.bootPath);
    EXPECT_EQ(user.flash.ports, std::vector<std::string>{"3"});
    EXPECT_FALSE(user.flash.json);

    // Several ports, in the order given, each one job: numbers, paths, USB
    // locations and serial numbers alike.
    const Options several =
        Parse({"flash", "--port", "2", "--user", "u.bin", "--port=1-1.2", "--port", "A12345"});
    EXPECT_EQ(several.flash.ports, (std::vector<std::string>{"2", "1-1.2", "A12345"}));
    EXPECT_EQ(Parse({"flash", "--port", "all", "--user", "u"}).flash.ports,
              std::vector<std::string>{"all"});
}

TEST(ParseArguments, ValuesMayLookLikeOptionsOrBeEmpty)
{
    const Options apn = Parse({"apn", "--name", "", "--password", "--secret", "--apn=a=b"});
    EXPECT_EQ(apn.apn.name, "");
    EXPECT_EQ(apn.apn.password, "--secret");
    EXPECT_EQ(apn.apn.apn, "a=b");
    EXPECT_EQ(apn.apn.user, "");
}

TEST(ParseArguments, CrcTakesFilesAndDoubleDashEndsOptions)
{
    const Options crc = Parse({"crc", "a.bin", "--", "-odd.bin", "--help"});
    ASSERT_EQ(crc.crcFiles.size(), 3u);
    EXPECT_EQ(crc.crcFiles[1], "-odd.bin");
    EXPECT_EQ(crc.crcFiles[2], "--help");
    EXPECT_FALSE(crc.help);
}

// Windows paths are plain arguments on both systems: a path from the drive's
// root, a UNC share, a drive-relative path; Chinese and blanks pass unchanged.
TEST(ParseArguments, WindowsPathsAreArgumentsNotOptions)
{
    for (const std::string path : {"/fw/boot.bin", "\\\\server\\share\\u.bin", "C:boot.bin",
                                   "Z:\\固件 测试\\九.bin", "/?"}) {
        SCOPED_TRACE(path);
        const Options crc = Parse({"crc", path});
        ASSERT_EQ(crc.crcFiles.size(), 1u);
        EXPECT_EQ(base::PathToUtf8(crc.crcFiles[0]), path);
        const Options flash = Parse({"flash", "--port", "1", "--boot", path, "--user", path});
        ASSERT_TRUE(flash.flash.bootPath);
        EXPECT_EQ(base::PathToUtf8(*flash.flash.bootPath), path);
        EXPECT_EQ(base::PathToUtf8(flash.flash.userPath), path);
        EXPECT_EQ(Parse({"apn", "--name", path}).apn.name, path);
    }
    // Still an extra argument where none is taken, and never read as an option.
    try {
        Parse({"ports", "/fw"});
        FAIL() << "accepted";
    } catch (const UsageError& error) {
        EXPECT_NE(std::string(error.what()).find("unexpected argument '/fw'"), std::string::npos);
    }
}

TEST(ParseArguments, HelpAndVersion)
{
    EXPECT_TRUE(Parse({"--help"}).help);
    EXPECT_TRUE(Parse({"-h"}).help);
    EXPECT_TRUE(Parse({"--version"}).version);
    // A command's help wins over missing or wrong options around it.
    const Options flashHelp = Parse({"flash", "--port", "0", "--help"});
    EXPECT_TRUE(flashHelp.help);
    EXPECT_EQ(flashHelp.command, CommandKind::Flash);
    EXPECT_TRUE(Parse({"counter", "-h"}).help);
    EXPECT_TRUE(Parse({"counter", "--clear"}).clearCounter);
}

TEST(ParsePortNumber, DigitsWithinThePortRangeOnly)
{
    EXPECT_EQ(ParsePortNumber("1"), 1);
    EXPECT_EQ(ParsePortNumber("32767"), 32767);
    EXPECT_FALSE(ParsePortNumber("0"));
    EXPECT_FALSE(ParsePortNumber("32768"));
    EXPECT_FALSE(ParsePortNumber("-1"));
    EXPECT_FALSE(ParsePortNumber("1a"));
    EXPECT_FALSE(ParsePortNumber("/dev/ttyUSB0"));
    EXPECT_FALSE(ParsePortNumber(""));

    const Options info = Parse({"info", "--port", "2", "--port=/dev/pts/3", "--json"});
    EXPECT_EQ(info.command, CommandKind::Info);
    EXPECT_EQ(info.info.ports, (std::vector<std::string>{"2", "/dev/pts/3"}));
    EXPECT_TRUE(info.info.json);
}

// Each option a command declares is in its help, and the parser holds it to
// its kind whatever else the line lacks: a value must follow a value option,
// a flag takes none, and only a repeatable option may come twice.
TEST(CommandOptions, HelpListsThemAndTheParserHoldsEachToItsKind)
{
    const auto refusal = [](CommandKind command, std::vector<std::string> args) {
        args.insert(args.begin(), CommandName(command));
        try {
            Parse(args);
        } catch (const UsageError& error) {
            return std::string(error.what());
        }
        return std::string("accepted");
    };
    for (const CommandKind command :
         {CommandKind::Flash, CommandKind::Info, CommandKind::Apn, CommandKind::Counter,
          CommandKind::Station, CommandKind::History}) {
        ASSERT_FALSE(CommandOptions(command).empty());
        for (const OptionEntry& entry : CommandOptions(command)) {
            const std::string name(entry.name);
            SCOPED_TRACE(CommandName(command) + " " + name);
            const std::string typed =
                entry.value.empty() ? name : name + " " + std::string(entry.value);
            // Listed first on its line, or after the option it shares a description with.
            const std::string help = HelpText(command);
            EXPECT_TRUE(help.find("\n  " + typed) != std::string::npos ||
                        help.find(", " + typed) != std::string::npos);
            const std::vector<std::string> once =
                entry.value.empty() ? std::vector{name} : std::vector{name, std::string("v")};
            std::vector<std::string> twice = once;
            twice.insert(twice.end(), once.begin(), once.end());
            if (entry.value.empty()) {
                EXPECT_NE(refusal(command, {name + "=yes"}).find(name + " takes no value"),
                          std::string::npos);
            } else {
                EXPECT_NE(refusal(command, {name}).find(name + " needs a value"),
                          std::string::npos);
            }
            EXPECT_EQ(refusal(command, twice).find(name + " is given more than once") !=
                          std::string::npos,
                      !entry.repeatable);
        }
    }
}

TEST(HelpText, EveryCommandHasHelpNamingItsUsage)
{
    for (const CommandKind command :
         {CommandKind::Ports, CommandKind::Flash, CommandKind::Info, CommandKind::Crc,
          CommandKind::Apn, CommandKind::Counter, CommandKind::Station, CommandKind::History}) {
        const std::string help = HelpText(command);
        EXPECT_EQ(help.rfind("Usage: korvane " + CommandName(command), 0), 0u) << help;
        EXPECT_NE(HelpHint(command).find(CommandName(command) + " --help"), std::string::npos);
    }
    EXPECT_NE(HelpText(CommandKind::None).find("Exit status"), std::string::npos);
    EXPECT_EQ(VersionText(), "korvane 1.0.0.1");
}

}  // namespace
}  // namespace korvane::cli
