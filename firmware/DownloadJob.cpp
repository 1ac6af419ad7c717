// The download worker: runs the stages for the chosen mode, then the end frame,
// and turns every way a job can end into a defined state, status line and result.
#include "firmware/DownloadJob.h"

#include <chrono>

#include "firmware/AppLoaderStage.h"
#include "firmware/FirmwareTexts.h"
#include "firmware/RomBootloaderStage.h"
#include "firmware/StageContext.h"
#include "firmware/image/Qorin_CRC32.h"
#include "serial/ByteExchange.h"
#include "serial/SerialError.h"
#include "settings/OwnText.h"

namespace korvane::firmware {

namespace {

using State = WorkerState;

constexpr std::chrono::milliseconds kPauseAfterFailure{1};

// The port as the stages see it, counting the writes the line has taken, so
// that a port lost before the end frame was written can be told from one lost
// while its reply was awaited. Used by the worker alone.
class WriteCountingPort : public serial::IPort {
public:
    explicit WriteCountingPort(serial::IPort& port) : m_port(port) {}

    std::size_t Waiting() override { return m_port.Waiting(); }
    std::vector<std::uint8_t> Read(std::size_t most, std::chrono::nanoseconds wait,
                                   serial::ISleeper& stop) override
    {
        return m_port.Read(most, wait, stop);
    }
    void DiscardInput() override { m_port.DiscardInput(); }
    void Write(std::span<const std::uint8_t> bytes) override
    {
        m_port.Write(bytes);
        ++m_writes;
    }
    std::int64_t Writes() const { return m_writes; }

private:
    serial::IPort& m_port;
    std::int64_t m_writes = 0;
};

std::optional<std::uint32_t> CrcOf(const std::optional<ImageSource>& image)
{
    if (!image || image->Taken() == nullptr) return std::nullopt;
    return Qorin_CRC32().Compute(*image->Taken());
}

std::int64_t SizeOf(const std::optional<ImageSource>& image)
{
    if (!image || image->Taken() == nullptr) return 0;
    return static_cast<std::int64_t>(image->Taken()->size());
}

}  // namespace

DownloadJob::DownloadJob(serial::IPort& port, settings::SettingsStore& settings,
                         serial::ISleeper* sleeper)
    : m_port(port),
      m_settings(settings),
      m_report(settings),
      m_sleeper(sleeper != nullptr ? sleeper : &m_ownSleeper)
{
}

DownloadJob::~DownloadJob()
{
    Stop();
}

void DownloadJob::SetObserver(IJobObserver* observer)
{
    m_observer = observer;
}

void DownloadJob::Start(UpgradeMode mode, std::filesystem::path bootPath,
                        std::filesystem::path userPath)
{
    Launch(mode, ImageSource(ImageRole::Boot, std::move(bootPath)),
           ImageSource(ImageRole::UserProgram, std::move(userPath)));
}

void DownloadJob::Start(UpgradeMode mode, std::vector<std::uint8_t> boot,
                        std::vector<std::uint8_t> user)
{
    Launch(mode, ImageSource(ImageRole::Boot, std::move(boot)),
           ImageSource(ImageRole::UserProgram, std::move(user)));
}

void DownloadJob::Launch(UpgradeMode mode, ImageSource boot, ImageSource user)
{
    Stop();
    m_sleeper->Reset();
    // The previous job's end goes before the thread exists, so a watcher
    // never takes the old "ended" for the new job's.
    m_report.Reset();
    m_report.SetObserver(m_observer.load());
    {
        std::lock_guard lock(m_resultMutex);
        m_result.reset();
    }
    m_nWorkerState = WorkerState::Running;
    m_verified = false;
    m_verifyRequested = m_verify && mode == UpgradeMode::Full;
    m_nUpgradeMode = static_cast<std::int32_t>(mode);
    m_bootImage.emplace(std::move(boot));
    m_userImage.emplace(std::move(user));
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

JobSnapshot DownloadJob::Snapshot() const
{
    JobSnapshot snapshot;
    snapshot.record = m_report.Record();
    snapshot.workerState = m_nWorkerState.load();
    snapshot.running = m_active.load();
    return snapshot;
}

std::optional<JobResult> DownloadJob::Result() const
{
    std::lock_guard lock(m_resultMutex);
    return m_result;
}

void DownloadJob::DownloadThreadProc()
{
    JobResult result;
    try {
        RunStages();
        result = Completed();
    } catch (const korvane::Error& error) {
        const JobOutcome outcome = OutcomeOf(error.Kind());
        if (outcome == JobOutcome::Refused) {
            try {
                m_sleeper->Sleep(kPauseAfterFailure);
            } catch (const serial::StopRequested&) {
                // The refusal is reported all the same.
            }
        }
        result = outcome == JobOutcome::Stopped ? StoppedResult() : Failed(outcome, error);
    } catch (const std::exception& error) {
        const std::string message = settings::OwnText(
            kTextUnexpected, "The download ended unexpectedly: {0}", {error.what()});
        result = Failed(JobOutcome::Other, korvane::Error(message));
    }
    Finish(std::move(result));
}

void DownloadJob::RunStages()
{
    WriteCountingPort port(m_port);
    serial::ByteExchange exchange(port, *m_sleeper);
    WorkBuffer work{};
    const StageContext context{exchange, work, m_report, m_pacing, m_verify};

    if (m_nUpgradeMode == static_cast<std::int32_t>(UpgradeMode::Full)) {
        m_verified = RomBootloaderStage(context, *m_bootImage).Run();
        m_nUpgradeMode = static_cast<std::int32_t>(UpgradeMode::UserProgram);
    }
    AppLoaderStage(context, *m_userImage).Run();

    // Every block is accepted and counted by now, and the end frame's reply is
    // never examined: a stop or a lost port while it is awaited cannot undo
    // the upgrade, so the job completes with a warning. A port lost before the
    // frame reached the line is a failure (the result still says it counted).
    const std::int64_t writesBefore = port.Writes();
    try {
        SendEndFrame(context);
    } catch (const serial::StopRequested&) {
        m_report.AddWarning(settings::OwnText(
            kTextStoppedDuringEndFrame,
            "The stop came while the end frame was sent or its reply awaited; the user "
            "program had been delivered and counted."));
    } catch (const serial::SerialError&) {
        if (port.Writes() == writesBefore) throw;
        m_report.AddWarning(settings::OwnText(
            kTextPortClosedAfterEndFrame,
            "The port closed after the end frame was sent; the user program had been "
            "delivered and counted."));
    }
}

JobResult DownloadJob::BaseResult(JobOutcome outcome, firmware::WorkerState state) const
{
    JobResult result;
    result.outcome = outcome;
    result.workerState = state;
    result.record = m_report.Record();
    if (!result.record.counted) result.record.counter = m_settings.UpgradeCount();
    result.bootCrc = CrcOf(m_bootImage);
    result.userCrc = CrcOf(m_userImage);
    result.bootBytes = SizeOf(m_bootImage);
    result.userBytes = SizeOf(m_userImage);
    if (m_verifyRequested) result.verified = m_verified.load();
    return result;
}

JobResult DownloadJob::Completed()
{
    m_report.EnterStage(JobStage::Done);
    m_nWorkerState = WorkerState::Finished;
    return BaseResult(JobOutcome::Completed, State::Finished);
}

JobResult DownloadJob::Failed(JobOutcome outcome, const korvane::Error& error)
{
    m_report.SetStatus(StatusId::Error);
    m_nWorkerState = WorkerState::Failed;
    JobResult result = BaseResult(outcome, State::Failed);
    result.message = error.what();
    result.hint = error.Hint();
    if (result.hint.empty() && outcome == JobOutcome::Serial) {
        result.hint =
            settings::OwnText(kHintPortLost,
                              "Check the cable and that the radio is switched on, then run the "
                              "upgrade again.");
    }
    return result;
}

JobResult DownloadJob::StoppedResult()
{
    m_nWorkerState = WorkerState::Stopped;
    JobResult result = BaseResult(JobOutcome::Stopped, State::Stopped);
    result.message = settings::OwnText(kTextJobStopped, "The download was stopped at stage {0}.",
                                       {StageName(result.record.stage)});
    result.hint = settings::OwnText(
        kHintJobStopped,
        "The radio may hold a partly written image; run the upgrade again before using it.");
    return result;
}

void DownloadJob::Finish(JobResult result)
{
    {
        std::lock_guard lock(m_resultMutex);
        m_result = result;
    }
    if (IJobObserver* observer = m_report.Observer()) {
        try {
            JobEvent event;
            event.kind = JobEvent::Kind::Finished;
            event.record = result.record;
            event.result = result;
            observer->OnEvent(event);
        } catch (...) {
            // Nothing is left to report it to: the result stands, and an
            // exception leaving the worker would end the process.
        }
    }
    m_active = false;
}

}  // namespace korvane::firmware
