// Whole-block reads of a file's start, the record's lock across processes, and
// whole-file replacement (atomic where the folder allows it).
#include "settings/FileBlock.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

#include "settings/FileSync.h"
#include "settings/SettingsTexts.h"

namespace korvane::settings {

namespace {
namespace fs = std::filesystem;

constexpr const char* kTempSuffix = ".tmp";
// Older saves named their temporary files "<name>.tmp-<salt>-<n>".
constexpr char kOldTempSeparator = '-';
constexpr const char* kLockSuffix = ".lock";
// As many links as the kernel follows before it gives up with ELOOP.
constexpr int kMaxLinkHops = 40;
constexpr auto kAnyWrite =
    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;

fs::path WithSuffix(const fs::path& path, const char* suffix)
{
    fs::path result = path;
    result += suffix;
    return result;
}

// Under the exclusive lock no other save is under way, so any temporary file
// beside the record was left by a save that never finished.
void RemoveLeftoverTempFiles(const fs::path& target)
{
    // Compared in the platform's own form: no conversion can fail on a name.
    const fs::path::string_type stem = WithSuffix(target.filename(), kTempSuffix).native();
    const fs::path::string_type oldStem = stem + fs::path::value_type(kOldTempSeparator);
    const fs::path parent = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::error_code error;
    for (fs::directory_iterator it(parent, error), end; !error && it != end; it.increment(error)) {
        const fs::path::string_type name = it->path().filename().native();
        std::error_code ignored;
        if ((name == stem || name.starts_with(oldStem)) && !it->is_directory(ignored)) {
            fs::remove(it->path(), ignored);
        }
    }
}
}  // namespace

bool ReadFileBlock(std::uint32_t limit, const std::filesystem::path& path,
                   std::span<std::uint8_t> destination)
{
    std::string ignored;
    return ReadFileBlock(limit, path, destination, ignored);
}

bool ReadFileBlock(std::uint32_t limit, const std::filesystem::path& path,
                   std::span<std::uint8_t> destination, std::string& reason)
{
    // A directory or device under the name is "no file" as far as the record goes;
    // it is never opened (a FIFO would block the open).
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!fs::is_regular_file(status)) {
        reason = fs::exists(status)
                     ? NotAFileReason(DescribeFileType(status.type()))
                     : std::make_error_code(std::errc::no_such_file_or_directory).message();
        return false;
    }

    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        const int cause = errno != 0 ? errno : EACCES;
        reason = std::generic_category().message(cause);
        return false;
    }

    const std::size_t wanted = std::min<std::size_t>(limit, destination.size());
    file.read(reinterpret_cast<char*>(destination.data()), static_cast<std::streamsize>(wanted));
    // Reaching the end early is fine (a short file); a read error is not.
    if (file.bad()) {
        reason = std::make_error_code(std::errc::io_error).message();
        return false;
    }
    return true;
}

std::filesystem::path ResolveLinks(const std::filesystem::path& path)
{
    fs::path current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(current, error))) return current;
        const fs::path target = fs::read_symlink(current, error);
        if (error) return current;
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return {};
}

RecordFile InspectRecordFile(const std::filesystem::path& path, std::uintmax_t recordSize)
{
    RecordFile record;
    record.target = path;
    std::error_code error;
    const fs::file_status own = fs::symlink_status(path, error);
    if (!fs::is_symlink(own)) {
        // A failed look (a parent that is no folder) is treated as nothing there:
        // the save that follows fails and says so.
        if (fs::is_regular_file(own)) {
            record.kind = RecordKind::File;
        } else if (error || !fs::exists(own)) {
            record.kind = RecordKind::Missing;
        } else {
            record.kind = RecordKind::NotAFile;
            record.what = DescribeFileType(own.type());
        }
        return record;
    }
    record.kind = RecordKind::RefusedLink;
    record.target = ResolveLinks(path);
    if (record.target.empty()) {
        record.target = path;
        record.what = DescribeFileType(fs::file_type::unknown);
        return record;
    }
    const fs::file_status final = fs::status(record.target, error);
    if (!fs::exists(final)) {
        record.what = DescribeMissingTarget();
    } else if (!fs::is_regular_file(final)) {
        record.what = DescribeFileType(final.type());
    } else if (const std::uintmax_t size = fs::file_size(record.target, error);
               error || size > recordSize) {
        record.what = DescribeLargerFile(recordSize);
    } else {
        record.kind = RecordKind::File;
    }
    return record;
}

