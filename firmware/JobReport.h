// What a running download job tells its front end: the progress count, the
// status line, and details (stage reached, frames, blocks and bytes sent). The
// worker writes and tells the observer; any thread reads.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "firmware/StatusText.h"
#include "firmware/Stm32Parts.h"
#include "serial/Sleeper.h"
#include "settings/SettingsStore.h"

namespace korvane::firmware {

class IJobObserver;

// Progress bar range of the dialog: the count stands at this value when the
// user program has completed.
constexpr std::int32_t kProgressMax = 60;

// The furthest point the job reached; it stays put when the job ends.
enum class JobStage : std::int32_t {
    NotStarted = 0,
    RomSync,          // synchronising with the ROM bootloader
    RomPrepare,       // unprotect, erase, identify
    RomWrite,         // writing the boot image in 256-byte frames
    RomVerify,        // reading the boot image back
    RomGo,            // starting the boot image
    LoaderWait,       // soliciting the application loader
    LoaderHandshake,  // 'O'/'+' and '-'/'!'
    LoaderBlocks,     // sending the user program in 4,096-byte blocks
    EndFrame,         // the closing frame
    Done,             // the job finished
};

// Short English name of a stage, for logs and machine-readable output.
const char* StageName(JobStage stage);

struct JobDetails {
    JobStage stage = JobStage::NotStarted;
    std::int32_t progress = 0;
    std::int64_t bootBytesTotal = 0;  // known once the boot image is read
    std::int64_t bootBytesSent = 0;   // image bytes in acknowledged frames
    std::int32_t framesSent = 0;
    std::int64_t userBytesTotal = 0;  // known once the user image is read
    std::int64_t userBytesSent = 0;   // image bytes in accepted blocks
    std::int32_t blocksTotal = 0;
    std::int32_t blocksSent = 0;
};

class JobReport {
public:
    JobReport(std::atomic<std::int32_t>& progress, settings::SettingsStore& settings);

    // Forgets the previous job (the status line is left to the front end).
    void Reset();
    // Set while no worker runs (the job sets it as it starts one); null for none.
    void SetObserver(IJobObserver* observer) { m_observer = observer; }
    IJobObserver* Observer() const { return m_observer; }

    // Status line in the language the settings hold at this moment.
    void SetStatus(StatusId id);
    // The front end's own status line (e.g. when a job starts); no event.
    void SetStatusText(std::string text);
    std::string Status() const;

    void SetProgress(std::int32_t value);
    void AddProgress(std::int32_t delta);
    void EnterStage(JobStage stage);
    // Every block has been accepted: the completed status, the counter raised
    // and saved, the progress at its end, in that order. The one place the
    // completed-download counter rises. The save waits for Sys.dat's lock
    // through `sleeper`, so a stop ends that wait and the wait has the store's
    // limit: the end frame is never held back for longer. A count that could
    // not be saved is a warning.
    void CompleteUserProgram(serial::ISleeper& sleeper);
    // The counter as CompleteUserProgram saved it; nothing when it saved none.
    std::optional<std::int32_t> CountedValue() const;
    // Something the technician should know about a job that did not fail.
    void AddWarning(const std::string& text);
    std::string Warning() const;
    // What the ROM bootloader told about the chip; the observer hears of it.
    void SetChip(const ChipIdentity& chip);
    std::optional<ChipIdentity> Chip() const;
    void SetBootTotal(std::int64_t bytes);
    void AddBootFrame(std::int64_t bytes);
    void SetUserTotal(std::int64_t bytes, std::int32_t blocks);
    void AddUserBlock(std::int64_t bytes);

    JobDetails Details() const;

private:
    void SetStatusQuietly(std::string text);

    std::atomic<std::int32_t>& m_progress;
    settings::SettingsStore& m_settings;

    mutable std::mutex m_statusMutex;
    std::string m_status;
    std::string m_warning;
    std::string m_announced;  // the job's last status line the observer heard of
    std::optional<ChipIdentity> m_chip;

    std::atomic<std::int32_t> m_stage{0};
    std::atomic<std::int64_t> m_bootBytesTotal{0};
    std::atomic<std::int64_t> m_bootBytesSent{0};
    std::atomic<std::int32_t> m_framesSent{0};
    std::atomic<std::int64_t> m_userBytesTotal{0};
    std::atomic<std::int64_t> m_userBytesSent{0};
    std::atomic<std::int32_t> m_blocksTotal{0};
    std::atomic<std::int32_t> m_blocksSent{0};
    std::atomic<bool> m_counted{false};
    std::atomic<std::int32_t> m_countedValue{0};

    IJobObserver* m_observer = nullptr;
};

}  // namespace korvane::firmware
