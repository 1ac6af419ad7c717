// CRC-32 and image loading: the label a technician compares with the vendor's,
// and the refusal of files that do not fit the image buffer.
#include <chrono>
#include <future>

#include <gtest/gtest.h>

#include "firmware/StatusText.h"
#include "firmware/image/Image.h"
#include "firmware/image/Qorin_CRC32.h"
#include "tests/firmware/FirmwareTestSupport.h"

#ifndef _WIN32  // FIFOs and /dev/zero
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korvane::firmware::test {
namespace {

// Bit-at-a-time CRC-32, independent of the table.
std::uint32_t ReferenceCrc(const Bytes& bytes)
{
    std::uint32_t reg = 0xFFFFFFFFu;
    for (std::uint8_t b : bytes) {
        reg ^= b;
        for (int i = 0; i < 8; ++i) reg = (reg >> 1) ^ (0xEDB88320u & (0u - (reg & 1u)));
    }
    return ~reg;
}

TEST(Crc32, KnownValuesAndLabels)
{
    const Qorin_CRC32 crc;
    struct Case {
        std::string text;
        const char* label;
    };
    for (const Case& c : {Case{"123456789", "CRC32:CBF43926"}, Case{"", "CRC32:00000000"},
                          Case{"a", "CRC32:E8B7BE43"}}) {
        const Bytes bytes(c.text.begin(), c.text.end());
        EXPECT_EQ(FormatCrcLabel(crc.Compute(bytes)), c.label) << c.text;
    }
}

TEST(Crc32, MatchesBitwiseReferenceOverAFullBuffer)
{
    const Bytes image = Pattern(kImageBufferSize, 7);
    EXPECT_EQ(Qorin_CRC32().Compute(image), ReferenceCrc(image));
    EXPECT_EQ(Qorin_CRC32().Table()[1], 0x77073096u);
}

TEST(LoadImage, ReadsUpToTheBufferSizeAndRefusesMore)
{
    const ScratchDir dir;
    const Bytes full = Pattern(kImageBufferSize);
    EXPECT_EQ(LoadImage(dir.WriteFile("full.bin", full)), full);
    EXPECT_TRUE(LoadImage(dir.WriteFile("empty.bin", {})).empty());

    const auto big = dir.WriteFile("big.bin", Pattern(kImageBufferSize + 1));
    try {
        LoadImage(big);
        FAIL() << "an image longer than the buffer was accepted";
    } catch (const ImageError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("big.bin"), std::string::npos) << what;
        EXPECT_NE(what.find("1024001"), std::string::npos) << what;
        EXPECT_NE(what.find("1024000"), std::string::npos) << what;
        EXPECT_EQ(e.Problem(), ImageProblem::TooLarge);
    }
}

// A file that is not there cannot be opened; a folder is not a file at all.
TEST(LoadImage, MissingFileOrFolderIsAnImageErrorNamingIt)
{
    const ScratchDir dir;
    for (const auto& [path, problem] :
         {std::pair{dir.Path() / "absent.bin", ImageProblem::CannotOpen},
          std::pair{dir.Path(), ImageProblem::NotRegular}}) {
        try {
            LoadImage(path);
            FAIL() << path;
        } catch (const ImageError& e) {
            EXPECT_NE(std::string(e.what()).find(path.filename().string()), std::string::npos)
                << e.what();
            EXPECT_EQ(e.Problem(), problem) << path;
        }
    }
}

#ifndef _WIN32
// Anything but a regular file is refused before it is opened: a FIFO with no
// writer would block the open for ever, /dev/zero would never end.
TEST(LoadImage, RefusesWhatIsNotARegularFileWithoutBlocking)
{
    const ScratchDir dir;
    const auto fifo = dir.Path() / "pipe.bin";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::filesystem::path& path : {fifo, std::filesystem::path("/dev/zero")}) {
        SCOPED_TRACE(path);
        auto load = std::async(std::launch::async, [&path]() -> std::string {
            try {
                return "accepted " + std::to_string(LoadImage(path).size()) + " bytes";
            } catch (const ImageError& e) {
                return e.what();
            }
        });
        // Only a faulty LoadImage waits here: a writer opened and closed
        // releases its open or read, so the test ends either way.
        if (load.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            ADD_FAILURE() << "LoadImage blocked";
            const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) ::close(writer);
        }
        const std::string what = load.get();
        EXPECT_NE(what.find("not a regular file"), std::string::npos) << what;
        EXPECT_NE(what.find(path.filename().string()), std::string::npos) << what;
    }
}
#endif

TEST(StatusText, EnglishOnlyForLanguageOne)
{
    for (std::uint8_t language : std::initializer_list<std::uint8_t>{0, 1, 2, 255}) {
        const bool english = language == kLanguageEnglish;
        EXPECT_EQ(StatusText(StatusId::BootDownloading, language),
                  english ? "BOOT download..." : "BOOT下载中。。。");
        EXPECT_EQ(StatusText(StatusId::BootCompleted, language),
                  english ? "BOOT download completed!" : "BOOT下载完成！");
        EXPECT_EQ(StatusText(StatusId::UserStart, language),
                  english ? "User program download start!" : "开启用户程序下载！");
        EXPECT_EQ(StatusText(StatusId::UserDownloading, language),
                  english ? "User program download..." : "用户程序下载中。。。");
        EXPECT_EQ(StatusText(StatusId::UserCompleted, language),
                  english ? "User program download completed！" : "用户程序下载完成！");
        EXPECT_EQ(StatusText(StatusId::Error, language), english ? "Error！" : "出错了！");
    }
    // The full-width marks are the three-byte UTF-8 forms of U+FF01 and U+3002.
    EXPECT_EQ(StatusText(StatusId::Error, 1), "Error\xEF\xBC\x81");
    EXPECT_EQ(StatusText(StatusId::BootDownloading, 0).substr(13, 3), "\xE3\x80\x82");
}

}  // namespace
}  // namespace korvane::firmware::test
