// The ROM bootloader stage as the sequence of bootloader commands it is. Each
// command is one request and its reads (Stm32Bootloader); only an ACK as the
// first byte of what the bootloader actually sent lets the stage go on.
#include "firmware/RomBootloaderStage.h"

#include <algorithm>
#include <chrono>

#include "firmware/FirmwareTexts.h"
#include "firmware/StageFailure.h"
#include "settings/OwnText.h"

namespace korvane::firmware {

namespace {

using std::chrono::milliseconds;
using SyncKind = Stm32Bootloader::SyncKind;

constexpr milliseconds kPauseBeforeGivingUp{1};

// After its second acknowledgement an unprotect resets the chip; the fresh
// bootloader waits for a synchronisation byte again. It is given a moment to
// start, then a bounded number of 0x7F, each with a short wait for its ACK.
constexpr milliseconds kResetSettle{10};
constexpr milliseconds kResyncWait{100};
constexpr int kResyncAttempts = 20;

std::string CommandText(const BootloaderAnswer& answer)
{
    BootloaderAnswer command;
    command.command = answer.command;
    return command.Step().Text();
}

}  // namespace

RomBootloaderStage::RomBootloaderStage(StageContext context, ImageSource& bootImage)
    : m_ctx(context), m_bootImage(bootImage), m_bootloader(m_ctx.exchange, m_ctx.pacing)
{
}

bool RomBootloaderStage::Run()
{
    m_ctx.report.EnterStage(JobStage::RomSync);
    Synchronise();
    m_ctx.report.SetStatus(StatusId::BootDownloading);

    m_ctx.report.EnterStage(JobStage::RomPrepare);
    Unprotect(m_bootloader.ReadoutUnprotect());
    Unprotect(m_bootloader.WriteUnprotect());
    Erase();
    Identify();

    m_ctx.report.EnterStage(JobStage::RomWrite);
    const std::vector<std::uint8_t>& image = WriteBootImage();
    const bool verified = m_ctx.verify && !image.empty();
    if (verified) {
        m_ctx.report.EnterStage(JobStage::RomVerify);
        ReadBack(image);
    }

    m_ctx.report.EnterStage(JobStage::RomGo);
    Expect(m_bootloader.Go(kFlashBase));
    m_ctx.report.SetStatus(StatusId::BootCompleted);
    return verified;
}

void RomBootloaderStage::Synchronise()
{
    for (int attempt = 0; attempt < kSyncAttempts; ++attempt) {
        const BootloaderAnswer answer = m_bootloader.Sync(SyncKind::First);
        if (answer.Accepted()) return;
        // A bootloader that an earlier run (`korvane info`, a failed job)
        // synchronised takes 0x7F for half a command and refuses the pair: it
        // waits for a command already. The fixed schedule, as shipped, wants
        // the ACK of a fresh bootloader.
        if (m_ctx.pacing == Pacing::Patient && answer.first == Stm32Bootloader::kNack) return;
    }
    m_ctx.exchange.Sleeper().Sleep(kPauseBeforeGivingUp);
    throw BootloaderAbsent(kSyncAttempts);
}

void RomBootloaderStage::Unprotect(const BootloaderAnswer& answer)
{
    Expect(answer);
    const std::string command = CommandText(answer);
    const StepName sync{kTextSyncAfter, "the synchronisation after {0}", command};
    if (m_ctx.pacing == Pacing::Exact) {
        // The synchronisation byte follows at once: the chip must be back
        // within the poll.
        Expect(m_bootloader.Sync(SyncKind::AfterReset), sync);
        return;
    }
    Resynchronise(command, sync);
}

void RomBootloaderStage::Resynchronise(const std::string& after, const StepName& what)
{
    m_ctx.exchange.Sleeper().Sleep(kResetSettle);
    for (int attempt = 0; attempt < kResyncAttempts; ++attempt) {
        const BootloaderAnswer answer = m_bootloader.Sync(SyncKind::AfterReset);
        if (!answer.first) continue;
        return Expect(answer, what);
    }
    const auto bound =
        std::chrono::duration_cast<milliseconds>(kResetSettle + kResyncAttempts * kResyncWait);
    throw StageFailure(
        settings::OwnText(kTextNotBack,
                          "The radio's bootloader did not come back after {0}: {1} synchronisation "
                          "bytes in {2} ms went unanswered.",
                          {after, std::to_string(kResyncAttempts), std::to_string(bound.count())}),
        settings::OwnText(kTextNotBackHint,
                          "Switch the radio off and on again in its bootloader mode, then repeat "
                          "the full upgrade."));
}

void RomBootloaderStage::Erase()
{
    const BootloaderAnswer answer = m_bootloader.EraseAll();
    if (answer.part == CommandPart::Command && answer.first == Stm32Bootloader::kNack) {
        throw EraseRefused();
    }
    Expect(answer);
}

void RomBootloaderStage::Identify()
{
    // The bootloader's answers name the chip; a reply that does not fit its
    // protocol leaves that part unknown and says so, without failing the job
    // (the fixed schedule as shipped only requires the ACKs).
    const BootloaderAnswer uid = Expect(m_bootloader.ReadMemory(kDeviceIdAddress, kUidSize));
    const BootloaderAnswer version = Expect(m_bootloader.GetVersion());
    const BootloaderAnswer id = Expect(m_bootloader.GetId());
    ChipIdentity chip;
    const auto keep = [this](auto parse) {
        try {
            parse();
        } catch (const MalformedReply& error) {
            m_ctx.report.AddWarning(error.what());
        }
    };
    keep([&] { chip.uid = ParseUid(uid); });
    keep([&] {
        const VersionReply reply = ParseGetVersion(version);
        chip.bootloaderVersion = reply.version;
        chip.readProtected = reply.options[0] != 0 || reply.options[1] != 0;
    });
    keep([&] { chip.pid = ParseGetId(id); });
    m_ctx.report.SetChip(chip);
}

const std::vector<std::uint8_t>& RomBootloaderStage::WriteBootImage()
{
    // The flash is erased by now: an image that cannot be read fails the job
    // (LoadImage throws) rather than ending it as if it had been written.
    const std::vector<std::uint8_t>& image = m_bootImage.Bytes();
    m_ctx.report.SetBootTotal(static_cast<std::int64_t>(image.size()));
    for (std::size_t offset = 0; offset < image.size(); offset += kFrameSize) {
        WriteFrame(image, offset);
    }
    return image;
}

void RomBootloaderStage::WriteFrame(std::span<const std::uint8_t> image, std::size_t offset)
{
    const std::size_t count = std::min(kFrameSize, image.size() - offset);
    const auto bytes = image.subspan(offset, count);
    const auto address = static_cast<std::uint32_t>(kFlashBase + offset);
    // The bootloader wants a multiple of 4 bytes per write: patient pacing
    // fills a short last frame with 0xFF, what erased flash holds, so the
    // chip's content stays the image's. The fixed schedule sends the frame
    // as shipped, carrying exactly the bytes that remain.
    const BootloaderAnswer answer = m_ctx.pacing == Pacing::Patient
                                        ? m_bootloader.WriteMemory(address, PadToWords(bytes))
                                        : m_bootloader.WriteMemory(address, bytes);
    // The progress counts a frame once its Write Memory command was acknowledged.
    if (answer.part != CommandPart::Command || answer.Accepted()) {
        m_ctx.report.AddProgress(static_cast<std::int64_t>(count));
    }
    if (answer.part == CommandPart::Data) {
        Expect(answer,
               {kTextDataFrame, "the data frame at image offset {0}", std::to_string(offset)});
    } else {
        Expect(answer);
    }
    m_ctx.report.AddBootFrame(static_cast<std::int64_t>(count));
}

void RomBootloaderStage::ReadBack(std::span<const std::uint8_t> image)
{
    for (std::size_t offset = 0; offset < image.size(); offset += kFrameSize) {
        const std::size_t count = std::min(kFrameSize, image.size() - offset);
        const auto address = static_cast<std::uint32_t>(kFlashBase + offset);
        const BootloaderAnswer answer = Expect(m_bootloader.ReadMemory(address, count));
        const auto expected = image.subspan(offset, count);
        const std::span<const std::uint8_t> data = answer.data;
        const auto [sent, read] =
            std::mismatch(expected.begin(), expected.end(), data.begin(), data.end());
        if (sent == expected.end()) continue;
        const auto at = static_cast<std::uint32_t>(address + (sent - expected.begin()));
        throw StageFailure(
            settings::OwnText(
                kTextVerifyMismatch,
                "The boot image read back differs from the image sent, first at {0}: sent {1}, "
                "read {2}.",
                {AddressText(at), HexByte(*sent),
                 read == data.end() ? std::string("none") : HexByte(*read)}),
            settings::OwnText(kTextVerifyHint,
                              "The flash was not written as sent. Repeat the full upgrade; if it "
                              "fails again at the same address, the radio's flash may be worn."));
    }
}

BootloaderAnswer RomBootloaderStage::Expect(BootloaderAnswer answer)
{
    Expect(answer, answer.Step());
    return answer;
}

void RomBootloaderStage::Expect(const BootloaderAnswer& answer, const StepName& what)
{
    if (answer.Accepted()) return;
    throw StepFailed(what.Text(), answer.first);
}

}  // namespace korvane::firmware
