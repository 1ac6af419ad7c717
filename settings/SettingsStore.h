// The process's settings record together with its file. Sys.dat may be shared by
// several processes (the dialog, command lines flashing other radios), so every
// change re-reads the file and saves it under a lock that spans processes, and
// changes only the field it is about: no process writes back a stale counter.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>

#include "settings/SysData.h"

namespace korvane::settings {

// What a change of the download counter came to.
struct CountChange {
    std::int32_t count = 0;  // the count after the change (the record in memory holds it)
    bool saved = false;      // false: Sys.dat could not be saved and still holds the old count
};

class SettingsStore {
public:
    static constexpr const char* kFileName = "Sys.dat";

    SettingsStore() = default;
    // Sets the path and loads the record from it (all zero where the file gives nothing).
    explicit SettingsStore(std::filesystem::path sysPath);

    // Sets the path and loads; a missing or unreadable file leaves the record zero.
    void Load(const std::filesystem::path& sysPath);
    const std::filesystem::path& Path() const { return m_strSysPath; }

    // The record as last loaded or changed by this process.
    SysData Snapshot() const;
    std::uint8_t Language() const;
    std::uint8_t ComIndex() const;
    std::int32_t UpgradeCount() const;

    // The changes, each saved at once. False (or saved == false) when Sys.dat
    // could not be saved; the record in memory holds the change either way.
    CountChange IncrementUpgradeCount();
    bool ClearUpgradeCount();
    bool SetComIndex(std::uint8_t index);
    bool SetLanguage(std::uint8_t language);

    // The general form of the changes above: under the exclusive lock, reads
    // Sys.dat as it is now, applies `change` to that record, and saves it.
    // `change` runs under the lock: it must be quick and must not touch the store.
    bool Modify(const std::function<void(SysData&)>& change);

private:
    mutable std::mutex m_mutex;
    std::filesystem::path m_strSysPath;
    SysData m_sysData;
};

}  // namespace korvane::settings
