// The job's shared record: one value under one lock, and an optional observer
// called on the worker thread, outside the lock, with a copy of it.
#include "firmware/JobReport.h"

#include "base/TextEncoding.h"
#include "firmware/AppLoaderStage.h"
#include "firmware/FirmwareTexts.h"
#include "firmware/JobObserver.h"
#include "firmware/RomBootloaderStage.h"
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

std::int32_t BarPosition(const JobRecord& record)
{
    if (record.userProgramCompleted) return kProgressMax;
    // Until the loader's 'G' the progress counts boot frames; from then on
    // (it restarts at 0 in the loader wait) user blocks. Every frame or block
    // but the last of its image is full, so the steps are the bytes rounded up.
    const std::int64_t step = static_cast<std::int64_t>(record.stage < JobStage::LoaderHandshake
                                                            ? RomBootloaderStage::kFrameSize
                                                            : AppLoaderStage::kBlockSize);
    return static_cast<std::int32_t>((record.progressBytes + step - 1) / step);
}

JobReport::JobReport(settings::SettingsStore& settings) : m_settings(settings) {}

template <typename Change>
void JobReport::Update(Change change)
{
    std::optional<JobEvent::Kind> kind;
    JobEvent event;
    {
        std::lock_guard lock(m_mutex);
        kind = change(m_record);
        if (!kind || m_observer == nullptr) return;
        event.record = m_record;
    }
    event.kind = *kind;
    m_observer->OnEvent(event);
}

void JobReport::Reset()
{
    std::lock_guard lock(m_mutex);
    std::string status = std::move(m_record.status);
    m_record = JobRecord{};
    m_record.status = std::move(status);
    m_announced.clear();
}

void JobReport::SetStatus(StatusId id)
{
    std::string text(StatusText(id, m_settings.Language()));
    Update([&](JobRecord& record) -> std::optional<JobEvent::Kind> {
        // The loader stage sets the same line before every block; the
        // observer hears of a status only when the line changes.
        const bool changed = m_announced != text;
        record.status = text;
        m_announced = text;
        if (!changed) return std::nullopt;
        return JobEvent::Kind::Status;
    });
}

void JobReport::SetStatusText(std::string text)
{
    std::lock_guard lock(m_mutex);
    m_record.status = std::move(text);
}

void JobReport::EnterStage(JobStage stage)
{
    Update([stage](JobRecord& record) {
        record.stage = stage;
        return std::optional(JobEvent::Kind::Stage);
    });
}

void JobReport::AddProgress(std::int64_t bytes)
{
    std::lock_guard lock(m_mutex);
    m_record.progressBytes += bytes;
}

void JobReport::RestartProgress()
{
    std::lock_guard lock(m_mutex);
    m_record.progressBytes = 0;
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
    if (!change.saved) {
        std::string warning = settings::OwnText(kTextCounterNotSaved,
                                                "The upgrade counter could not be saved to '{0}'.",
                                                {base::PathToUtf8(m_settings.Path())});
        if (change.problem) warning += std::string(" ") + change.problem->what() + ".";
        AddWarning(warning);
    }
    std::lock_guard lock(m_mutex);
    if (change.saved) {
        m_record.counted = true;
        m_record.counter = change.count;
    }
    m_record.userProgramCompleted = true;
}

void JobReport::AddWarning(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    if (!m_record.warning.empty()) m_record.warning += '\n';
    m_record.warning += text;
}

void JobReport::SetChip(const ChipIdentity& chip)
{
    Update([&chip](JobRecord& record) {
        record.chip = chip;
        return std::optional(JobEvent::Kind::Chip);
    });
}

void JobReport::SetBootTotal(std::int64_t bytes)
{
    std::lock_guard lock(m_mutex);
    m_record.bootBytesTotal = bytes;
}

void JobReport::AddBootFrame(std::int64_t bytes)
{
    Update([bytes](JobRecord& record) {
        record.bootBytesSent += bytes;
        ++record.framesSent;
        return std::optional(JobEvent::Kind::Frame);
    });
}

void JobReport::SetUserTotal(std::int64_t bytes, std::int32_t blocks)
{
    std::lock_guard lock(m_mutex);
    m_record.userBytesTotal = bytes;
    m_record.blocksTotal = blocks;
}

void JobReport::AddUserBlock(std::int64_t bytes)
{
    Update([bytes](JobRecord& record) {
        record.userBytesSent += bytes;
        ++record.blocksSent;
        return std::optional(JobEvent::Kind::Block);
    });
}

JobRecord JobReport::Record() const
{
    std::lock_guard lock(m_mutex);
    return m_record;
}

}  // namespace korvane::firmware
