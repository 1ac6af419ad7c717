// Sys.dat as the program meets it: absent, short, long, unreadable, unwritable,
// saved from two threads at once; and the block reads and writes beneath it.
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/ExeDir.h"
#include "settings/FileBlock.h"
#include "tests/settings/TempDir.h"

namespace korvane::settings {
namespace {

using test::Entries;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// The record and the lock file that guards it, made at the first save.
const std::vector<std::string> kRecordAndLock = {"Sys.dat", "Sys.dat.lock"};

std::string Pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    return bytes;
}

TEST(SettingsStoreTest, LoadTakesWhatTheFileGivesAndSaveWritesTheWholeRecord)
{
    struct Case {
        const char* name;
        std::optional<std::size_t> fileSize;  // nullopt: no file at all
        std::size_t bytesTaken;               // leading bytes of the file that the record holds
    };
    const Case cases[] = {
        {"absent", std::nullopt, 0}, {"empty", 0, 0},
        {"34 bytes", 34, 34},        {"1024 bytes", 1024, 1024},
        {"4096 bytes", 4096, 1024},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const auto sysPath = dir / "Sys.dat";
        const std::string contents = Pattern(c.fileSize.value_or(0));
        if (c.fileSize) WriteBytes(sysPath, contents);

        SettingsStore store(sysPath);
        const SysData loaded = store.Snapshot();
        for (std::size_t i = 0; i < SysData::kSize; ++i) {
            const auto expected = i < c.bytesTaken ? static_cast<std::uint8_t>(contents[i]) : 0;
            ASSERT_EQ(loaded.Bytes()[i], expected) << "offset " << i;
        }

        // The first save writes exactly 1024 bytes: a short file grows, a long one is cut.
        ASSERT_TRUE(store.Modify([](SysData& data) { data.SetComIndex(3); }));
        const auto saved = ReadBytes(sysPath);
        ASSERT_EQ(saved.size(), SysData::kSize);
        for (std::size_t i = 0; i < SysData::kSize; ++i) {
            const auto expected = i == SysData::kComIndexOffset ? 3 : loaded.Bytes()[i];
            ASSERT_EQ(saved[i], expected) << "offset " << i;
        }
        EXPECT_EQ(Entries(dir.Path()), kRecordAndLock);
    }
}

TEST(SettingsStoreTest, ThirtyFourByteFileKeepsItsPortAndCountsFromZero)
{
    TempDir dir;
    std::string contents(34, '\0');
    contents[32] = 1;
    contents[33] = 5;
    WriteBytes(dir / "Sys.dat", contents);
    SettingsStore store(dir / "Sys.dat");
    EXPECT_EQ(store.Language(), 1);
    EXPECT_EQ(store.ComIndex(), 5);
    EXPECT_EQ(store.UpgradeCount(), 0);
}

TEST(SettingsStoreTest, CountOfFiveIsReadFromOffset38)
{
    TempDir dir;
    std::string contents(SysData::kSize, '\0');
    contents.replace(38, 4, std::string("\x05\x00\x00\x00", 4));
    WriteBytes(dir / "Sys.dat", contents);
    EXPECT_EQ(SettingsStore(dir / "Sys.dat").UpgradeCount(), 5);
}

TEST(SettingsStoreTest, UnreadableFileLeavesTheRecordZeroAndSaysWhy)
{
    // A directory under the name cannot be read even by root.
    TempDir dir;
    std::filesystem::create_directory(dir / "Sys.dat");
    const SettingsStore store(dir / "Sys.dat");
    const SysData loaded = store.Snapshot();
    for (std::uint8_t byte : loaded.Bytes()) ASSERT_EQ(byte, 0);
    const std::optional<FileError> problem = store.ReadProblem();
    ASSERT_TRUE(problem);
    EXPECT_NE(std::string(problem->what()).find("Sys.dat"), std::string::npos);
    EXPECT_FALSE(SettingsStore(dir / "absent").ReadProblem()) << "no file is no settings yet";
}

TEST(SettingsStoreTest, FailedSaveIsReportedAndTheValueStaysInMemory)
{
    TempDir dir;
    // The folder "is" a regular file: nothing can be created inside it, even by root.
    WriteBytes(dir / "folder", "not a folder");
    SettingsStore store(dir / "folder" / "Sys.dat");
    EXPECT_FALSE(store.Modify([](SysData& data) { data.SetUpgradeCount(42); }));
    EXPECT_EQ(store.UpgradeCount(), 42);
    const CountChange change = store.IncrementUpgradeCount();
    EXPECT_FALSE(change.saved);
    EXPECT_EQ(change.count, 43);
    EXPECT_EQ(store.UpgradeCount(), 43);
}

TEST(SettingsStoreTest, FolderUnderTheNameIsKeptAndNoFileIsMade)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "Sys.dat");
    WriteBytes(dir / "Sys.dat" / "keep", "old");
    SettingsStore store(dir / "Sys.dat");
    EXPECT_FALSE(store.Modify([](SysData& data) { data.SetComIndex(2); }));
    EXPECT_EQ(store.ComIndex(), 2);
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"Sys.dat"});
    EXPECT_EQ(Entries(dir / "Sys.dat"), std::vector<std::string>{"keep"});
}

