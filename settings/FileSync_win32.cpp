// Durable file writes on Windows: CreateFileW with CREATE_NEW, WriteFile, FlushFileBuffers;
// MoveFileExW with write-through for the replacement; SetEndOfFile for a write in place.
#include "settings/FileSync.h"

#include <algorithm>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h maps ReplaceFile to ReplaceFileW; this file defines its own.
#undef ReplaceFile

namespace korvane::settings::detail {

namespace {
// Largest piece handed to one WriteFile call (its count is a DWORD).
constexpr std::size_t kMaxWriteChunk = 1u << 30;
}  // namespace

namespace {
bool WriteAll(HANDLE file, std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min(bytes.size(), kMaxWriteChunk));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0)
            return false;
        bytes = bytes.subspan(written);
    }
    return true;
}
}  // namespace

bool WriteNewFileDurably(const std::filesystem::path& path, std::span<const std::uint8_t> bytes)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool ok = WriteAll(file, bytes) && ::FlushFileBuffers(file) != 0;
    return ::CloseHandle(file) != 0 && ok;
}

bool WriteInPlaceDurably(const std::filesystem::path& path, std::span<const std::uint8_t> bytes)
{
    // Others may hold the file open to read it or to lock it: share everything.
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool ok = ::GetFileType(file) == FILE_TYPE_DISK && WriteAll(file, bytes) &&
                    ::SetEndOfFile(file) != 0 && ::FlushFileBuffers(file) != 0;
    return ::CloseHandle(file) != 0 && ok;
}

bool ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to)
{
    return ::MoveFileExW(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace korvane::settings::detail
