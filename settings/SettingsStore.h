// The process's one settings record together with its file. Every read and every
// modify-and-save takes one mutex, so the dialog thread and the download worker
// never lose each other's changes.
#pragma once

#include <filesystem>
#include <functional>
#include <mutex>

#include "settings/SysData.h"

namespace korvane::settings {

class SettingsStore {
public:
    static constexpr const char* kFileName = "Sys.dat";

    SettingsStore() = default;
    // Sets the path and loads the record from it (all zero where the file gives nothing).
    explicit SettingsStore(std::filesystem::path sysPath);

    // Sets the path and loads; a missing or unreadable file leaves the record zero.
    void Load(const std::filesystem::path& sysPath);
    const std::filesystem::path& Path() const { return m_strSysPath; }

    SysData Snapshot() const;
    std::uint8_t Language() const;
    std::uint8_t ComIndex() const;
    std::int32_t UpgradeCount() const;

    // Writes the whole record to its file; false when the save failed (the
    // record in memory keeps its values either way).
    bool SaveSysData();

    // Applies `change` to the record and saves it, under one lock.
    bool Modify(const std::function<void(SysData&)>& change);

private:
    mutable std::mutex m_mutex;
    std::filesystem::path m_strSysPath;
    SysData m_sysData;
};

}  // namespace korvane::settings