bool LockWait::Pause(std::chrono::milliseconds duration) const
{
    if (pause) return pause(duration);
    std::this_thread::sleep_for(duration);
    return true;
}

std::filesystem::path LockFilePath(const std::filesystem::path& target)
{
    return WithSuffix(target, kLockSuffix);
}

LockResult LockRecordFile(detail::FileLock& lock, const std::filesystem::path& target,
                          detail::LockKind kind, const LockWait& wait)
{
    if (!target.has_filename()) return LockResult::Failed;
    const bool makeLockFile = kind == detail::LockKind::Exclusive;
    switch (lock.Open(LockFilePath(target), makeLockFile)) {
        case detail::LockOpen::Opened:
            break;
        case detail::LockOpen::NotRegular:
            return LockResult::NotRegular;
        case detail::LockOpen::Failed:
            if (lock.Open(target, false) != detail::LockOpen::Opened) return LockResult::Failed;
            break;
    }
    // The wait counts the pauses it asked for, so on a virtual clock it ends at
    // exactly the limit; a loaded machine stretches it by its sleeps' lateness.
    std::chrono::milliseconds waited{0};
    for (;;) {
        switch (lock.TryLock(kind)) {
            case detail::LockAttempt::Granted:
                return LockResult::Granted;
            case detail::LockAttempt::Failed:
                lock.Unlock();
                return LockResult::Failed;
            case detail::LockAttempt::Busy:
                break;
        }
        if (waited >= wait.limit) {
            lock.Unlock();
            return LockResult::Busy;
        }
        const std::chrono::milliseconds pause = std::min(LockWait::kRetry, wait.limit - waited);
        if (!wait.Pause(pause)) {
            lock.Unlock();
            return LockResult::Stopped;
        }
        waited += pause;
    }
}

bool WriteFileBlock(const std::filesystem::path& path, std::span<const std::uint8_t> source)
{
    const RecordFile record = InspectRecordFile(path, source.size());
    if (record.kind == RecordKind::RefusedLink || record.kind == RecordKind::NotAFile) {
        return false;
    }
    // Through a link, the replacement is made in the folder of the link's final
    // target and renamed over that target: the link itself stays a link, and the
    // target is still replaced whole (a crash leaves the old or the new bytes),
    // which a write in place through the link could not promise.
    const fs::path& target = record.target;
    if (!target.has_filename()) return false;
    std::error_code error;
    // A rename would replace even a file marked read-only; the mark means "keep
    // this record", so such a file is not written, as opening it would fail.
    const fs::file_status existing = fs::status(target, error);
    const bool exists = !error && fs::exists(existing);
    if (exists && (existing.permissions() & kAnyWrite) == fs::perms::none) return false;

    RemoveLeftoverTempFiles(target);
    const fs::path temp = WithSuffix(target, kTempSuffix);
    if (!detail::WriteNewFileDurably(temp, source)) {
        fs::remove(temp, error);
        // No temporary file beside the record: a folder we may not write (or a
        // full disk). Writing over the record's own bytes is what remains.
        return detail::WriteInPlaceDurably(target, source);
    }
    // The new file keeps the access rights the old one had.
    if (exists) fs::permissions(temp, existing.permissions(), error);
    if (!detail::ReplaceFile(temp, target)) {
        fs::remove(temp, error);
        return false;
    }
    return true;
}

}  // namespace korvane::settings
