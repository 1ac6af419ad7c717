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

HANDLE OpenHandle(const std::filesystem::path& path, DWORD access, DWORD disposition)
{
    return ::CreateFileW(path.c_str(), access, kShareAll, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

OVERLAPPED LockPosition()
{
    OVERLAPPED position{};
    position.OffsetHigh = kLockOffsetHigh;
    return position;
}
}  // namespace

LockOpen FileLock::Open(const std::filesystem::path& path, bool create)
{
    Unlock();
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return LockOpen::NotRegular;
    }
    HANDLE handle = OpenHandle(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
        // The name is there but leads nowhere: a link to nothing, whose target we never make.
        if (attributes != INVALID_FILE_ATTRIBUTES) return LockOpen::NotRegular;
        if (!create) return LockOpen::Failed;
        // CREATE_NEW: whatever was put under the name meanwhile stays as it is.
        handle = OpenHandle(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    }
    // A file we may not write is still locked through a read-only handle.
    if (handle == INVALID_HANDLE_VALUE) handle = OpenHandle(path, GENERIC_READ, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) return LockOpen::Failed;
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        ::CloseHandle(handle);
        return LockOpen::NotRegular;
    }
    m_handle = reinterpret_cast<std::intptr_t>(handle);
    return LockOpen::Opened;
}

LockAttempt FileLock::TryLock(LockKind kind)
{
    if (!IsOpen()) return LockAttempt::Failed;
    const HANDLE handle = reinterpret_cast<HANDLE>(m_handle);
    OVERLAPPED position = LockPosition();
    const DWORD flags =
        LOCKFILE_FAIL_IMMEDIATELY | (kind == LockKind::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (::LockFileEx(handle, flags, 0, kLockLength, 0, &position)) return LockAttempt::Granted;
    const DWORD error = ::GetLastError();
    return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? LockAttempt::Busy
                                                                      : LockAttempt::Failed;
}

void FileLock::Unlock()
{
    if (!IsOpen()) return;
    const HANDLE handle = reinterpret_cast<HANDLE>(m_handle);
    OVERLAPPED position = LockPosition();
    ::UnlockFileEx(handle, 0, kLockLength, 0, &position);
    ::CloseHandle(handle);
    m_handle = kNoHandle;
}

}  // namespace korvane::settings::detail
