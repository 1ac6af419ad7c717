// The ROM bootloader stage, step by step as the bootloader's USART protocol
// wants it. Each step is one request and one short read; only an ACK as the
// first byte of what the bootloader actually sent lets the stage go on.
#include "firmware/RomBootloaderStage.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

#include "firmware/Image.h"
#include "firmware/StageFailure.h"
#include "settings/OwnText.h"

namespace korvane::firmware {

namespace {

using std::chrono::milliseconds;

constexpr std::uint8_t kComplementMask = 0xFF;
constexpr milliseconds kPauseBeforeGivingUp{1};

// Patient ceilings: the slowest parts a radio may carry. Any command's answer
// and a 256-byte write take well under a second; a mass erase of a large
// flash up to about 35 s. A first synchronisation that goes unanswered is
// simply repeated, so it waits no longer than the fixed schedule's one poll.
constexpr milliseconds kCommandCeiling{1000};
constexpr milliseconds kMassEraseCeiling{35000};
constexpr milliseconds kFirstSyncCeiling{50};

// After its second acknowledgement an unprotect resets the chip; the fresh
// bootloader waits for a synchronisation byte again. It is given a moment to
// start, then a bounded number of 0x7F, each with a short wait for its ACK.
constexpr milliseconds kResetSettle{10};
constexpr milliseconds kResyncWait{100};
constexpr int kResyncAttempts = 20;

// clang-format off
//                                          fixed schedule   patient
//                                          wants  polls     wants  ceiling
constexpr ReadWindow kFirstSync            {1,     1,        1,     kFirstSyncCeiling};
constexpr ReadWindow kOneAck               {1,     1,        1,     kCommandCeiling};
// Read as two although the bootloader sends one ACK: the fixed schedule then
// always waits its poll, which gives the bootloader that time.
constexpr ReadWindow kAckAsPair            {2,     1,        1,     kCommandCeiling};
constexpr ReadWindow kGlobalEraseAck       {2,     1,        1,     kMassEraseCeiling};
// Both ACKs of an unprotect; Readout Unprotect erases the flash between them.
constexpr ReadWindow kWriteUnprotectAcks   {2,     1,        2,     2 * kCommandCeiling};
constexpr ReadWindow kReadoutUnprotectAcks {2,     1,        2,     kCommandCeiling + kMassEraseCeiling};
constexpr ReadWindow kDeviceIdReply        {13,    2,        13,    kCommandCeiling};
constexpr ReadWindow kVersionReply         {5,     2,        5,     kCommandCeiling};
constexpr ReadWindow kIdReply              {5,     2,        5,     kCommandCeiling};
constexpr ReadWindow kResyncAck            {1,     1,        1,     kResyncWait};
// clang-format on

constexpr std::uint32_t kReadBackPolls = 2;

// Own texts of this stage, at the top of the firmware module's range.
constexpr std::int32_t kTextNotBack = settings::kOwnTextFirmware + 40;
constexpr std::int32_t kTextNotBackHint = settings::kOwnTextFirmware + 41;
constexpr std::int32_t kTextVerifyMismatch = settings::kOwnTextFirmware + 42;
constexpr std::int32_t kTextVerifyHint = settings::kOwnTextFirmware + 43;
constexpr std::int32_t kTextSyncAfter = settings::kOwnTextFirmware + 33;
constexpr std::int32_t kTextSecondAck = settings::kOwnTextFirmware + 34;
constexpr std::int32_t kTextGlobalErase = settings::kOwnTextFirmware + 35;
constexpr std::int32_t kTextReadAddress = settings::kOwnTextFirmware + 36;
constexpr std::int32_t kTextReadLength = settings::kOwnTextFirmware + 37;
constexpr std::int32_t kTextWriteAddress = settings::kOwnTextFirmware + 38;
constexpr std::int32_t kTextDataFrame = settings::kOwnTextFirmware + 39;
constexpr std::int32_t kTextGoAddress = settings::kOwnTextFirmware + 44;

using StepName = RomBootloaderStage::StepName;
StepName Named(std::string_view command)
{
    return StepName{0, command, {}};
}

constexpr std::uint8_t Complement(std::uint8_t value)
{
    return static_cast<std::uint8_t>(value ^ kComplementMask);
}

std::array<std::uint8_t, 1> Single(std::uint8_t value)
{
    return {value};
}

std::array<std::uint8_t, 2> Pair(std::uint8_t first, std::uint8_t second)
{
    return {first, second};
}

// A command byte followed by its complement.
std::array<std::uint8_t, 2> Command(std::uint8_t command)
{
    return {command, Complement(command)};
}

// A Read Memory length: the count minus one, then its complement.
std::array<std::uint8_t, 2> LengthFrame(std::size_t count)
{
    const auto code = static_cast<std::uint8_t>(count - 1);
    return {code, Complement(code)};
}

// Four address bytes, most significant first, then their XOR.
std::array<std::uint8_t, 5> AddressFrame(std::uint32_t address)
{
    std::array<std::uint8_t, 5> frame{};
    std::uint8_t checksum = 0;
    for (int i = 0; i < 4; ++i) {
        frame[i] = static_cast<std::uint8_t>(address >> (24 - 8 * i));
        checksum ^= frame[i];
    }
    frame[4] = checksum;
    return frame;
}

std::string AddressText(std::uint32_t address)
{
    char text[sizeof("0x12345678")];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(address));
    return text;
}

}  // namespace

