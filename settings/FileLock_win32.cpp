// The lock across processes on Windows: LockFileEx on a handle of our own. The
// locked byte lies far past any data, because Windows byte-range locks are
// mandatory: a lock on the data itself would block our own reads and writes
// of the record through other handles.
#include "settings/FileLock.h"

#include <windows.h>

namespace korvane::settings::detail {

namespace {
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;  // byte 2^62 and up: never data
constexpr DWORD kLockLength = 1;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE OpenForLocking(const std::filesystem::path& path, bool create)
{
    HANDLE handle =
        ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                      create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        handle = ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) return handle;
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        ::CloseHandle(handle);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

OVERLAPPED LockPosition()
{
    OVERLAPPED position{};
    position.OffsetHigh = kLockOffsetHigh;
    return position;
}
}  // namespace

bool FileLock::Lock(const std::filesystem::path& path, LockKind kind, bool create)
{
    Unlock();
    const HANDLE handle = OpenForLocking(path, create);
    if (handle == INVALID_HANDLE_VALUE) return false;
    OVERLAPPED position = LockPosition();
    const DWORD flags = kind == LockKind::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0;
    if (!::LockFileEx(handle, flags, 0, kLockLength, 0, &position)) {
        ::CloseHandle(handle);
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(handle);
    return true;
}

void FileLock::Unlock()
{
    if (!Held()) return;
    const HANDLE handle = reinterpret_cast<HANDLE>(m_handle);
    OVERLAPPED position = LockPosition();
    ::UnlockFileEx(handle, 0, kLockLength, 0, &position);
    ::CloseHandle(handle);
    m_handle = kNoHandle;
}

}  // namespace korvane::settings::detail
