// The job's shared progress record: atomics for the counts, a mutex for the
// status text, and an optional observer called on the worker thread.
#include "firmware/JobReport.h"

#include <limits>

#include "firmware/FirmwareTexts.h"
#include "firmware/JobObserver.h"
#include "settings/OwnText.h"
#include "settings/SysData.h"

namespace korvane::firmware {

const char* StageName(JobStage stage)
{
    switch (stage) {
        case JobStage::NotStarted:
            return "not-started";
        case JobStage::RomSync:
            return "rom-sync";
        case JobStage::RomPrepare:
            return "rom-prepare";
        case JobStage::RomWrite:
            return "rom-write";
        case JobStage::RomGo:
            return "rom-go";
        case JobStage::LoaderWait:
            return "loader-wait";
        case JobStage::LoaderHandshake:
            return "loader-handshake";
        case JobStage::LoaderBlocks:
            return "loader-blocks";
        case JobStage::EndFrame:
            return "end-frame";
        case JobStage::Done:
            return "done";
    }
    return "unknown";
}

JobReport::JobReport(std::atomic<std::int32_t>& progress, std::atomic<std::int32_t>& workerState,
                     settings::SettingsStore& settings)
    : m_progress(progress), m_workerState(workerState), m_settings(settings)
{
}

void JobReport::Reset()
{
    m_stage = static_cast<std::int32_t>(JobStage::NotStarted);
    m_failure = static_cast<std::int32_t>(JobFailure::None);
    m_bootBytesTotal = 0;
    m_bootBytesSent = 0;
    m_framesSent = 0;
    m_userBytesTotal = 0;
    m_userBytesSent = 0;
    m_blocksTotal = 0;
    m_blocksSent = 0;
    m_counted = false;
    m_countedValue = 0;
    std::lock_guard lock(m_statusMutex);
    m_errorDescription.clear();
    m_warning.clear();
}

void JobReport::SetCallback(ProgressCallback callback)
{
    std::lock_guard lock(m_callbackMutex);
    m_callback = std::move(callback);
}

void JobReport::SetStatus(StatusId id)
{
    std::string text(StatusText(id, m_settings.Language()));
    SetStatusQuietly(text);
    if (m_observer != nullptr) m_observer->OnStatus(text);
    Notify();
}

void JobReport::SetStatusText(std::string text)
{
    SetStatusQuietly(std::move(text));
    Notify();
}

void JobReport::SetStatusQuietly(std::string text)
{
    std::lock_guard lock(m_statusMutex);
    m_status = std::move(text);
}

std::string JobReport::Status() const
{
    std::lock_guard lock(m_statusMutex);
    return m_status;
}

void JobReport::SetProgress(std::int32_t value)
{
    m_progress = value;
    if (m_observer != nullptr) m_observer->OnProgress(value);
    Notify();
}

void JobReport::AddProgress(std::int32_t delta)
{
    const std::int32_t value = m_progress += delta;
    if (m_observer != nullptr) m_observer->OnProgress(value);
    Notify();
}

void JobReport::EnterStage(JobStage stage)
{
    m_stage = static_cast<std::int32_t>(stage);
    if (m_observer != nullptr) m_observer->OnStage(stage);
    Notify();
}

void JobReport::SetFailure(JobFailure failure, std::string description)
{
    {
        std::lock_guard lock(m_statusMutex);
        m_errorDescription = std::move(description);
    }
    m_failure = static_cast<std::int32_t>(failure);
}

std::string JobReport::ErrorDescription() const
{
    std::lock_guard lock(m_statusMutex);
    return m_errorDescription;
}

void JobReport::CompleteUserProgram()
{
    SetStatus(StatusId::UserCompleted);
    std::int32_t count = 0;
    const bool saved = m_settings.Modify([&count](settings::SysData& data) {
        // The count stays at its largest value rather than wrap to a negative one.
        count = data.UpgradeCount();
        if (count < std::numeric_limits<std::int32_t>::max()) ++count;
        data.SetUpgradeCount(count);
    });
    if (saved) {
        m_countedValue = count;
        m_counted = true;
    } else {
        AddWarning(settings::OwnText(kTextCounterNotSaved,
                                     "The upgrade counter could not be saved to '{0}'.",
                                     {m_settings.Path().string()}));
    }
    SetProgress(kProgressMax);
}

std::optional<std::int32_t> JobReport::CountedValue() const
{
    if (!m_counted) return std::nullopt;
    return m_countedValue.load();
}

void JobReport::AddWarning(const std::string& text)
{
    std::lock_guard lock(m_statusMutex);
    if (!m_warning.empty()) m_warning += '\n';
    m_warning += text;
}

std::string JobReport::Warning() const
{
    std::lock_guard lock(m_statusMutex);
    return m_warning;
}

void JobReport::SetBootTotal(std::int64_t bytes)
{
    m_bootBytesTotal = bytes;
    Notify();
}

void JobReport::AddBootFrame(std::int64_t bytes)
{
    m_bootBytesSent += bytes;
    ++m_framesSent;
    if (m_observer != nullptr) m_observer->OnFrameDelivered(Details());
    Notify();
}

void JobReport::SetUserTotal(std::int64_t bytes, std::int32_t blocks)
{
    m_userBytesTotal = bytes;
    m_blocksTotal = blocks;
    Notify();
}

void JobReport::AddUserBlock(std::int64_t bytes)
{
    m_userBytesSent += bytes;
    ++m_blocksSent;
    if (m_observer != nullptr) m_observer->OnBlockDelivered(Details());
    Notify();
}

void JobReport::Notify()
{
    std::lock_guard lock(m_callbackMutex);
    if (m_callback) m_callback(Details());
}

JobDetails JobReport::Details() const
{
    JobDetails d;
    d.stage = static_cast<JobStage>(m_stage.load());
    d.failure = static_cast<JobFailure>(m_failure.load());
    d.workerState = m_workerState.load();
    d.progress = m_progress.load();
    d.bootBytesTotal = m_bootBytesTotal.load();
    d.bootBytesSent = m_bootBytesSent.load();
    d.framesSent = m_framesSent.load();
    d.userBytesTotal = m_userBytesTotal.load();
    d.userBytesSent = m_userBytesSent.load();
    d.blocksTotal = m_blocksTotal.load();
    d.blocksSent = m_blocksSent.load();
    return d;
}

}  // namespace korvane::firmware
