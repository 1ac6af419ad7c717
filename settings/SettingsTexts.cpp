// The settings module's own texts, with the English built in.
#include "settings/SettingsTexts.h"

#include <chrono>

#include "base/TextEncoding.h"
#include "settings/OwnText.h"

namespace korvane::settings {

namespace {
constexpr std::int32_t kTextRefusedLink = kOwnTextSettings + 1;
constexpr std::int32_t kTextDevice = kOwnTextSettings + 2;
constexpr std::int32_t kTextFifo = kOwnTextSettings + 3;
constexpr std::int32_t kTextFolder = kOwnTextSettings + 4;
constexpr std::int32_t kTextLargerFile = kOwnTextSettings + 5;
constexpr std::int32_t kTextMissing = kOwnTextSettings + 6;
constexpr std::int32_t kTextCannotRead = kOwnTextSettings + 7;
constexpr std::int32_t kTextNotAFile = kOwnTextSettings + 8;
constexpr std::int32_t kTextLockBusy = kOwnTextSettings + 9;
constexpr std::int32_t kTextLockStopped = kOwnTextSettings + 10;
constexpr std::int32_t kTextLockNotRegular = kOwnTextSettings + 11;
constexpr std::int32_t kTextUnknownCount = kOwnTextSettings + 12;
constexpr std::int32_t kTextLinkToNothing = kOwnTextSettings + 13;
constexpr std::int32_t kTextOtherThanFile = kOwnTextSettings + 14;
constexpr std::int32_t kTextCannotWrite = kOwnTextSettings + 15;
constexpr std::int32_t kTextHintLink = kOwnTextSettings + 16;
constexpr std::int32_t kTextHintRead = kOwnTextSettings + 17;
constexpr std::int32_t kTextHintBusy = kOwnTextSettings + 18;
constexpr std::int32_t kTextHintWrite = kOwnTextSettings + 19;

std::string Utf8(const std::filesystem::path& path)
{
    return base::PathToUtf8(path);
}
}  // namespace

std::string DescribeFileType(std::filesystem::file_type type)
{
    using std::filesystem::file_type;
    switch (type) {
        case file_type::directory:
            return OwnText(kTextFolder, "a folder");
        case file_type::block:
        case file_type::character:
            return OwnText(kTextDevice, "a device");
        case file_type::fifo:
            return OwnText(kTextFifo, "a FIFO");
        case file_type::symlink:
        case file_type::not_found:
            return OwnText(kTextLinkToNothing, "a link to nothing");
        default:
            return OwnText(kTextOtherThanFile, "something other than a file");
    }
}

std::string DescribeMissingTarget()
{
    return OwnText(kTextMissing, "missing");
}

std::string DescribeLargerFile(std::uintmax_t limit)
{
    return OwnText(kTextLargerFile, "a file larger than {0} bytes", {std::to_string(limit)});
}

std::string NotAFileReason(const std::string& what)
{
    return OwnText(kTextNotAFile, "it is {0}, not a file", {what});
}

std::string UnknownCountText()
{
    return OwnText(kTextUnknownCount, "unknown");
}

FileError RefusedLinkError(const std::filesystem::path& link, const std::filesystem::path& target,
                           const std::string& what)
{
    return FileError(
        OwnText(kTextRefusedLink,
                "{0} is a link to {1}, which is {2}: settings are neither read from it nor saved "
                "through it",
                {Utf8(link), Utf8(target), what}),
        OwnText(kTextHintLink,
                "Let the link lead to a regular file of at most 1,024 bytes, or remove it to start "
                "with fresh settings"));
}

FileError ReadError(const std::filesystem::path& path, const std::string& reason)
{
    return FileError(OwnText(kTextCannotRead, "Cannot read {0}: {1}", {Utf8(path), reason}),
                     OwnText(kTextHintRead, "Check what is at that name and its access rights"));
}

FileError LockBusyError(const std::filesystem::path& lockFile, std::chrono::milliseconds waited)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(waited).count();
    return FileError(OwnText(kTextLockBusy,
                             "Another program holds {0}, the lock of the settings file; gave up "
                             "after {1} s",
                             {Utf8(lockFile), std::to_string(seconds)}),
                     OwnText(kTextHintBusy,
                             "Wait for the other korvane or STM32_Korvane to finish (or close "
                             "it), then try again"));
}

FileError LockStoppedError(const std::filesystem::path& lockFile)
{
    return FileError(OwnText(kTextLockStopped, "The wait for {0} was stopped", {Utf8(lockFile)}));
}

FileError LockNotRegularError(const std::filesystem::path& lockFile, const std::string& what)
{
    return FileError(OwnText(kTextLockNotRegular,
                             "{0}, the lock of the settings file, is {1}: settings are not saved",
                             {Utf8(lockFile), what}),
                     OwnText(kTextHintRead, "Check what is at that name and its access rights"));
}

FileError WriteError(const std::filesystem::path& path)
{
    return FileError(
        OwnText(kTextCannotWrite, "Cannot write {0}", {Utf8(path)}),
        OwnText(kTextHintWrite, "Check that the folder is writable and Sys.dat is not read-only"));
}

}  // namespace korvane::settings
