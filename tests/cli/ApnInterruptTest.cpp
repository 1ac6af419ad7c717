// `korvane apn` with an adb that never returns: Ctrl-C, SIGTERM or SIGHUP ends
// adb (and what it started), waits for it, and korvane exits with the status
// of the signal (130, 143, 129).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>

#include "tests/cli/KorvaneProcess.h"

namespace korvane::testing {
namespace {

void StopAdbWith(int signal, int expectedStatus)
{
    const ProgramFolder folder;
    const std::filesystem::path pidFile = folder.ScratchDir() / "adb.pid";
    // Written aside and renamed, so the file is never seen before it holds the pid.
    const std::string script = "#!/bin/sh\necho $$ > '" + pidFile.string() + ".new'\nmv '" +
                               pidFile.string() + ".new' '" + pidFile.string() +
                               "'\nexec sleep 600\n";
    const auto adb = folder.WriteFile("adb", {script.begin(), script.end()});
    std::filesystem::permissions(adb, std::filesystem::perms::owner_all);

    KorvaneProcess korvane(folder, {"apn", "--name", "internet"});
    // Generous bounds: they only matter when the test fails.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!std::filesystem::exists(pidFile) && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_t adbPid = 0;
    std::ifstream(pidFile) >> adbPid;
    ASSERT_GT(adbPid, 0) << "adb was not started";

    korvane.Signal(signal);  // to korvane alone, as kill would
    const auto result = korvane.Wait(std::chrono::seconds(30));
    ASSERT_TRUE(result.has_value()) << "korvane did not end after the signal";
    EXPECT_EQ(result->exitStatus, expectedStatus) << result->err;
    EXPECT_NE(result->err.find("adb was stopped"), std::string::npos) << result->err;
    // korvane waited for adb: it is gone, not left running or as a zombie.
    EXPECT_EQ(::kill(adbPid, 0), -1) << "adb outlived korvane";
    ::kill(adbPid, SIGKILL);
}

TEST(KorvaneApnInterrupt, ASignalEndsAdbAndExitsWithItsStatus)
{
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}}) {
        SCOPED_TRACE(signal);
        StopAdbWith(signal, status);
    }
}

}  // namespace
}  // namespace korvane::testing
