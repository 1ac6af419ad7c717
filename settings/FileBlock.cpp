// Whole-block reads of a file's start, the record's lock across processes, and
// whole-file replacement (atomic where the folder allows it).
#include "settings/FileBlock.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <system_error>

#include "settings/FileSync.h"

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
    // A directory or device under the name is "no file" as far as the record goes.
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return false;

    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) return false;

    const std::size_t wanted = std::min<std::size_t>(limit, destination.size());
    file.read(reinterpret_cast<char*>(destination.data()), static_cast<std::streamsize>(wanted));
    // Reaching the end early is fine (a short file); a read error is not.
    return !file.bad();
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

bool LockRecordFile(detail::FileLock& lock, const std::filesystem::path& target,
                    detail::LockKind kind)
{
    if (!target.has_filename()) return false;
    const bool makeLockFile = kind == detail::LockKind::Exclusive;
    if (lock.Lock(WithSuffix(target, kLockSuffix), kind, makeLockFile)) return true;
    return lock.Lock(target, kind, false);
}

bool WriteFileBlock(const std::filesystem::path& path, std::span<const std::uint8_t> source)
{
    const fs::path target = ResolveLinks(path);
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
