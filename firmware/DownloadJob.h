// One firmware download job: a worker thread that runs the ROM bootloader stage
// (full upgrade) and the application loader stage over the byte exchange, and
// fields the front end reads while it runs. The worker is owned and joined here.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "serial/PortOps.h"
#include "serial/Sleeper.h"
#include "settings/SettingsStore.h"

namespace korvane::firmware {

enum class UpgradeMode : std::int32_t { UserProgram = 0, Full = 1 };

// m_nWorkerState values.
constexpr std::int32_t kWorkerRunning = 0;
constexpr std::int32_t kWorkerFinished = 1;
constexpr std::int32_t kWorkerFailed = 10;

// Progress bar range of the dialog.
constexpr std::int32_t kProgressMax = 60;

class DownloadJob {
public:
    // `sleeper` may be null: the job then waits in real time and can be stopped.
    DownloadJob(serial::IPortOps& port, settings::SettingsStore& settings,
                serial::ISleeper* sleeper = nullptr);
    ~DownloadJob();  // stops and joins a running worker
    DownloadJob(const DownloadJob&) = delete;
    DownloadJob& operator=(const DownloadJob&) = delete;

    // Clears the previous job's end state, then starts the worker. A job still
    // running is stopped and joined first.
    void Start(UpgradeMode mode, std::filesystem::path bootPath, std::filesystem::path userPath);
    // Asks the worker to stop at its next poll or pause and joins it.
    void Stop();
    // Waits for the worker to end on its own.
    void Join();
    bool IsRunning() const;

    std::int32_t WorkerState() const { return m_nWorkerState.load(); }
    std::int32_t Progress() const { return m_nProgress.load(); }
    std::string Status() const;
    // Description of the error that ended the job, empty when none did.
    std::string ErrorDescription() const;

    std::atomic<std::int32_t> m_nUpgradeMode{0};
    std::atomic<std::int32_t> m_nWorkerState{kWorkerRunning};
    std::atomic<std::int32_t> m_nProgress{0};

private:
    void DownloadThreadProc();
    // (the firmware module adds the rest of its state here)
    mutable std::mutex m_statusMutex;
    std::string m_strStatus;
    std::string m_errorDescription;
    serial::IPortOps& m_port;
    settings::SettingsStore& m_settings;
    serial::StoppableSleeper m_ownSleeper;
    serial::ISleeper* m_sleeper;
    std::filesystem::path m_strBootPath;
    std::filesystem::path m_strUserPath;
    std::thread m_worker;
};

}  // namespace korvane::firmware
