// One firmware download job: a worker thread that runs the ROM bootloader stage
// (full upgrade) and the application loader stage over the byte exchange, then
// the end frame. It tells one observer what happens, keeps a snapshot for code
// that polls, and ends with a result value. The worker is owned and joined here.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "firmware/JobObserver.h"
#include "firmware/JobReport.h"
#include "firmware/image/Image.h"
#include "firmware/protocol/Pacing.h"
#include "serial/Port.h"
#include "serial/Sleeper.h"
#include "settings/SettingsStore.h"

namespace korvane::firmware {

enum class UpgradeMode : std::int32_t { UserProgram = 0, Full = 1 };

// The job as code that polls sees it (the dialog's timer), from any thread.
struct JobSnapshot {
    JobRecord record;  // taken whole under the record's lock
    WorkerState workerState = WorkerState::Running;
    bool running = false;  // the worker has not ended yet
};

class DownloadJob {
public:
    // `sleeper` may be null: the job then waits in real time. Stop and
    // RequestStop reach whichever sleeper the job waits on.
    DownloadJob(serial::IPort& port, settings::SettingsStore& settings,
                serial::ISleeper* sleeper = nullptr);
    ~DownloadJob();  // stops and joins a running worker
    DownloadJob(const DownloadJob&) = delete;
    DownloadJob& operator=(const DownloadJob&) = delete;

    // Who hears of the events of the jobs started from now on (null: nobody);
    // the observer must outlive the runs it hears of.
    void SetObserver(IJobObserver* observer);

    // Starts a job. Each image is taken once, when the stage that sends it
    // begins, and the result reports exactly the bytes sent. A user-program
    // upgrade ignores the boot image. The previous job's end state is cleared
    // first; a job still running is stopped and joined.
    // The dialog's start: the worker reads the files.
    void Start(UpgradeMode mode, std::filesystem::path bootPath, std::filesystem::path userPath);
    // The command line's start: images the front end has read already.
    void Start(UpgradeMode mode, std::vector<std::uint8_t> boot, std::vector<std::uint8_t> user);

    // Asks the worker to stop at its next poll or pause and joins it.
    void Stop();
    // Asks the worker to stop without waiting (safe from any thread, e.g. one
    // that watches for Ctrl-C); Join or Stop then waits for it.
    void RequestStop();
    // Waits for the worker to end on its own.
    void Join();
    bool IsRunning() const { return m_active.load(); }

    JobSnapshot Snapshot() const;
    // How the last job ended; empty while it runs and before the first.
    std::optional<JobResult> Result() const;

    // The front end's own status line (e.g. when a job starts); no event.
    void SetStatus(std::string text) { m_report.SetStatusText(std::move(text)); }

    // How the next job paces its reads (default exact); set before Start.
    void SetPacing(Pacing pacing) { m_pacing = pacing; }
    // Whether the next full upgrade reads the boot image back before Go.
    void SetVerify(bool verify) { m_verify = verify; }

private:
    void Launch(UpgradeMode mode, ImageSource boot, ImageSource user);
    void DownloadThreadProc();
    void RunStages();
    JobResult Completed();
    JobResult Failed(JobOutcome outcome, const korvane::Error& error);
    JobResult StoppedResult();
    JobResult BaseResult(JobOutcome outcome, firmware::WorkerState state) const;
    void Finish(JobResult result);

    serial::IPort& m_port;
    settings::SettingsStore& m_settings;
    std::atomic<std::int32_t> m_nUpgradeMode{0};
    std::atomic<WorkerState> m_nWorkerState{WorkerState::Running};
    std::atomic<IJobObserver*> m_observer{nullptr};
    JobReport m_report;  // the job's record; tells the observer of the run
    serial::StoppableSleeper m_ownSleeper;
    serial::ISleeper* m_sleeper;
    // The job's images; only the worker touches them while it runs.
    std::optional<ImageSource> m_bootImage;
    std::optional<ImageSource> m_userImage;
    mutable std::mutex m_resultMutex;
    std::optional<JobResult> m_result;
    std::atomic<bool> m_active{false};
    Pacing m_pacing = Pacing::Exact;
    bool m_verify = false;
    bool m_verifyRequested = false;  // this job is a full upgrade that reads back
    std::atomic<bool> m_verified{false};
    std::mutex m_joinMutex;  // one thread joins at a time
    std::thread m_worker;
};

}  // namespace korvane::firmware
