// The process's settings record and its file: reads under a shared lock, every
// change a re-read, change and save under the exclusive lock; every lock wait
// bounded, every refusal an error with its reason.
#include "settings/SettingsStore.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "settings/FileLock.h"
#include "settings/SettingsTexts.h"

namespace korvane::settings {

namespace {
namespace fs = std::filesystem;

// Where the system's file lock only tells processes apart (flock emulated on
// network file systems), two stores of one process would both get it; this
// mutex keeps their saves apart as well.
std::mutex& ProcessSaveMutex()
{
    static std::mutex mutex;
    return mutex;
}

RecordFile Inspect(const fs::path& path)
{
    return InspectRecordFile(path, SysData::kSize);
}

// Why the record at `record` is neither read nor saved; empty when it may be.
std::optional<FileError> RecordProblem(const fs::path& path, const RecordFile& record)
{
    if (record.kind == RecordKind::RefusedLink) {
        return RefusedLinkError(path, record.target, record.what);
    }
    if (record.kind == RecordKind::NotAFile) return ReadError(path, NotAFileReason(record.what));
    return std::nullopt;
}

// Why a lock that was not granted keeps the record from being read or saved.
FileError LockProblem(LockResult result, const fs::path& target, const LockWait& wait)
{
    const fs::path lockFile = LockFilePath(target);
    switch (result) {
        case LockResult::Busy:
            return LockBusyError(lockFile, wait.limit);
        case LockResult::Stopped:
            return LockStoppedError(lockFile);
        case LockResult::NotRegular: {
            // Followed through links: a link to nothing shows as not found.
            std::error_code error;
            return LockNotRegularError(lockFile,
                                       DescribeFileType(fs::status(lockFile, error).type()));
        }
        default:
            return WriteError(target);
    }
}
// The record as the file at `path` holds it, into `read` (zero where the file
// gives nothing), or why it could not be read.
std::optional<FileError> ReadRecord(const fs::path& path, const LockWait& wait, SysData& read)
{
    read = SysData{};
    const RecordFile record = Inspect(path);
    // A refused link reads as no settings; only its saves report it.
    if (record.kind == RecordKind::Missing || record.kind == RecordKind::RefusedLink) return {};
    if (std::optional<FileError> problem = RecordProblem(path, record)) return problem;
    // A save that had to write in place is never seen half done. Where no lock
    // can be had at all (nothing to lock yet, a lock file that is no file) the
    // read goes ahead: reading harms nothing. Another program holding the lock
    // beyond the wait is reported, not waited out.
    detail::FileLock fileLock;
    const LockResult locked =
        LockRecordFile(fileLock, record.target, detail::LockKind::Shared, wait);
    if (locked == LockResult::Busy || locked == LockResult::Stopped) {
        return LockProblem(locked, record.target, wait);
    }
    SysData bytes;
    std::string reason;
    if (!ReadFileBlock(SysData::kSize, record.target, bytes.Bytes(), reason)) {
        return ReadError(path, reason);
    }
    read = bytes;
    return {};
}
}  // namespace

SettingsStore::SettingsStore(std::filesystem::path sysPath, const LockWait& wait)
{
    Load(sysPath, wait);
}

void SettingsStore::Load(const std::filesystem::path& sysPath, const LockWait& wait)
{
    // The file is read before the record is taken: the dialog's timer reads the
    // record and must not wait while another program holds the file's lock.
    SysData read;
    std::optional<FileError> problem = ReadRecord(sysPath, wait, read);
    std::lock_guard lock(m_mutex);
    m_strSysPath = sysPath;
    m_sysData = read;
    m_readProblem = std::move(problem);
}

std::optional<FileError> SettingsStore::ReadProblem() const
{
    std::lock_guard lock(m_mutex);
    return m_readProblem;
}

std::uint8_t SettingsStore::PeekLanguage(const std::filesystem::path& sysPath)
{
    const RecordFile record = Inspect(sysPath);
    SysData read;
    if (record.kind != RecordKind::File ||
        !ReadFileBlock(SysData::kSize, record.target, read.Bytes())) {
        return 0;
    }
    return read.Language();
}

SysData SettingsStore::Snapshot() const
{
    std::lock_guard lock(m_mutex);
    return m_sysData;
}

std::uint8_t SettingsStore::Language() const
{
    std::lock_guard lock(m_mutex);
    return m_sysData.Language();
}

std::uint8_t SettingsStore::ComIndex() const
{
    std::lock_guard lock(m_mutex);
    return m_sysData.ComIndex();
}

std::int32_t SettingsStore::UpgradeCount() const
{
    std::lock_guard lock(m_mutex);
    return m_sysData.UpgradeCount();
}

CountChange SettingsStore::IncrementUpgradeCount(const LockWait& wait)
{
    CountChange result;
    SaveResult save = Modify(
        [&result](SysData& data) {
            data.IncrementUpgradeCount();
            result.count = data.UpgradeCount();
        },
        wait);
    result.saved = static_cast<bool>(save);
    result.problem = std::move(save.problem);
    return result;
}

SaveResult SettingsStore::ClearUpgradeCount(const LockWait& wait)
{
    return Modify([](SysData& data) { data.SetUpgradeCount(0); }, wait);
}

SaveResult SettingsStore::SetComIndex(std::uint8_t index, const LockWait& wait)
{
    return Modify([index](SysData& data) { data.SetComIndex(index); }, wait);
}

SaveResult SettingsStore::SetLanguage(std::uint8_t language, const LockWait& wait)
{
    return Modify([language](SysData& data) { data.SetLanguage(language); }, wait);
}

SaveResult SettingsStore::Modify(const std::function<void(SysData&)>& change, const LockWait& wait)
{
    fs::path path;
    {
        std::lock_guard lock(m_mutex);
        path = m_strSysPath;
    }
    // Where no save is made, the record in memory goes on from its own value,
    // and the caller learns why the file was left alone.
    const auto unsaved = [&](FileError problem) {
        std::lock_guard lock(m_mutex);
        change(m_sysData);
        return SaveResult{std::move(problem)};
    };
    const RecordFile before = Inspect(path);
    if (std::optional<FileError> problem = RecordProblem(path, before)) {
        return unsaved(std::move(*problem));
    }
    // The other saves of this process (other radios' jobs) share the one wait:
    // a save never waits longer than `wait.limit` in all, however many are
    // queued before it, and none holds the record while it waits.
    // The mutex is waited for in real time (it is released within
    // milliseconds, unless its holder waits for the file), in steps that each
    // look for a stop request. A plain mutex tried between sleeps, rather than
    // a timed one: ThreadSanitizer does not follow a timed mutex's waits.
    std::unique_lock processLock(ProcessSaveMutex(), std::defer_lock);
    LockWait rest = wait;
    while (!processLock.try_lock()) {
        std::this_thread::sleep_for(LockWait::kRetry);
        rest.limit -= LockWait::kRetry;
        if (rest.limit <= std::chrono::milliseconds::zero()) {
            return unsaved(LockProblem(LockResult::Busy, before.target, wait));
        }
        if (!wait.Pause(std::chrono::milliseconds::zero())) {
            return unsaved(LockProblem(LockResult::Stopped, before.target, wait));
        }
    }
    detail::FileLock fileLock;
    const LockResult locked =
        LockRecordFile(fileLock, before.target, detail::LockKind::Exclusive, rest);
    if (locked != LockResult::Granted) return unsaved(LockProblem(locked, before.target, wait));
    // Looked at again under the lock: another process may have changed it meanwhile.
    const RecordFile record = Inspect(path);
    if (std::optional<FileError> problem = RecordProblem(path, record)) {
        return unsaved(std::move(*problem));
    }
    // The change applies to the record as the file holds it now, so what this
    // process shows is never older than the file.
    SysData current;
    std::string reason;
    if (record.kind == RecordKind::File &&
        !ReadFileBlock(SysData::kSize, record.target, current.Bytes(), reason)) {
        return unsaved(ReadError(path, reason));
    }
    change(current);
    {
        std::lock_guard lock(m_mutex);
        m_sysData = current;
    }
    if (!WriteFileBlock(path, current.Bytes())) return {WriteError(path)};
    return {};
}

}  // namespace korvane::settings
