// The ROM bootloader stage, step by step as the bootloader's USART protocol
// wants it. Each step is one request and one short read; only an ACK in the
// first reply byte lets the stage go on.
#include "firmware/RomBootloaderStage.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

#include "firmware/Image.h"
#include "firmware/StageFailure.h"

namespace korvane::firmware {

namespace {

constexpr std::uint8_t kComplementMask = 0xFF;
constexpr std::uint16_t kOneByte = 1;
constexpr std::uint16_t kAckPair = 2;  // read as two although only the ACK counts
constexpr std::uint16_t kDeviceIdReply = 13;
constexpr std::uint16_t kVersionReply = 5;
constexpr std::uint16_t kIdReply = 5;
constexpr std::uint32_t kOnePoll = 1;
constexpr std::uint32_t kTwoPolls = 2;
constexpr std::chrono::milliseconds kPauseBeforeGivingUp{1};

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
std::array<std::uint8_t, 2> LengthFrame(std::uint8_t count)
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

std::string HexByte(std::uint8_t value)
{
    char text[sizeof("0xFF")];
    std::snprintf(text, sizeof(text), "0x%02X", static_cast<unsigned>(value));
    return text;
}

RomBootloaderStage::RomBootloaderStage(StageContext context, ImageSource& bootImage)
    : m_ctx(context), m_bootImage(bootImage)
{
}

RomBootloaderStage::RomBootloaderStage(StageContext context, std::filesystem::path path)
    : m_ctx(context),
      m_ownImage(std::in_place, ImageRole::Boot, std::move(path)),
      m_bootImage(*m_ownImage)
{
}

void RomBootloaderStage::Run()
{
    m_ctx.report.EnterStage(JobStage::RomSync);
    Synchronise();  // step 1
    m_ctx.report.SetStatus(StatusId::BootDownloading);

    m_ctx.report.EnterStage(JobStage::RomPrepare);
    // clang-format off
    //   what                                           sends                                  wants  polls
    Step("Readout Unprotect",                           Command(kReadoutUnprotect),           kAckPair, kOnePoll);  // 2
    Step("the synchronisation after Readout Unprotect", Single(kSync),                        kOneByte, kOnePoll);  // 3
    Step("Write Unprotect",                             Command(kWriteUnprotect),             kAckPair, kOnePoll);  // 4
    Step("the synchronisation after Write Unprotect",   Single(kSync),                        kOneByte, kOnePoll);  // 5
    Step("Erase Memory",                                Command(kEraseMemory),                kAckPair, kOnePoll);  // 6
    Step("the global erase",                            Pair(kGlobalErase, kGlobalEraseChecksum), kAckPair, kOnePoll);  // 7
    Step("Read Memory",                                 Command(kReadMemory),                 kAckPair, kOnePoll);  // 8
    Step("the Read Memory address",                     AddressFrame(kDeviceIdAddress),       kAckPair, kOnePoll);  // 9
    Step("the Read Memory length",                      LengthFrame(kDeviceIdLength),   kDeviceIdReply, kTwoPolls); // 10
    Step("Get Version",                                 Command(kGetVersion),            kVersionReply, kTwoPolls); // 11
    Step("Get ID",                                      Command(kGetId),                      kIdReply, kTwoPolls); // 12
    // clang-format on

    m_ctx.report.EnterStage(JobStage::RomWrite);
    WriteBootImage();  // steps 13 to 16

    m_ctx.report.EnterStage(JobStage::RomGo);
    Step("Go", Command(kGo), kOneByte, kOnePoll);                          // 17
    Step("the Go address", AddressFrame(kFlashBase), kAckPair, kOnePoll);  // 18
    m_ctx.report.SetStatus(StatusId::BootCompleted);                       // 19
}

void RomBootloaderStage::Synchronise()
{
    for (int attempt = 0; attempt < kSyncAttempts; ++attempt) {
        m_ctx.work[0] = kSync;
        m_ctx.exchange.SendBytes(m_ctx.work.data(), kOneByte);
        const auto received = m_ctx.exchange.ReceiveBytes(m_ctx.work, kOneByte, kOnePoll);
        if (received > 0 && m_ctx.work[0] == kAck) return;
    }
    m_ctx.exchange.Sleeper().Sleep(kPauseBeforeGivingUp);
    throw BootloaderAbsent(kSyncAttempts);
}

void RomBootloaderStage::WriteBootImage()
{
    // The flash is erased by now: an image that cannot be read fails the job
    // (LoadImage throws) rather than ending it as if it had been written.
    const std::vector<std::uint8_t>& image = m_bootImage.Bytes();
    m_ctx.report.SetBootTotal(static_cast<std::int64_t>(image.size()));
    for (std::size_t offset = 0; offset < image.size(); offset += kFrameSize) {
        WriteFrame(image, offset);
    }
}

void RomBootloaderStage::WriteFrame(std::span<const std::uint8_t> image, std::size_t offset)
{
    Step("Write Memory", Command(kWriteMemory), kOneByte, kOnePoll);
    m_ctx.report.AddProgress(1);

    const auto address = static_cast<std::uint32_t>(kFlashBase + offset);
    Step("the Write Memory address " + AddressText(address), AddressFrame(address), kOneByte,
         kOnePoll);

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
    SendAndExpectAck("the data frame at image offset " + std::to_string(offset),
                     static_cast<std::uint16_t>(count + 2), kOneByte, kOnePoll);
    m_ctx.report.AddBootFrame(static_cast<std::int64_t>(count));
}

void RomBootloaderStage::Step(std::string_view what, std::span<const std::uint8_t> request,
                              std::uint16_t wanted, std::uint32_t polls)
{
    std::copy(request.begin(), request.end(), m_ctx.work.begin());
    SendAndExpectAck(what, static_cast<std::uint16_t>(request.size()), wanted, polls);
}

void RomBootloaderStage::SendAndExpectAck(std::string_view what, std::uint16_t sendCount,
                                          std::uint16_t wanted, std::uint32_t polls)
{
    m_ctx.exchange.SendBytes(m_ctx.work.data(), sendCount);
    const auto received = m_ctx.exchange.ReceiveBytes(m_ctx.work, wanted, polls);
    // A silent line leaves the request in the buffer; its first byte may even
    // equal the ACK (a 122-byte frame starts with 0x79), so only a reply that
    // arrived can acknowledge.
    if (received > 0 && m_ctx.work[0] == kAck) return;
    throw StepFailed(what, FirstByte(received, m_ctx.work));
}

}  // namespace korvane::firmware
