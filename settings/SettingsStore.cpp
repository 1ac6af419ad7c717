// The process's settings record and its file: reads under a shared lock, every
// change a re-read, change and save under the exclusive lock.
#include "settings/SettingsStore.h"

#include <system_error>

#include "settings/FileBlock.h"
#include "settings/FileLock.h"

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

// The record as the file at `target` holds it now: zero when there is no file,
// `fallback` when the file is there but cannot be read.
SysData ReadCurrent(const fs::path& target, const SysData& fallback)
{
    std::error_code error;
    if (!target.empty() && fs::status(target, error).type() == fs::file_type::not_found) {
        return SysData{};
    }
    SysData current;
    if (target.empty() || !ReadFileBlock(SysData::kSize, target, current.Bytes())) return fallback;
    return current;
}
}  // namespace

SettingsStore::SettingsStore(std::filesystem::path sysPath)
{
    Load(sysPath);
}

void SettingsStore::Load(const std::filesystem::path& sysPath)
{
    std::lock_guard lock(m_mutex);
    m_strSysPath = sysPath;
    m_sysData = SysData{};
    // A save that had to write in place is never seen half done. Without any
    // lock (nothing to lock yet) the read goes ahead: it may find nothing.
    const fs::path target = ResolveLinks(m_strSysPath);
    detail::FileLock fileLock;
    LockRecordFile(fileLock, target, detail::LockKind::Shared);
    // A missing or unreadable file is not an error: the record stays zero
    // where the file gave nothing.
    if (!target.empty()) ReadFileBlock(SysData::kSize, target, m_sysData.Bytes());
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

CountChange SettingsStore::IncrementUpgradeCount()
{
    CountChange result;
    result.saved = Modify([&result](SysData& data) {
        data.IncrementUpgradeCount();
        result.count = data.UpgradeCount();
    });
    return result;
}

bool SettingsStore::ClearUpgradeCount()
{
    return Modify([](SysData& data) { data.SetUpgradeCount(0); });
}

bool SettingsStore::SetComIndex(std::uint8_t index)
{
    return Modify([index](SysData& data) { data.SetComIndex(index); });
}

bool SettingsStore::SetLanguage(std::uint8_t language)
{
    return Modify([language](SysData& data) { data.SetLanguage(language); });
}

bool SettingsStore::Modify(const std::function<void(SysData&)>& change)
{
    std::lock_guard lock(m_mutex);
    std::lock_guard processLock(ProcessSaveMutex());
    const fs::path target = ResolveLinks(m_strSysPath);
    detail::FileLock fileLock;
    const bool locked = LockRecordFile(fileLock, target, detail::LockKind::Exclusive);
    // The change applies to the record as the file holds it now, so what this
    // process shows is never older than the file. Without the lock no save will
    // be made (it could undo another process's change): the record in memory
    // goes on from its own value then, and the caller learns of the failure.
    SysData record = locked ? ReadCurrent(target, m_sysData) : m_sysData;
    change(record);
    m_sysData = record;
    return locked && WriteFileBlock(target, record.Bytes());
}

}  // namespace korvane::settings
