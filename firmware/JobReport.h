// What a running download job tells its front end: one record of the job
// (stage reached, status line, warnings, chip, counts, progress), written by
// the worker under one lock and read whole, from any thread, as a copy that
// holds together. Every change worth hearing of goes to the observer as one
// event carrying the record as it stood right after the change.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "firmware/StatusText.h"
#include "firmware/protocol/Stm32Parts.h"
#include "serial/Sleeper.h"
#include "settings/SettingsStore.h"

namespace korvane::firmware {

class IJobObserver;

// Progress bar range of the dialog: the bar stands at this value when the
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

// Everything a job has told so far, as one value.
struct JobRecord {
    JobStage stage = JobStage::NotStarted;
    std::string status;   // the status line (the front end's own until the job sets one)
    std::string warning;  // what the technician should know; several joined by newlines
    std::optional<ChipIdentity> chip;  // what the ROM bootloader told of the chip
    std::int64_t bootBytesTotal = 0;   // known once the boot image is read
    std::int64_t bootBytesSent = 0;    // image bytes in acknowledged frames
    std::int32_t framesSent = 0;
    std::int64_t userBytesTotal = 0;  // known once the user image is read
    std::int64_t userBytesSent = 0;   // image bytes in accepted blocks
    std::int32_t blocksTotal = 0;
    std::int32_t blocksSent = 0;
    bool counted = false;      // the completed-download counter was raised and saved
    std::int32_t counter = 0;  // the counter as the job saved it (in a result: as Sys.dat
                               // holds it at the end)
    // Image bytes the progress stands for: the boot frames whose Write Memory
    // command was accepted, then, from the loader's 'G' on, the user blocks
    // begun. The bar moves as a frame or a block goes out, not when its last
    // answer comes.
    std::int64_t progressBytes = 0;
    bool userProgramCompleted = false;  // every block accepted: the bar stands full
};

// The dialog's progress bar position for `record`: one step per boot frame,
// back to 0 when the loader answers, one step per user block, and
// kProgressMax once the user program has completed.
std::int32_t BarPosition(const JobRecord& record);

class JobReport {
public:
    explicit JobReport(settings::SettingsStore& settings);

    // Forgets the previous job (the status line is left to the front end).
    void Reset();
    // Set while no worker runs (the job sets it as it starts one); null for none.
    void SetObserver(IJobObserver* observer) { m_observer = observer; }
    IJobObserver* Observer() const { return m_observer; }

    // Status line in the language the settings hold at this moment.
    void SetStatus(StatusId id);
    // The front end's own status line (e.g. when a job starts); no event.
    void SetStatusText(std::string text);

    void EnterStage(JobStage stage);
    // The progress moves by `bytes` of the image under way (no event: pollers
    // see it at once, observers with the next event).
    void AddProgress(std::int64_t bytes);
    // The loader has answered: the progress starts again for the user program.
    void RestartProgress();
    // Every block has been accepted: the completed status, the counter raised
    // and saved, the progress full, in that order. The one place the
    // completed-download counter rises. The save waits for Sys.dat's lock
    // through `sleeper`, so a stop ends that wait and the wait has the store's
    // limit: the end frame is never held back for longer. A count that could
    // not be saved is a warning.
    void CompleteUserProgram(serial::ISleeper& sleeper);
    // Something the technician should know about a job that did not fail.
    void AddWarning(const std::string& text);
    // What the ROM bootloader told about the chip; the observer hears of it.
    void SetChip(const ChipIdentity& chip);
    void SetBootTotal(std::int64_t bytes);
    void AddBootFrame(std::int64_t bytes);
    void SetUserTotal(std::int64_t bytes, std::int32_t blocks);
    void AddUserBlock(std::int64_t bytes);

    // A copy of the whole record, taken under its lock.
    JobRecord Record() const;

private:
    // Changes the record under its lock; the kind of event `change` returns,
    // if any, goes to the observer with the record as it stood right after.
    template <typename Change>
    void Update(Change change);

    settings::SettingsStore& m_settings;

    mutable std::mutex m_mutex;
    JobRecord m_record;
    std::string m_announced;  // the job's last status line the observer heard of

    IJobObserver* m_observer = nullptr;
};

}  // namespace korvane::firmware