RomBootloaderStage::RomBootloaderStage(StageContext context, ImageSource& bootImage)
    : m_ctx(context), m_bootImage(bootImage)
{
}

bool RomBootloaderStage::Run()
{
    m_ctx.report.EnterStage(JobStage::RomSync);
    Synchronise();  // step 1
    m_ctx.report.SetStatus(StatusId::BootDownloading);

    m_ctx.report.EnterStage(JobStage::RomPrepare);
    // clang-format off
    //   what                                           sends                                  reads
    Unprotect("Readout Unprotect",                      kReadoutUnprotect,                    kReadoutUnprotectAcks);  // 2, 3
    Unprotect("Write Unprotect",                        kWriteUnprotect,                      kWriteUnprotectAcks);    // 4, 5
    Step(Named("Erase Memory"),                         Command(kEraseMemory),                kAckAsPair);        // 6
    Step({kTextGlobalErase, "the global erase"},        Pair(kGlobalErase, kGlobalEraseChecksum), kGlobalEraseAck); // 7
    Step(Named("Read Memory"),                          Command(kReadMemory),                 kAckAsPair);        // 8
    Step({kTextReadAddress, "the Read Memory address {0}", AddressText(kDeviceIdAddress)},
                                                        AddressFrame(kDeviceIdAddress),       kAckAsPair);        // 9
    Step({kTextReadLength, "the Read Memory length at {0}", AddressText(kDeviceIdAddress)},
                                                        LengthFrame(kDeviceIdLength),         kDeviceIdReply);    // 10
    Step(Named("Get Version"),                          Command(kGetVersion),                 kVersionReply);     // 11
    Step(Named("Get ID"),                               Command(kGetId),                      kIdReply);          // 12
    // clang-format on

    m_ctx.report.EnterStage(JobStage::RomWrite);
    const std::vector<std::uint8_t>& image = WriteBootImage();  // steps 13 to 16
    if (m_ctx.verify) ReadBack(image);

    m_ctx.report.EnterStage(JobStage::RomGo);
    Step(Named("Go"), Command(kGo), kOneAck);                                        // 17
    Step({kTextGoAddress, "the Go address"}, AddressFrame(kFlashBase), kAckAsPair);  // 18
    m_ctx.report.SetStatus(StatusId::BootCompleted);                                 // 19
    return m_ctx.verify;
}

void RomBootloaderStage::Synchronise()
{
    for (int attempt = 0; attempt < kSyncAttempts; ++attempt) {
        if (SendAndRead(m_ctx, Single(kSync), kFirstSync).StartsWith(kAck)) return;
    }
    m_ctx.exchange.Sleeper().Sleep(kPauseBeforeGivingUp);
    throw BootloaderAbsent(kSyncAttempts);
}

void RomBootloaderStage::Unprotect(std::string_view command, std::uint8_t code,
                                   const ReadWindow& acks)
{
    const StepName what = Named(command);
    const StepName sync{kTextSyncAfter, "the synchronisation after {0}", std::string(command)};
    if (m_ctx.pacing == Pacing::Exact) {
        // Only the first byte counts, and the synchronisation byte follows at
        // once: the chip must be back within the poll.
        Step(what, Command(code), acks);
        Step(sync, Single(kSync), kOneAck);
        return;
    }
    const serial::Reply reply = SendAndRead(m_ctx, Command(code), acks);
    ExpectAck(what, reply);
    // The second ACK comes when the work is done, just before the reset.
    ExpectAck(
        {kTextSecondAck, "{0} a second time", std::string(command)},
        serial::Reply(std::vector<std::uint8_t>(reply.Bytes().begin() + 1, reply.Bytes().end())));
    Resynchronise(what, sync);
}

