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

#include "firmware/JobReport.h"
#include "firmware/Pacing.h"
#include "serial/PortOps.h"
#include "serial/Sleeper.h"
#include "settings/SettingsStore.h"

namespace korvane::firmware {

enum class UpgradeMode : std::int32_t { UserProgram = 0, Full = 1 };

// m_nWorkerState values.
constexpr std::int32_t kWorkerRunning = 0;
constexpr std::int32_t kWorkerFinished = 1;
constexpr std::int32_t kWorkerStopped =
    2;  // ended by Stop/RequestStop; the status is left as it was
constexpr std::int32_t kWorkerFailed = 10;

class DownloadJob {
public:
    // `sleeper` may be null: the job then waits in real time. Stop and
    // RequestStop reach whichever sleeper the job waits on.
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
    // Asks the worker to stop without waiting (safe from any thread, e.g. one
    // that watches for Ctrl-C); Join or Stop then waits for it.
    void RequestStop();
    // Waits for the worker to end on its own.
    void Join();
    bool IsRunning() const { return m_active.load(); }

    std::int32_t WorkerState() const { return m_nWorkerState.load(); }
    std::int32_t Progress() const { return m_nProgress.load(); }
    std::string Status() const { return m_report.Status(); }
    // The front end's own status line (e.g. when a job starts).
    void SetStatus(std::string text) { m_report.SetStatusText(std::move(text)); }
    // Description of the error that ended the job, empty when none did.
    std::string ErrorDescription() const { return m_report.ErrorDescription(); }
    // Set when a finished job could not save the upgrade counter.
    std::string Warning() const { return m_report.Warning(); }
    // Stage reached, frames/blocks/bytes sent, failure kind: a consistent-enough
    // snapshot of atomics, cheap to take at any time from any thread.
    JobDetails Details() const { return m_report.Details(); }
    // Called on the worker thread after each change; set it before Start.
    void SetProgressCallback(ProgressCallback callback)
    {
        m_report.SetCallback(std::move(callback));
    }

    // How the next job paces its reads (default exact); set before Start.
    void SetPacing(Pacing pacing) { m_pacing = pacing; }
    // Whether the next full upgrade reads the boot image back before Go.
    void SetVerify(bool verify) { m_verify = verify; }
    // True once a full upgrade read its boot image back and found it as sent.
    bool Verified() const { return m_verified.load(); }

    std::atomic<std::int32_t> m_nUpgradeMode{0};
    std::atomic<std::int32_t> m_nWorkerState{kWorkerRunning};
    std::atomic<std::int32_t> m_nProgress{0};

private:
    void DownloadThreadProc();
    void RunStages();
    void Fail(JobFailure failure, const std::string& description);

    serial::IPortOps& m_port;
    JobReport m_report;  // status line, error description and details
    serial::StoppableSleeper m_ownSleeper;
    serial::ISleeper* m_sleeper;
    std::filesystem::path m_strBootPath;
    std::filesystem::path m_strUserPath;
    std::atomic<bool> m_active{false};
    Pacing m_pacing = Pacing::Exact;
    bool m_verify = false;
    std::atomic<bool> m_verified{false};
    std::mutex m_joinMutex;  // one thread joins at a time
    std::thread m_worker;
};

}  // namespace korvane::firmware
