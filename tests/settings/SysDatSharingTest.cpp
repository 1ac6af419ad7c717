// Sys.dat shared through the real file system: processes and threads counting at
// once, a clear in the middle, a folder the user may not write, symbolic links
// and what they lead to, names that hold no file, a lock another program holds.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "settings/FileLock.h"
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

// These runs are about lost and torn counts, not about giving up: under their
// contention (ten savers in tight loops) a wait may well pass the usual limit.
LockWait Patient()
{
    LockWait wait;
    wait.limit = std::chrono::minutes(1);
    return wait;
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
                if (!store.IncrementUpgradeCount(Patient()).saved) allSaved = false;
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
    ASSERT_TRUE(clearing.Modify(
        [&](SysData& data) {
            cleared = data.UpgradeCount();
            data.SetUpgradeCount(0);
        },
        Patient()));
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
    };
    const Case cases[] = {
        {"relative link", {{"Sys.dat", "data/real.dat"}}},
        {"absolute link", {{"Sys.dat", "<abs>"}}},
        {"chain of links", {{"Sys.dat", "hop"}, {"hop", "data/real.dat"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        fs::create_directory(dir / "data");
        const fs::path target = dir / "data" / "real.dat";
        std::string contents(SysData::kSize, '\0');
        contents[SysData::kUpgradeCountOffset] = 2;
        WriteBytes(target, contents);
        for (const auto& [link, pointee] : c.links) {
            fs::create_symlink(pointee == "<abs>" ? target : fs::path(pointee), dir / link);
        }
        SettingsStore store(dir / "Sys.dat");
        EXPECT_EQ(store.IncrementUpgradeCount().count, 3);
        EXPECT_TRUE(fs::is_symlink(dir / "Sys.dat"));
        EXPECT_EQ(SettingsStore(target).UpgradeCount(), 3);
        EXPECT_EQ(ReadBytes(target).size(), SysData::kSize);
    }
}

// A link to anything but a small regular file reads as no settings and is
// never written: not the device, FIFO or folder it leads to, not a longer
// file, and no file is made where a link to nothing points. Nor is any lock
// file made beside its target.
TEST(SysDatSharingTest, LinksToWhatIsNoRecordAreLeftAlone)
{
    struct Case {
        const char* name;
        std::function<fs::path(const TempDir&)> make;  // makes the target, returns it
        const char* reason;                            // in the refusal
    };
    const Case cases[] = {
        {"device", [](const TempDir&) { return fs::path("/dev/null"); }, "a device"},
        {"FIFO",
         [](const TempDir& dir) {
             EXPECT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
             return dir / "fifo";
         },
         "a FIFO"},
        {"folder",
         [](const TempDir& dir) {
             fs::create_directory(dir / "folder");
             return dir / "folder";
         },
         "a folder"},
        {"larger file",
         [](const TempDir& dir) {
             WriteBytes(dir / "notes.txt", std::string(8893, 'n'));
             return dir / "notes.txt";
         },
         "larger than 1024 bytes"},
        {"nothing", [](const TempDir& dir) { return dir / "nowhere"; }, "missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path target = c.make(dir);
        const fs::file_status before = fs::status(target);
        const std::vector<std::uint8_t> bytes =
            fs::is_regular_file(before) ? ReadBytes(target) : std::vector<std::uint8_t>{};
        fs::create_symlink(target, dir / "Sys.dat");

        SettingsStore store(dir / "Sys.dat");
        EXPECT_FALSE(store.ReadProblem()) << "read as no settings";
        EXPECT_EQ(store.UpgradeCount(), 0);
        const CountChange change = store.IncrementUpgradeCount();
        EXPECT_FALSE(change.saved);
        ASSERT_TRUE(change.problem);
        EXPECT_NE(std::string(change.problem->what()).find(c.reason), std::string::npos)
            << change.problem->what();
        EXPECT_FALSE(change.problem->Hint().empty());

        EXPECT_TRUE(fs::is_symlink(dir / "Sys.dat"));
        EXPECT_EQ(fs::status(target).type(), before.type());
        if (fs::is_regular_file(before)) {
            EXPECT_EQ(ReadBytes(target), bytes);
        }
        EXPECT_FALSE(fs::exists(dir / "Sys.dat.lock"));
        EXPECT_FALSE(fs::exists(fs::path(target) += ".lock"));
    }
}

// The lock file is held to the same rule: through a link to nothing it makes
// no file, and a FIFO under its name is neither opened nor waited on.
TEST(SysDatSharingTest, LockFileThatIsNoFileRefusesTheSave)
{
    for (const bool fifo : {false, true}) {
        SCOPED_TRACE(fifo ? "FIFO" : "link to nothing");
        TempDir dir;
        WriteBytes(dir / "Sys.dat", std::string(SysData::kSize, '\0'));
        if (fifo) {
            ASSERT_EQ(::mkfifo((dir / "Sys.dat.lock").c_str(), 0600), 0);
        } else {
            fs::create_symlink(dir / "made-by-lock", dir / "Sys.dat.lock");
        }
        SettingsStore store(dir / "Sys.dat");
        EXPECT_FALSE(store.ReadProblem());
        const SaveResult saved = store.SetComIndex(2);
        ASSERT_FALSE(saved);
        EXPECT_NE(std::string(saved.problem->what()).find("Sys.dat.lock"), std::string::npos);
        EXPECT_FALSE(fs::exists(dir / "made-by-lock"));
        EXPECT_EQ(SettingsStore(dir / "Sys.dat").ComIndex(), 0);
    }
}

// What is under the name but cannot be read is an error with its reason, not
// a record of zeros, and no save goes over it.
TEST(SysDatSharingTest, UnreadableRecordIsAnErrorAndIsNotOverwritten)
{
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> make;
        const char* reason;
    };
    std::vector<Case> cases = {
        {"folder", [](const fs::path& p) { fs::create_directory(p); }, "a folder"},
        {"FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, "a FIFO"},
    };
    if (::geteuid() != 0) {
        cases.push_back({"no right to read",
                         [](const fs::path& p) {
                             std::string contents(SysData::kSize, '\0');
                             contents[SysData::kUpgradeCountOffset] = 5;
                             WriteBytes(p, contents);
                             fs::permissions(p, fs::perms::owner_write);
                         },
                         "ermission"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path sysPath = dir / "Sys.dat";
        c.make(sysPath);
        const fs::file_type type = fs::status(sysPath).type();
        SettingsStore store(sysPath);
        const std::optional<FileError> problem = store.ReadProblem();
        ASSERT_TRUE(problem);
        EXPECT_NE(std::string(problem->what()).find(c.reason), std::string::npos)
            << problem->what();
        EXPECT_FALSE(problem->Hint().empty());
        EXPECT_FALSE(store.IncrementUpgradeCount().saved);
        EXPECT_EQ(fs::status(sysPath).type(), type);
        if (type == fs::file_type::regular) {
            fs::permissions(sysPath, fs::perms::owner_read | fs::perms::owner_write);
            EXPECT_EQ(SettingsStore(sysPath).UpgradeCount(), 5);
        }
    }
}

// Another program holding the lock costs a read or a save the wait's limit on
// the clock it is given, then an error that names the lock file; a stop ends
// the wait at the pause it comes in.
TEST(SysDatSharingTest, HeldLockIsWaitedForUpToItsLimitOrAStop)
{
    TempDir dir;
    const fs::path sysPath = dir / "Sys.dat";
    SettingsStore store(sysPath);
    ASSERT_TRUE(store.SetComIndex(1));
    detail::FileLock other;  // another open file: flock tells it apart like another process
    ASSERT_EQ(other.Open(LockFilePath(sysPath), false), detail::LockOpen::Opened);
    ASSERT_EQ(other.TryLock(detail::LockKind::Exclusive), detail::LockAttempt::Granted);

    std::chrono::milliseconds waited{0};
    int pauses = 0;
    int stopAtPause = 0;  // 0: never
    LockWait wait;
    wait.pause = [&](std::chrono::milliseconds pause) {
        waited += pause;
        return ++pauses != stopAtPause;
    };
    const SaveResult busy = store.SetComIndex(2, wait);
    ASSERT_FALSE(busy);
    EXPECT_EQ(waited, LockWait::kDefaultLimit);
    const std::string message = busy.problem->what();
    EXPECT_NE(message.find(LockFilePath(sysPath).string()), std::string::npos) << message;
    EXPECT_NE(message.find("Another program holds"), std::string::npos) << message;
    EXPECT_FALSE(busy.problem->Hint().empty());

    waited = {};
    SettingsStore reader(sysPath, wait);
    EXPECT_TRUE(reader.ReadProblem());
    EXPECT_EQ(waited, LockWait::kDefaultLimit);

    waited = {};
    pauses = 0;
    stopAtPause = 3;
    const SaveResult stopped = store.SetComIndex(3, wait);
    ASSERT_FALSE(stopped);
    EXPECT_EQ(pauses, 3);
    EXPECT_NE(std::string(stopped.problem->what()).find("stopped"), std::string::npos);

    other.Unlock();
    EXPECT_EQ(SettingsStore(sysPath).ComIndex(), 1) << "no save went past the lock";
    EXPECT_TRUE(store.SetComIndex(4, wait));
}

}  // namespace
}  // namespace korvane::settings