void RomBootloaderStage::Resynchronise(const StepName& after, const StepName& what)
{
    m_ctx.exchange.Sleeper().Sleep(kResetSettle);
    for (int attempt = 0; attempt < kResyncAttempts; ++attempt) {
        const serial::Reply reply = SendAndRead(m_ctx, Single(kSync), kResyncAck);
        if (reply.Empty()) continue;
        return ExpectAck(what, reply);
    }
    const auto bound =
        std::chrono::duration_cast<milliseconds>(kResetSettle + kResyncAttempts * kResyncWait);
    throw StageFailure(
        settings::OwnText(
            kTextNotBack,
            "The radio's bootloader did not come back after {0}: {1} synchronisation "
            "bytes in {2} ms went unanswered.",
            {after.Text(), std::to_string(kResyncAttempts), std::to_string(bound.count())}),
        settings::OwnText(kTextNotBackHint,
                          "Switch the radio off and on again in its bootloader mode, then repeat "
                          "the full upgrade."));
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
    Step(Named("Write Memory"), Command(kWriteMemory), kOneAck);
    m_ctx.report.AddProgress(1);

    const auto address = static_cast<std::uint32_t>(kFlashBase + offset);
    Step({kTextWriteAddress, "the Write Memory address {0}", AddressText(address)},
         AddressFrame(address), kOneAck);

    // Data frame: N - 1, the N image bytes, then the XOR of all of them. A
    // last, shorter frame carries exactly the bytes that remain.
    const std::size_t count = std::min(kFrameSize, image.size() - offset);
    std::fill(m_ctx.work.begin(), m_ctx.work.end(), std::uint8_t{0});
    auto checksum = static_cast<std::uint8_t>(count - 1);
    m_ctx.work[0] = checksum;
    for (std::size_t i = 0; i < count; ++i) {
        m_ctx.work[1 + i] = image[offset + i];
        checksum ^= image[offset + i];
    }
    m_ctx.work[1 + count] = checksum;
    // A silent line leaves the frame in the work buffer, and its first byte may
    // equal the ACK (a 122-byte frame starts with 0x79): only what the
    // bootloader sent is examined.
    Step({kTextDataFrame, "the data frame at image offset {0}", std::to_string(offset)},
         m_ctx.work.first(count + 2), kOneAck);
    m_ctx.report.AddBootFrame(static_cast<std::int64_t>(count));
}

void RomBootloaderStage::ReadBack(std::span<const std::uint8_t> image)
{
    const ReadWindow ack = kOneAck;
    for (std::size_t offset = 0; offset < image.size(); offset += kFrameSize) {
        const std::size_t count = std::min(kFrameSize, image.size() - offset);
        const auto address = static_cast<std::uint32_t>(kFlashBase + offset);
        Step(Named("Read Memory"), Command(kReadMemory), ack);
        Step({kTextReadAddress, "the Read Memory address {0}", AddressText(address)},
             AddressFrame(address), ack);
        const auto wanted = static_cast<std::uint16_t>(count + 1);
        const serial::Reply reply = SendAndRead(
            m_ctx, LengthFrame(count), ReadWindow{wanted, kReadBackPolls, wanted, kCommandCeiling});
        ExpectAck({kTextReadLength, "the Read Memory length at {0}", AddressText(address)}, reply);
        const auto data = reply.Bytes().subspan(1);
        const auto expected = image.subspan(offset, count);
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

std::string RomBootloaderStage::StepName::Text() const
{
    if (textId == 0) return std::string(english);
    return settings::OwnText(textId, english, {argument});
}

void RomBootloaderStage::Step(const StepName& what, std::span<const std::uint8_t> request,
                              const ReadWindow& read)
{
    ExpectAck(what, SendAndRead(m_ctx, request, read));
}

void RomBootloaderStage::ExpectAck(const StepName& what, const serial::Reply& reply)
{
    if (reply.StartsWith(kAck)) return;
    throw StepFailed(what.Text(), reply.First());
}

}  // namespace korvane::firmware
