// The process's settings record together with its file. Sys.dat may be shared by
// several processes (the dialog, command lines flashing other radios), so every
// change re-reads the file and saves it under a lock that spans processes, and
// changes only the field it is about: no process writes back a stale counter.
// Every wait for that lock is bounded (LockWait), and whatever keeps the file
// from being read or saved comes back as an error with its reason and a hint.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>

#include "error/Error.h"
#include "settings/FileBlock.h"
#include "settings/SysData.h"

namespace korvane::settings {

// How a save went: no problem when Sys.dat holds the change.
struct SaveResult {
    std::optional<FileError> problem;
    explicit operator bool() const { return !problem; }
};

// What a change of the download counter came to.
struct CountChange {
    std::int32_t count = 0;  // the count after the change (the record in memory holds it)
    bool saved = false;      // false: Sys.dat could not be saved and still holds the old count
    std::optional<FileError> problem;  // why it was not saved
};

class SettingsStore {
public:
    static constexpr const char* kFileName = "Sys.dat";

    SettingsStore() = default;
    // Sets the path and loads the record from it (all zero where the file gives nothing).
    explicit SettingsStore(std::filesystem::path sysPath, const LockWait& wait = {});

    // Sets the path and loads. A missing file, or a link that is never used
    // (InspectRecordFile), is no settings yet: the record stays zero and
    // ReadProblem is empty. Anything that keeps an existing file from being read
    // (a folder or device under the name, no right to read, the lock held by
    // another program beyond the wait) leaves the record zero and is kept in
    // ReadProblem.
    void Load(const std::filesystem::path& sysPath, const LockWait& wait = {});
    const std::filesystem::path& Path() const { return m_strSysPath; }
    // Why the last Load could not read Sys.dat; empty when it could (or there was none).
    std::optional<FileError> ReadProblem() const;

    // The language byte of the file at `sysPath`, read without waiting for any
    // lock: the program never changes that byte, so a save under way cannot
    // tear it. 0 when the file gives nothing. For start-up, before anything
    // that might wait.
    static std::uint8_t PeekLanguage(const std::filesystem::path& sysPath);

    // The record as last loaded or changed by this process.
    SysData Snapshot() const;
    std::uint8_t Language() const;
    std::uint8_t ComIndex() const;
    std::int32_t UpgradeCount() const;

    // The changes, each saved at once. The record in memory holds the change
    // whether or not Sys.dat could be saved.
    CountChange IncrementUpgradeCount(const LockWait& wait = {});
    SaveResult ClearUpgradeCount(const LockWait& wait = {});
    SaveResult SetComIndex(std::uint8_t index, const LockWait& wait = {});
    SaveResult SetLanguage(std::uint8_t language, const LockWait& wait = {});

    // The general form of the changes above: under the exclusive lock, reads
    // Sys.dat as it is now, applies `change` to that record, and saves it. No
    // save is made without the lock, through a refused link, or over a file
    // that could not be read (it may hold settings this process never saw).
    // `change` runs under the lock: it must be quick and must not touch the store.
    SaveResult Modify(const std::function<void(SysData&)>& change, const LockWait& wait = {});

private:
    mutable std::mutex m_mutex;
    std::filesystem::path m_strSysPath;
    SysData m_sysData;
    std::optional<FileError> m_readProblem;
};

}  // namespace korvane::settings
