// The pieces `korvane flash` and the station share: images, ports that cannot
// be opened, the job's events, warnings.
#include "cli/RadioRun.h"

#include <sstream>

#include "base/TextEncoding.h"
#include "cli/TextIds.h"
#include "firmware/image/Image.h"
#include "firmware/image/Qorin_CRC32.h"
#include "settings/OwnText.h"

namespace korvane::cli {
namespace {

namespace fs = std::filesystem;
using firmware::JobStage;
using settings::OwnText;

// An image as LoadImage gives it; an empty one is refused like a missing one:
// it would erase a radio (or count an upgrade) and write nothing.
std::vector<std::uint8_t> LoadNonEmptyImage(const fs::path& path)
{
    std::vector<std::uint8_t> image = firmware::LoadImage(path);
    if (image.empty()) {
        throw korvane::Error(
            ErrorKind::Image,
            OwnText(kTextImageEmpty, "the image {0} is empty: it holds no byte to write",
                    {base::PathToUtf8(path)}));
    }
    return image;
}

}  // namespace

FlashImages ReadImages(const ImageChoice& choice, FlashOutcome& base)
{
    const firmware::Qorin_CRC32 crc;
    FlashImages images;
    images.pacing = choice.exactTiming ? firmware::Pacing::Exact : firmware::Pacing::Patient;
    images.verify = choice.verify;
    if (choice.bootPath) {
        images.mode = firmware::UpgradeMode::Full;
        images.boot = LoadNonEmptyImage(*choice.bootPath);
        base.bootBytes = static_cast<std::int64_t>(images.boot.size());
        base.bootCrc = crc.Compute(images.boot);
    }
    images.user = LoadNonEmptyImage(choice.userPath);
    base.userBytes = static_cast<std::int64_t>(images.user.size());
    base.userCrc = crc.Compute(images.user);
    return images;
}

std::string ImageHint(const korvane::Error& error)
{
    return error.Hint().empty()
               ? OwnText(kTextImageHint, "Images are raw .bin files of at most 1,024,000 bytes")
               : error.Hint();
}

bool IsSerialError(const korvane::Error& error, serial::SerialErrorKind kind)
{
    const auto* serialError = dynamic_cast<const serial::SerialError*>(&error);
    return serialError != nullptr && serialError->SerialKind() == kind;
}

std::string PortHint(const korvane::Error& error)
{
    if (IsSerialError(error, serial::SerialErrorKind::NoSuchPort)) {
        return OwnText(kTextHintListPorts, "'korvane ports' lists the ports this computer has");
    }
    if (IsSerialError(error, serial::SerialErrorKind::BadSettings)) {
        return OwnText(kTextHintChooseAdapter,
                       "Choose the device of the radio's serial adapter ('korvane ports' lists "
                       "them)");
    }
    if (!error.Hint().empty()) return error.Hint();
    return OwnText(kTextHintCheckCable, "Check the cable and the USB adapter, then try again");
}

FlashOutcome NotStarted(FlashOutcome outcome, const korvane::Error& error,
                        firmware::JobOutcome kind, std::string hint)
{
    outcome.kind = kind;
    outcome.exitStatus = ExitStatusOf(kind, StopSignal::None);
    outcome.result = std::string(ResultWord(kind));
    outcome.record.stage = JobStage::NotStarted;
    outcome.error = error.what();
    outcome.hint = std::move(hint);
    return outcome;
}

FlashOutcome PortNotOpened(FlashOutcome base, const korvane::Error& error,
                           const std::string& device)
{
    FlashOutcome outcome =
        NotStarted(std::move(base), error, firmware::JobOutcome::Serial, PortHint(error));
    if (IsSerialError(error, serial::SerialErrorKind::BadSettings)) {
        // Said in the user's language: the settings are the download's own.
        outcome.error = OwnText(kTextPortSettingsRefused,
                                "the serial port {0} does not take a download's line settings "
                                "(115200 baud, 8 data bits, even parity, 1 stop bit)",
                                {device});
    }
    return outcome;
}

bool ApplyEvent(const RadioEvent& event, StopSignal stop, RadioState& radio, std::string& line)
{
    using Kind = firmware::JobEvent::Kind;
    line.clear();
    const firmware::JobRecord& record = event.event.record;
    switch (event.event.kind) {
        case Kind::Stage:
            radio.stage = record.stage;
            break;
        case Kind::Status:
            radio.outcome.record.status = record.status;
            line = record.status;
            break;
        case Kind::Chip:
            if (record.chip && !record.chip->Empty()) {
                radio.outcome.record.chip = record.chip;  // shown while the job runs
                line = ChipStatusLine(*record.chip);
            }
            break;
        case Kind::Frame:
        case Kind::Block:
            radio.stage = record.stage;
            radio.bytesSent = record.bootBytesSent + record.userBytesSent;
            break;
        case Kind::Finished:
            if (!event.event.result) break;
            radio.outcome = ClassifyEnd(*event.event.result, stop, radio.outcome);
            radio.stage = record.stage;
            radio.ended = true;
            return true;
    }
    return false;
}

void PrintWarning(const Console& console, const std::string& prefix, const std::string& warnings)
{
    std::istringstream lines(warnings);
    for (std::string warning; std::getline(lines, warning);) {
        if (warning.empty()) continue;
        console.err << "korvane: " << OwnText(kTextWarning, "warning: {0}", {prefix + warning})
                    << std::endl;
    }
}

}  // namespace korvane::cli
