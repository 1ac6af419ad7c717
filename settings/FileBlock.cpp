// Whole-block reads of a file's start, and atomic whole-file replacement.
#include "settings/FileBlock.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#include "settings/FileSync.h"

namespace korvane::settings {

namespace {
constexpr const char* kTempMarker = ".tmp-";
constexpr auto kAnyWrite = std::filesystem::perms::owner_write |
                           std::filesystem::perms::group_write |
                           std::filesystem::perms::others_write;

// A name beside the target that no other save (of this or another process) uses.
std::filesystem::path TempPathBeside(const std::filesystem::path& path)
{
    static std::atomic<unsigned> counter{0};
    static const unsigned processSalt = std::random_device{}();
    std::filesystem::path temp = path;
    temp += kTempMarker + std::to_string(processSalt) + "-" + std::to_string(++counter);
    return temp;
}
}  // namespace

bool ReadFileBlock(std::uint32_t limit, const std::filesystem::path& path,
                   std::span<std::uint8_t> destination)
{
    // A directory or device under the name is "no file" as far as the record goes.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return false;

    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) return false;

    const std::size_t wanted = std::min<std::size_t>(limit, destination.size());
    file.read(reinterpret_cast<char*>(destination.data()), static_cast<std::streamsize>(wanted));
    // Reaching the end early is fine (a short file); a read error is not.
    return !file.bad();
}

bool WriteFileBlock(const std::filesystem::path& path, std::span<const std::uint8_t> source)
{
    if (!path.has_filename()) return false;
    std::error_code error;
    // A rename would replace even a file marked read-only; the mark means "keep
    // this record", so such a file is not written, as opening it would fail.
    const std::filesystem::file_status existing = std::filesystem::status(path, error);
    const bool exists = !error && std::filesystem::exists(existing);
    if (exists && (existing.permissions() & kAnyWrite) == std::filesystem::perms::none) {
        return false;
    }

    const std::filesystem::path temp = TempPathBeside(path);
    if (!detail::WriteNewFileDurably(temp, source)) {
        std::filesystem::remove(temp, error);
        return false;
    }
    // The new file keeps the access rights the old one had.
    if (exists) std::filesystem::permissions(temp, existing.permissions(), error);
    if (!detail::ReplaceFile(temp, path)) {
        std::filesystem::remove(temp, error);
        return false;
    }
    return true;
}

}  // namespace korvane::settings
