// The process's settings record and its file, with every access under one mutex.
#include "settings/SettingsStore.h"

#include "settings/FileBlock.h"

namespace korvane::settings {

SettingsStore::SettingsStore(std::filesystem::path sysPath)
{
    Load(sysPath);
}

void SettingsStore::Load(const std::filesystem::path& sysPath)
{
    std::lock_guard lock(m_mutex);
    m_strSysPath = sysPath;
    m_sysData = SysData{};
    // A missing or unreadable file is not an error: the record stays zero
    // where the file gave nothing.
    ReadFileBlock(SysData::kSize, m_strSysPath, m_sysData.Bytes());
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

bool SettingsStore::SaveSysData()
{
    std::lock_guard lock(m_mutex);
    return WriteFileBlock(m_strSysPath, m_sysData.Bytes());
}

bool SettingsStore::Modify(const std::function<void(SysData&)>& change)
{
    std::lock_guard lock(m_mutex);
    change(m_sysData);
    return WriteFileBlock(m_strSysPath, m_sysData.Bytes());
}

}  // namespace korvane::settings