TEST(SettingsStoreTest, ReadOnlyFileIsKeptAndItsRightsSurviveASave)
{
    TempDir dir;
    const auto sysPath = dir / "Sys.dat";
    WriteBytes(sysPath, std::string(SysData::kSize, '\0'));
    namespace fs = std::filesystem;
    fs::permissions(sysPath, fs::perms::owner_read | fs::perms::group_read);
    SettingsStore store(sysPath);
    EXPECT_FALSE(store.Modify([](SysData& data) { data.SetComIndex(4); }));
    EXPECT_EQ(store.ComIndex(), 4);
    EXPECT_EQ(SettingsStore(sysPath).ComIndex(), 0);

    fs::permissions(sysPath, fs::perms::owner_read | fs::perms::owner_write);
    const fs::perms rights = fs::status(sysPath).permissions();
    EXPECT_TRUE(store.SetComIndex(4));
    EXPECT_EQ(SettingsStore(sysPath).ComIndex(), 4);
    EXPECT_EQ(fs::status(sysPath).permissions(), rights);
}

TEST(SettingsStoreTest, BytesOutsideTheFieldsComeBackByteForByte)
{
    TempDir dir;
    const std::string contents = Pattern(SysData::kSize);
    WriteBytes(dir / "Sys.dat", contents);
    SettingsStore store(dir / "Sys.dat");
    ASSERT_TRUE(store.Modify([](SysData& data) {
        data.SetComIndex(1);
        data.SetUpgradeCount(data.UpgradeCount() + 1);
    }));
    ASSERT_TRUE(store.Modify([](SysData& data) { data.SetUpgradeCount(0); }));

    const auto saved = ReadBytes(dir / "Sys.dat");
    ASSERT_EQ(saved.size(), SysData::kSize);
    for (std::size_t i = 0; i < SysData::kSize; ++i) {
        const bool isChangedField = i == SysData::kComIndexOffset || (i >= 38 && i < 42);
        if (!isChangedField) {
            ASSERT_EQ(saved[i], static_cast<std::uint8_t>(contents[i])) << i;
        }
    }
    EXPECT_EQ(saved[SysData::kComIndexOffset], 1);
    EXPECT_EQ(SettingsStore(dir / "Sys.dat").UpgradeCount(), 0);
}

TEST(SettingsStoreTest, ConcurrentIncrementsAreNeitherLostNorTorn)
{
    TempDir dir;
    SettingsStore store(dir / "Sys.dat");
    constexpr int kPerThread = 100;
    auto increment = [&] {
        for (int i = 0; i < kPerThread; ++i) {
            store.Modify([](SysData& data) { data.SetUpgradeCount(data.UpgradeCount() + 1); });
        }
    };
    std::thread worker(increment);
    std::thread dialog(increment);
    // A reader on a third thread sees only whole values.
    std::thread reader([&] {
        for (int i = 0; i < kPerThread; ++i) {
            const std::int32_t count = store.UpgradeCount();
            EXPECT_GE(count, 0);
            EXPECT_LE(count, 2 * kPerThread);
        }
    });
    worker.join();
    dialog.join();
    reader.join();
    EXPECT_EQ(store.UpgradeCount(), 2 * kPerThread);
    EXPECT_EQ(SettingsStore(dir / "Sys.dat").UpgradeCount(), 2 * kPerThread);
    EXPECT_EQ(Entries(dir.Path()), kRecordAndLock);
}

TEST(SettingsStoreTest, EachChangeKeepsWhatOthersSavedMeanwhile)
{
    TempDir dir;
    const auto sysPath = dir / "Sys.dat";
    // Two processes' views, both loaded before either saved.
    SettingsStore dialog(sysPath);
    SettingsStore commandLine(sysPath);
    ASSERT_TRUE(dialog.SetComIndex(3));
    EXPECT_EQ(commandLine.IncrementUpgradeCount().count, 1);
    EXPECT_EQ(dialog.IncrementUpgradeCount().count, 2);
    ASSERT_TRUE(commandLine.SetLanguage(1));
    EXPECT_EQ(commandLine.ComIndex(), 3) << "the record in memory is the fresh one";

    const SysData saved = SettingsStore(sysPath).Snapshot();
    EXPECT_EQ(saved.ComIndex(), 3);
    EXPECT_EQ(saved.UpgradeCount(), 2);
    EXPECT_EQ(saved.Language(), 1);
    ASSERT_TRUE(dialog.ClearUpgradeCount());
    EXPECT_EQ(SettingsStore(sysPath).Snapshot().Language(), 1);
    EXPECT_EQ(SettingsStore(sysPath).UpgradeCount(), 0);
}

