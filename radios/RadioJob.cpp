// A radio's port and job, and the observer that posts the job's events for
// the front end.
#include "radios/RadioJob.h"

#include <utility>

#include "serial/DownloadPort.h"

namespace korvane::radios {

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
    : m_index(index), m_events(events), m_job(m_port.Port(), settings)
{
    m_job.SetObserver(this);
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
    // Each job sends its own copy of the same bytes, read once for all radios.
    m_job.SetPacing(images.pacing);
    m_job.SetVerify(images.verify);
    m_job.Start(images.mode, images.boot, images.user);
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

void RadioJob::OnEvent(const firmware::JobEvent& event)
{
    m_events.Post({m_index, event});
}

}  // namespace korvane::radios
