// Durable file writes on Windows: CreateFileW with CREATE_NEW, WriteFile, FlushFileBuffers;
// MoveFileExW with write-through for the replacement.
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

bool WriteNewFileDurably(const std::filesystem::path& path, std::span<const std::uint8_t> bytes)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    while (ok && !bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min(bytes.size(), kMaxWriteChunk));
        DWORD written = 0;
        ok = ::WriteFile(file, bytes.data(), chunk, &written, nullptr) != 0 && written > 0;
        if (ok) bytes = bytes.subspan(written);
    }
    ok = ok && ::FlushFileBuffers(file) != 0;
    return ::CloseHandle(file) != 0 && ok;
}

bool ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to)
{
    return ::MoveFileExW(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace korvane::settings::detail
