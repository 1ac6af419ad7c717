// The job's shared progress record: atomics for the counts, a mutex for the
// status text, and an optional observer called on the worker thread.
#include "firmware/JobReport.h"

#include "base/TextEncoding.h"
#include "firmware/FirmwareTexts.h"
#include "firmware/JobObserver.h"
#include "settings/OwnText.h"

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
        case JobStage::RomVerify:
            return "rom-verify";
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

JobReport::JobReport(std::atomic<std::int32_t>& progress, settings::SettingsStore& settings)
    : m_progress(progress), m_settings(settings)
{
}

void JobReport::Reset()
{
    m_stage = static_cast<std::int32_t>(JobStage::NotStarted);
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
    m_warning.clear();
    m_announced.clear();
    m_chip.reset();
}

void JobReport::SetStatus(StatusId id)
{
    std::string text(StatusText(id, m_settings.Language()));
    bool changed = false;
    {
        std::lock_guard lock(m_statusMutex);
        changed = m_announced != text;
        m_status = text;
        m_announced = text;
    }
    // The loader stage sets the same line before every block; the observer
    // hears of a status only when the line changes.
    if (changed && m_observer != nullptr) m_observer->OnStatus(text);
}

void JobReport::SetStatusText(std::string text)
{
    SetStatusQuietly(std::move(text));
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
}

void JobReport::AddProgress(std::int32_t delta)
{
    const std::int32_t value = m_progress += delta;
    if (m_observer != nullptr) m_observer->OnProgress(value);
}

void JobReport::EnterStage(JobStage stage)
{
    m_stage = static_cast<std::int32_t>(stage);
    if (m_observer != nullptr) m_observer->OnStage(stage);
}

void JobReport::CompleteUserProgram(serial::ISleeper& sleeper)
{
    SetStatus(StatusId::UserCompleted);
    settings::LockWait wait;
    wait.pause = [&sleeper](std::chrono::milliseconds duration) {
        try {
            sleeper.Sleep(duration);
            return true;
        } catch (const serial::StopRequested&) {
            return false;
        }
    };
    const settings::CountChange change = m_settings.IncrementUpgradeCount(wait);
    if (change.saved) {
        m_countedValue = change.count;
        m_counted = true;
    } else {
        std::string warning = settings::OwnText(kTextCounterNotSaved,
                                                "The upgrade counter could not be saved to '{0}'.",
                                                {base::PathToUtf8(m_settings.Path())});
        if (change.problem) warning += std::string(" ") + change.problem->what() + ".";
        AddWarning(warning);
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

void JobReport::SetChip(const ChipIdentity& chip)
{
    {
        std::lock_guard lock(m_statusMutex);
        m_chip = chip;
    }
    if (m_observer != nullptr) m_observer->OnChip(chip);
}

std::optional<ChipIdentity> JobReport::Chip() const
{
    std::lock_guard lock(m_statusMutex);
    return m_chip;
}

void JobReport::SetBootTotal(std::int64_t bytes)
{
    m_bootBytesTotal = bytes;
}

void JobReport::AddBootFrame(std::int64_t bytes)
{
    m_bootBytesSent += bytes;
    ++m_framesSent;
    if (m_observer != nullptr) m_observer->OnFrameDelivered(Details());
}

void JobReport::SetUserTotal(std::int64_t bytes, std::int32_t blocks)
{
    m_userBytesTotal = bytes;
    m_blocksTotal = blocks;
}

void JobReport::AddUserBlock(std::int64_t bytes)
{
    m_userBytesSent += bytes;
    ++m_blocksSent;
    if (m_observer != nullptr) m_observer->OnBlockDelivered(Details());
}

JobDetails JobReport::Details() const
{
    JobDetails d;
    d.stage = static_cast<JobStage>(m_stage.load());
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