TEST(SettingsStoreTest, TheCountStopsAtItsLargestValue)
{
    constexpr std::int32_t kLargest = 0x7FFFFFFF;
    struct Case {
        std::int32_t before;
        std::int32_t after;
    };
    const Case cases[] = {{0, 1}, {kLargest - 1, kLargest}, {kLargest, kLargest}, {-1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        TempDir dir;
        SysData record;
        record.SetUpgradeCount(c.before);
        WriteBytes(dir / "Sys.dat", std::string(record.Bytes().begin(), record.Bytes().end()));
        SettingsStore store(dir / "Sys.dat");
        const CountChange change = store.IncrementUpgradeCount();
        EXPECT_TRUE(change.saved);
        EXPECT_EQ(change.count, c.after);
        EXPECT_EQ(SettingsStore(dir / "Sys.dat").UpgradeCount(), c.after);
    }
}

TEST(SettingsStoreTest, TemporaryFilesOfAKilledSaveGoAtTheNextSave)
{
    TempDir dir;
    // What saves killed midway leave, in this version's and the older naming,
    // beside files that are none of them.
    for (const char* name : {"Sys.dat.tmp", "Sys.dat.tmp-3920-1", "Sys.dat.tmp-17-22"}) {
        WriteBytes(dir / name, "partial");
    }
    for (const char* name : {"Sys.dat.tmpl", "Other.dat.tmp-1-1"}) WriteBytes(dir / name, "keep");
    SettingsStore store(dir / "Sys.dat");
    ASSERT_TRUE(store.SetComIndex(1));
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"Other.dat.tmp-1-1", "Sys.dat",
                                                             "Sys.dat.lock", "Sys.dat.tmpl"}));
}

TEST(FileBlockTest, ReadStopsAtTheLimitAndLeavesTheRestOfTheBuffer)
{
    TempDir dir;
    WriteBytes(dir / "data", "abcdef");
    struct Case {
        std::uint32_t limit;
        std::size_t bufferSize;
        std::string expected;  // '.' marks a byte left as it was
    };
    const Case cases[] = {{4, 8, "abcd...."}, {100, 8, "abcdef.."}, {100, 3, "abc"}, {0, 2, ".."}};
    for (const Case& c : cases) {
        std::vector<std::uint8_t> buffer(c.bufferSize, '.');
        EXPECT_TRUE(ReadFileBlock(c.limit, dir / "data", buffer));
        EXPECT_EQ(std::string(buffer.begin(), buffer.end()), c.expected) << c.limit;
    }
}

TEST(FileBlockTest, ReadOfWhatIsNotAFileFails)
{
    TempDir dir;
    std::vector<std::uint8_t> buffer(4, 'x');
    EXPECT_FALSE(ReadFileBlock(4, dir / "missing", buffer));
    EXPECT_FALSE(ReadFileBlock(4, dir.Path(), buffer));
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "xxxx");
}

TEST(FileBlockTest, WriteReplacesTheFileWholeAtLongAndUnusualPaths)
{
    TempDir dir;
    // Deeper than the 260 units an old fixed buffer would hold, with spaces and Chinese.
    auto folder = dir.Path();
    for (int i = 0; i < 12; ++i)
        folder /= "一个很长的文件夹 folder with spaces " + std::to_string(i);
    std::filesystem::create_directories(folder);
    ASSERT_GT(folder.native().size(), 260u);
    const auto path = folder / "Sys.dat";

    WriteBytes(path, std::string(4096, 'o'));
    const std::vector<std::uint8_t> fresh = {1, 2, 3};
    ASSERT_TRUE(WriteFileBlock(path, fresh));
    EXPECT_EQ(ReadBytes(path), fresh);
    EXPECT_EQ(Entries(folder), std::vector<std::string>{"Sys.dat"});
}

TEST(FileBlockTest, WriteWithoutAFileNameFails)
{
    EXPECT_FALSE(WriteFileBlock("", std::vector<std::uint8_t>{1}));
}

TEST(ExeDirTest, IsTheFolderHoldingThisProgram)
{
    const auto dir = base::GetExeDir();
    ASSERT_TRUE(dir.is_absolute());
    EXPECT_FALSE(dir.filename().empty()) << "no trailing separator";
    EXPECT_TRUE(std::filesystem::exists(dir / KORVANE_TEST_PROGRAM_NAME));
}

}  // namespace
}  // namespace korvane::settings
