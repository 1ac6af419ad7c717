// The job history through the built korvane: flash appends one line per radio
// job, a spreadsheet's CSV reader (Python's csv module) reads the file as
// written, and `korvane history` answers for one radio.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sim/PtyRadio.h"
#include "tests/cli/JsonOutput.h"
#include "tests/cli/KorvaneProcess.h"

namespace korvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::uint8_t kEnglish = 1;
constexpr int kNoSuchProgram = 127;  // env's status for a program it cannot find

std::vector<std::uint8_t> Image(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<std::uint8_t>(random()); });
    return bytes;
}

// The file as Python's csv module reads it, as JSON: whether it starts with a
// byte-order mark and its rows; nothing when python3 cannot be run.
std::optional<nlohmann::json> ReadWithPython(const fs::path& csvFile, const fs::path& scratch)
{
    const std::string script =
        "import csv, json, sys\n"
        "raw = open(sys.argv[1], 'rb').read()\n"
        "text = raw.decode('utf-8-sig')\n"
        "rows = list(csv.reader(text.splitlines(keepends=True)))\n"
        "print(json.dumps({'bom': raw.startswith(b'\\xef\\xbb\\xbf'), 'rows': rows}))\n";
    const fs::path out = scratch / "python.json";
    const int status =
        WaitForExit(SpawnToFile({"/usr/bin/env", "python3", "-c", script, csvFile.string()}, out),
                    std::chrono::seconds(30));
    if (status == kNoSuchProgram) return std::nullopt;
    EXPECT_EQ(status, 0);
    std::ifstream in(out);
    return ParseJson(std::string(std::istreambuf_iterator<char>(in), {}));
}

TEST(FlashHistory, EachJobLeavesALineThatSpreadsheetsAndTheHistoryCommandRead)
{
    const ProgramFolder folder;
    folder.WriteSysDat(kEnglish, 0);
    const fs::path dir = folder.ScratchDir() / "升级 记录";
    fs::create_directory(dir);
    const fs::path history = dir / "历史.csv";
    const std::string boot = folder.WriteFile("引导.bin", Image(600, 1)).string();
    // A comma and quotes in a name: the CSV must quote the field, not split it.
    const std::string user = folder.WriteFile("用户 \"v2\", 正式.bin", Image(5000, 2)).string();

    sim::PtyRadio good;
    const RunResult ok =
        RunKorvane(folder, {"flash", "--port", good.SlavePath(), "--boot", boot, "--user", user,
                            "--history", history.string(), "--json"});
    ASSERT_EQ(ok.exitStatus, 0) << ok.err;
    sim::SimOptions refusing;
    refusing.startInLoader = true;
    refusing.faults.push_back({sim::SimStep::Block, sim::FaultAction::Refuse, 1});
    sim::PtyRadio bad(refusing);
    const RunResult failed =
        RunKorvane(folder, {"flash", "--port", bad.SlavePath(), "--user", user, "--exact-timing",
                            "--history", history.string(), "--json"});
    ASSERT_EQ(failed.exitStatus, 1) << failed.err;
    const auto okJson = ParseJson(ok.out);
    const auto failedJson = ParseJson(failed.out);
    ASSERT_TRUE(okJson && failedJson) << ok.out << failed.out;
    const std::string uid = okJson->at("chip").at("uid");
    const std::string refusal = failedJson->at("error");
    ASSERT_NE(refusal.find(','), std::string::npos) << refusal;  // the quoting is put to work

    const std::optional<nlohmann::json> csv = ReadWithPython(history, folder.ScratchDir());
    if (!csv) GTEST_SKIP() << "python3 cannot be run here";
    EXPECT_TRUE(csv->at("bom"));
    const auto& rows = csv->at("rows");
    ASSERT_EQ(rows.size(), 3u) << *csv;
    EXPECT_EQ(rows[0].at(0), "started");
    EXPECT_EQ(rows[0].size(), 20u);
    const auto column = [&](const std::string& name) {
        const auto& header = rows[0];
        return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) -
                                        header.begin());
    };
    const auto& first = rows[1];
    const auto& second = rows[2];
    EXPECT_EQ(first.at(column("port")), good.SlavePath());
    EXPECT_EQ(first.at(column("uid")), uid);
    EXPECT_EQ(first.at(column("boot_image")), boot);
    EXPECT_EQ(first.at(column("user_image")), user);
    EXPECT_EQ(first.at(column("pacing")), "patient");
    EXPECT_EQ(first.at(column("result")), "success");
    EXPECT_EQ(first.at(column("exit")), "0");
    EXPECT_EQ(second.at(column("uid")), "");  // the loader names no chip
    EXPECT_EQ(second.at(column("boot_image")), "");
    EXPECT_EQ(second.at(column("pacing")), "exact");
    EXPECT_EQ(second.at(column("result")), "refused");
    EXPECT_EQ(second.at(column("exit")), "1");
    EXPECT_EQ(second.at(column("message")), refusal);

    // "What happened to this radio": its one job, whatever the case of the uid.
    std::string lowerUid = uid;
    std::transform(lowerUid.begin(), lowerUid.end(), lowerUid.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string day = first.at(column("started")).get<std::string>().substr(0, 10);
    const RunResult asked = RunKorvane(folder, {"history", "--uid", lowerUid, "--since", day,
                                                "--json", "--history", history.string()});
    EXPECT_EQ(asked.exitStatus, 0) << asked.err;
    const auto jobs = ParseJson(asked.out);
    ASSERT_TRUE(jobs && jobs->is_array() && jobs->size() == 1) << asked.out;
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(jobs->at(0).at(rows[0].at(i).get<std::string>()), first.at(i)) << rows[0].at(i);
    }
}

TEST(FlashHistory, AHistoryThatCannotBeWrittenIsAWarningOnly)
{
    const ProgramFolder folder;
    folder.WriteSysDat(kEnglish, 0);
    const fs::path notAFile = folder.ScratchDir() / "history-folder";
    fs::create_directory(notAFile);
    sim::SimOptions inLoader;
    inLoader.startInLoader = true;
    sim::PtyRadio radio(inLoader);
    const RunResult run = RunKorvane(
        folder, {"flash", "--port", radio.SlavePath(), "--json", "--history", notAFile.string(),
                 "--user", folder.WriteFile("u.bin", Image(5000, 3)).string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    const auto json = ParseJson(run.out);
    ASSERT_TRUE(json) << run.out;
    EXPECT_EQ(json->at("result"), "success");
    EXPECT_NE(json->at("warning").get<std::string>().find("history-folder"), std::string::npos);
    EXPECT_NE(run.err.find("korvane: warning: "), std::string::npos) << run.err;
    EXPECT_EQ(folder.CounterInSysDat(), 1);

    // Read back, the history is what it says it is: unreadable, or empty.
    const RunResult unreadable = RunKorvane(folder, {"history", "--history", notAFile.string()});
    EXPECT_EQ(unreadable.exitStatus, 1) << unreadable.err;
    const RunResult none = RunKorvane(folder, {"history", "--uid", "0BAD"});
    EXPECT_EQ(none.exitStatus, 0) << none.err;
    EXPECT_EQ(none.out, "No jobs recorded for radio 0BAD.\n");
}

}  // namespace
}  // namespace korvane::testing
