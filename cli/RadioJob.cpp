// A radio's port and job, and the observer that turns the job's calls into
// events for the front end.
#include "cli/RadioJob.h"

#include <utility>

#include "serial/DownloadPort.h"

namespace korvane::cli {

void RadioEvents::Post(RadioEvent event)
{
    std::lock_guard lock(m_mutex);
    m_events.push_back(std::move(event));
}

std::vector<RadioEvent> RadioEvents::Take()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_events, {});
}

RadioJob::RadioJob(std::size_t index, RadioEvents& events, settings::SettingsStore& settings)
    : m_index(index), m_events(events), m_job(m_port, settings)
{
    m_job.SetProgressCallback([this](const firmware::JobDetails& d) {
        std::lock_guard lock(m_shimMutex);
        if (d.stage != m_lastStage) OnStage(m_lastStage = d.stage);
        const std::string status = m_job.Status();
        if (!status.empty() && status != m_lastStatus) OnStatus(m_lastStatus = status);
        if (d.framesSent != m_lastFrames) OnFrameDelivered(d);
        if (d.blocksSent != m_lastBlocks) OnBlockDelivered(d);
        m_lastFrames = d.framesSent;
        m_lastBlocks = d.blocksSent;
    });
}

void RadioJob::Poll()
{
    if (!m_started || m_finishedPosted || m_job.IsRunning()) return;
    m_job.Join();
    m_finishedPosted = true;
    const firmware::JobDetails d = m_job.Details();
    {
        std::lock_guard lock(m_shimMutex);
        const std::string status = m_job.Status();
        if (!status.empty() && status != m_lastStatus) OnStatus(m_lastStatus = status);
    }
    firmware::JobResult r;
    r.stage = d.stage;
    r.framesSent = d.framesSent;
    r.blocksSent = d.blocksSent;
    r.bootBytesSent = d.bootBytesSent;
    r.userBytesSent = d.userBytesSent;
    r.message = m_job.ErrorDescription();
    r.warning = m_job.Warning();
    using firmware::JobOutcome;
    if (d.workerState == firmware::kWorkerFinished)
        r.outcome = JobOutcome::Completed;
    else if (d.workerState == firmware::kWorkerStopped)
        r.outcome = JobOutcome::Stopped;
    else if (d.failure == firmware::JobFailure::Refused)
        r.outcome = JobOutcome::Refused;
    else if (d.failure == firmware::JobFailure::Serial)
        r.outcome = JobOutcome::Serial;
    else if (d.failure == firmware::JobFailure::Image)
        r.outcome = JobOutcome::Image;
    OnFinished(r);
}

RadioJob::~RadioJob()
{
    Finish();
}

void RadioJob::Open(const std::string& device)
{
    serial::OpenPortForDownload(m_port, device);
}

void RadioJob::Start(const FlashImages& images)
{
    m_started = true;
    m_job.Start(images.mode, images.bootPath, images.userPath);
}

void RadioJob::RequestStop()
{
    m_job.RequestStop();
}

void RadioJob::Finish()
{
    m_job.Join();
    try {
        m_port.SetPortOpen(false);
    } catch (const korvane::Error&) {
        // A port that was lost is closed already; nothing more to release.
    }
}

void RadioJob::OnStage(firmware::JobStage stage)
{
    m_events.Post({m_index, RadioEvent::Kind::Stage, stage, {}, {}, {}});
}

void RadioJob::OnStatus(const std::string& text)
{
    m_events.Post({m_index, RadioEvent::Kind::Status, {}, text, {}, {}});
}

void RadioJob::OnFrameDelivered(const firmware::JobDetails& details)
{
    m_events.Post({m_index, RadioEvent::Kind::Delivered, details.stage, {}, details, {}});
}

void RadioJob::OnBlockDelivered(const firmware::JobDetails& details)
{
    m_events.Post({m_index, RadioEvent::Kind::Delivered, details.stage, {}, details, {}});
}

void RadioJob::OnFinished(const firmware::JobResult& result)
{
    m_events.Post({m_index, RadioEvent::Kind::Finished, result.stage, {}, {}, result});
}

}  // namespace korvane::cli
