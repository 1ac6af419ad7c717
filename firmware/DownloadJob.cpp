// The download worker: runs the stages for the chosen mode, then the end frame,
// and turns every way a job can end into a defined state and status line.
#include "firmware/DownloadJob.h"

#include <chrono>

#include "firmware/AppLoaderStage.h"
#include "firmware/Image.h"
#include "firmware/RomBootloaderStage.h"
#include "firmware/StageContext.h"
#include "firmware/StageFailure.h"
#include "serial/ByteExchange.h"
#include "serial/SerialError.h"

namespace korvane::firmware {

namespace {
constexpr std::chrono::milliseconds kPauseAfterFailure{1};
}

DownloadJob::DownloadJob(serial::IPortOps& port, settings::SettingsStore& settings,
                         serial::ISleeper* sleeper)
    : m_port(port),
      m_report(m_nProgress, m_nWorkerState, settings),
      m_sleeper(sleeper != nullptr ? sleeper : &m_ownSleeper)
{
}

DownloadJob::~DownloadJob()
{
    Stop();
}

void DownloadJob::Start(UpgradeMode mode, std::filesystem::path bootPath,
                        std::filesystem::path userPath)
{
    Stop();
    m_sleeper->Reset();
    // The previous job's end state goes before the thread exists, so a watcher
    // never takes the old "ended" for the new job's.
    m_report.Reset();
    m_nWorkerState = kWorkerRunning;
    m_nProgress = 0;
    m_verified = false;
    m_nUpgradeMode = static_cast<std::int32_t>(mode);
    m_strBootPath = std::move(bootPath);
    m_strUserPath = std::move(userPath);
    m_active = true;
    std::lock_guard lock(m_joinMutex);
    m_worker = std::thread(&DownloadJob::DownloadThreadProc, this);
}

void DownloadJob::RequestStop()
{
    m_sleeper->RequestStop();
}

void DownloadJob::Stop()
{
    RequestStop();
    Join();
}

void DownloadJob::Join()
{
    std::lock_guard lock(m_joinMutex);
    if (m_worker.joinable()) m_worker.join();
}

void DownloadJob::DownloadThreadProc()
{
    try {
        RunStages();
        m_report.EnterStage(JobStage::Done);
        m_nWorkerState = kWorkerFinished;
    } catch (const StageFailure& failure) {
        try {
            m_sleeper->Sleep(kPauseAfterFailure);
        } catch (const serial::StopRequested&) {
            // The failure is reported all the same.
        }
        Fail(JobFailure::Refused, failure.what());
    } catch (const serial::StopRequested&) {
        m_nWorkerState = kWorkerStopped;
    } catch (const ImageError& error) {
        Fail(JobFailure::Image, error.what());
    } catch (const serial::SerialError& error) {
        Fail(JobFailure::Serial, error.what());
    } catch (const std::exception& error) {
        Fail(JobFailure::Other, error.what());
    }
    m_report.Notify();
    m_active = false;
}

void DownloadJob::RunStages()
{
    serial::ByteExchange exchange(m_port, *m_sleeper);
    WorkBuffer work{};
    const StageContext context{exchange, work, m_report, m_pacing, m_verify};

    if (m_nUpgradeMode == static_cast<std::int32_t>(UpgradeMode::Full)) {
        m_verified = RomBootloaderStage(context, m_strBootPath).Run();
        m_nUpgradeMode = static_cast<std::int32_t>(UpgradeMode::UserProgram);
    }
    AppLoaderStage(context, m_strUserPath).Run();
    SendEndFrame(context);
}

void DownloadJob::Fail(JobFailure failure, const std::string& description)
{
    m_report.SetFailure(failure, description);
    m_report.SetStatus(StatusId::Error);
    m_nWorkerState = kWorkerFailed;
}

}  // namespace korvane::firmware
