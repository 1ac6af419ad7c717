// Builds and appends the history line of one radio job.
#include "cli/JobHistory.h"

#include "base/ExeDir.h"
#include "error/Error.h"
#include "firmware/image/Qorin_CRC32.h"
#include "firmware/protocol/Stm32Parts.h"
#include "settings/FileBlock.h"

namespace korvane::cli {
namespace {

constexpr const char* kHistoryFileName = "korvane-history.csv";

// "CRC32:CBF43926", as the JSON and the closing line show it.
std::string CrcText(const std::optional<std::uint32_t>& crc)
{
    return crc ? firmware::FormatCrcLabel(*crc) : std::string();
}

}  // namespace

history::Record HistoryRecordOf(const FlashOutcome& outcome, const JobHistoryContext& context)
{
    history::Record record;
    record.started = history::FormatLocalTime(context.started);
    record.seconds = outcome.seconds;
    record.port = outcome.port;
    record.location = context.location;
    record.adapterSerial = context.adapterSerial;
    if (outcome.record.chip) {
        const auto& chip = *outcome.record.chip;
        if (chip.uid) {
            record.uid = firmware::UidText(*chip.uid);
        }
        if (chip.pid) {
            record.pid = firmware::PidText(*chip.pid);
        }
        if (chip.bootloaderVersion) {
            record.bootloader = firmware::BootloaderVersionText(*chip.bootloaderVersion);
        }
    }
    record.bootImage = context.bootImage;
    if (!context.bootImage.empty()) {
        record.bootBytes = std::to_string(outcome.bootBytes);
        record.bootCrc = CrcText(outcome.bootCrc);
    }
    record.userImage = context.userImage;
    if (!context.userImage.empty()) {
        record.userBytes = std::to_string(outcome.userBytes);
        record.userCrc = CrcText(outcome.userCrc);
    }
    record.pacing = firmware::PacingName(context.pacing);
    record.verified = outcome.verified.value_or(false);
    record.result = outcome.result;
    record.stage = outcome.Stage();
    record.exitStatus = outcome.exitStatus;
    record.message = outcome.error.empty() ? outcome.record.status : outcome.error;
    return record;
}

std::filesystem::path DefaultHistoryFile()
{
    return base::GetExeDir() / kHistoryFileName;
}

std::optional<std::string> AppendToHistory(const std::filesystem::path& file,
                                           const history::Record& record)
{
    try {
        history::Append(file, record);
        return std::nullopt;
    } catch (const std::exception& error) {
        return MessageWithHint(error);
    }
}

}  // namespace korvane::cli
