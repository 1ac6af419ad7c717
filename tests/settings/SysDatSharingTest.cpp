// Sys.dat shared through the real file system: processes and threads counting at
// once, a clear in the middle, a folder the user may not write, symbolic links.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "settings/SettingsStore.h"
#include "tests/settings/TempDir.h"

namespace korvane::settings {
namespace {

namespace fs = std::filesystem;
using test::Entries;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

constexpr int kChildSkipped = 77;

// Runs `body` in a child process; its result becomes the exit status.
pid_t StartChild(const std::function<bool()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body() ? 0 : 1);
    return pid;
}

// Whether the child has ended, leaving it to be waited for.
bool HasEnded(pid_t pid)
{
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

int WaitForChild(pid_t pid)
{
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// `increments` counts by each of `threads` threads, each with a store of its
// own; true when every one was saved.
bool CountInThreads(const fs::path& sysPath, int threads, int increments)
{
    std::atomic<bool> allSaved{true};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            SettingsStore store(sysPath);
            for (int i = 0; i < increments; ++i) {
                if (!store.IncrementUpgradeCount().saved) allSaved = false;
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    return allSaved;
}

TEST(SysDatSharingTest, ProcessesAndThreadsCountEveryDownloadOnce)
{
    constexpr int kProcesses = 4;
    constexpr int kThreads = 2;
    constexpr int kIncrements = 40;
    TempDir dir;
    const fs::path sysPath = dir / "Sys.dat";
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        children.push_back(
            StartChild([&] { return CountInThreads(sysPath, kThreads, kIncrements); }));
    }
    const bool parentSaved = CountInThreads(sysPath, kThreads, kIncrements);
    for (pid_t child : children) EXPECT_EQ(WaitForChild(child), 0);
    EXPECT_TRUE(parentSaved);
    EXPECT_EQ(SettingsStore(sysPath).UpgradeCount(), (kProcesses + 1) * kThreads * kIncrements);
}

TEST(SysDatSharingTest, AClearLosesNoIncrementThatFollowedIt)
{
    constexpr int kProcesses = 3;
    constexpr int kIncrements = 60;
    constexpr int kTotal = kProcesses * kIncrements;
    TempDir dir;
    const fs::path sysPath = dir / "Sys.dat";
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        children.push_back(StartChild([&] { return CountInThreads(sysPath, 1, kIncrements); }));
    }
    // The clear lands wherever it lands: whatever it found is what it may take
    // away, and every increment after it must remain.
    SettingsStore clearing(sysPath);
    while (SettingsStore(sysPath).UpgradeCount() < kTotal / 3 && !HasEnded(children.front())) {
        std::this_thread::yield();
    }
    std::int32_t cleared = -1;
    ASSERT_TRUE(clearing.Modify([&](SysData& data) {
        cleared = data.UpgradeCount();
        data.SetUpgradeCount(0);
    }));
    for (pid_t child : children) EXPECT_EQ(WaitForChild(child), 0);
    EXPECT_GE(cleared, kTotal / 3);
    EXPECT_EQ(SettingsStore(sysPath).UpgradeCount(), kTotal - cleared);
}

TEST(SysDatSharingTest, WritableSysDatInAFolderTheUserMayNotWriteIsWrittenInPlace)
{
    // Permission bits do not stop root, so as root the save runs in a child
    // that has become the unprivileged user "nobody".
    constexpr uid_t kNobody = 65534;
    TempDir dir;
    const fs::path sysPath = dir / "Sys.dat";
    std::string contents(4096, '\x5A');  // longer than the record: cut to 1,024 bytes
    contents.replace(SysData::kUpgradeCountOffset, 4, std::string("\x07\x00\x00\x00", 4));
    WriteBytes(sysPath, contents);
    fs::permissions(sysPath, fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec &
                                 ~fs::perms::others_exec);
    fs::permissions(dir.Path(), fs::perms::owner_read | fs::perms::owner_exec |
                                    fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    const pid_t child = StartChild([&] {
        if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            ::_exit(kChildSkipped);
        }
        SettingsStore store(sysPath);
        const CountChange change = store.IncrementUpgradeCount();
        return change.saved && change.count == 8;
    });
    const int status = WaitForChild(child);
    fs::permissions(dir.Path(), fs::perms::owner_all);
    if (status == kChildSkipped) GTEST_SKIP() << "cannot become an unprivileged user";
    EXPECT_EQ(status, 0);

    const std::vector<std::uint8_t> saved = ReadBytes(sysPath);
    ASSERT_EQ(saved.size(), SysData::kSize);
    EXPECT_EQ(SettingsStore(sysPath).UpgradeCount(), 8);
    EXPECT_EQ(saved[SysData::kComIndexOffset], 0x5A) << "the other bytes stay";
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"Sys.dat"});
}

TEST(SysDatSharingTest, SymbolicLinksAreWrittenThroughToTheirTarget)
{
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links;  // link name -> where it points
        bool targetExists;
    };
    const Case cases[] = {
        {"relative link", {{"Sys.dat", "data/real.dat"}}, true},
        {"absolute link", {{"Sys.dat", "<abs>"}}, true},
        {"chain of links", {{"Sys.dat", "hop"}, {"hop", "data/real.dat"}}, true},
        {"link to no file yet", {{"Sys.dat", "data/real.dat"}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        fs::create_directory(dir / "data");
        const fs::path target = dir / "data" / "real.dat";
        std::string contents(SysData::kSize, '\0');
        contents[SysData::kUpgradeCountOffset] = 2;
        if (c.targetExists) WriteBytes(target, contents);
        for (const auto& [link, pointee] : c.links) {
            fs::create_symlink(pointee == "<abs>" ? target : fs::path(pointee), dir / link);
        }
        SettingsStore store(dir / "Sys.dat");
        EXPECT_EQ(store.IncrementUpgradeCount().count, c.targetExists ? 3 : 1);
        EXPECT_TRUE(fs::is_symlink(dir / "Sys.dat"));
        EXPECT_EQ(SettingsStore(target).UpgradeCount(), c.targetExists ? 3 : 1);
        EXPECT_EQ(ReadBytes(target).size(), SysData::kSize);
    }
}

}  // namespace
}  // namespace korvane::settings
