// The history's locked append and local time on Windows: a handle opened for
// appending only (every write lands at the end) and LockFileEx to keep the
// first line's header and a long line apart from other appenders.
#include <chrono>
#include <string>
#include <thread>

#include <windows.h>

#include "base/TextEncoding.h"
#include "error/Error.h"
#include "history/History.h"
#include "history/HistoryText.h"
#include "settings/Win32Text.h"

namespace korvane::history::detail {

namespace {
constexpr auto kLockLimit = std::chrono::seconds(3);
constexpr auto kLockRetry = std::chrono::milliseconds(20);
constexpr DWORD kWholeFile = MAXDWORD;

class Handle {
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle()
    {
        if (m_handle != INVALID_HANDLE_VALUE) ::CloseHandle(m_handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

[[noreturn]] void Fail(std::int32_t id, std::string_view english, const std::filesystem::path& file,
                       const std::string& reason)
{
    throw FileError(settings::OwnText(id, english, {base::PathToUtf8(file), reason}),
                    settings::OwnText(kTextHint,
                                      "The job itself is not affected; check that the folder "
                                      "can be written, or give another file with --history."));
}

std::string LastReason()
{
    return settings::SystemMessage(::GetLastError());
}
}  // namespace

void AppendLocked(const std::filesystem::path& file, std::string_view header,
                  std::string_view bytes)
{
    const Handle handle(::CreateFileW(file.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle.Get() == INVALID_HANDLE_VALUE)
        Fail(kTextCannotOpen, "Cannot open the history {0}: {1}.", file, LastReason());
    if (::GetFileType(handle.Get()) != FILE_TYPE_DISK)
        Fail(kTextNotRegular, "The history {0} is not a regular file.", file, "");
    OVERLAPPED whole{};
    const auto giveUp = std::chrono::steady_clock::now() + kLockLimit;
    while (!::LockFileEx(handle.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                         kWholeFile, kWholeFile, &whole)) {
        if (::GetLastError() != ERROR_LOCK_VIOLATION)
            Fail(kTextCannotWrite, "Cannot write the history {0}: {1}.", file, LastReason());
        if (std::chrono::steady_clock::now() >= giveUp)
            Fail(kTextBusy, "The history {0} is held by another program.", file, "");
        std::this_thread::sleep_for(kLockRetry);
    }
    LARGE_INTEGER size{};
    std::string line;
    if (::GetFileSizeEx(handle.Get(), &size) && size.QuadPart == 0) line = header;
    line += bytes;
    DWORD written = 0;
    const bool ok = ::WriteFile(handle.Get(), line.data(), static_cast<DWORD>(line.size()),
                                &written, nullptr) &&
                    written == line.size();
    const std::string reason = ok ? std::string() : LastReason();
    ::UnlockFileEx(handle.Get(), 0, kWholeFile, kWholeFile, &whole);
    if (!ok) Fail(kTextCannotWrite, "Cannot write the history {0}: {1}.", file, reason);
}

LocalTime ToLocalTime(std::int64_t seconds)
{
    const auto when = static_cast<__time64_t>(seconds);
    std::tm local{};
    std::tm utc{};
    _localtime64_s(&local, &when);
    _gmtime64_s(&utc, &when);
    // The offset is how far the local wall clock is ahead of UTC's.
    utc.tm_isdst = local.tm_isdst;
    const std::int64_t offset = static_cast<std::int64_t>(_mkgmtime64(&local)) -
                                static_cast<std::int64_t>(_mkgmtime64(&utc));
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
            local.tm_min,         local.tm_sec,     offset};
}

}  // namespace korvane::history::detail
