// The first stage of a full upgrade: the STM32 system-memory bootloader is
// unprotected, erased, identified, given the boot image in 256-byte frames at
// the start of flash and told to start it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

#include "firmware/Image.h"
#include "firmware/StageContext.h"

namespace korvane::firmware {

class RomBootloaderStage {
public:
    // Bootloader protocol bytes.
    static constexpr std::uint8_t kSync = 0x7F;
    static constexpr std::uint8_t kAck = 0x79;
    static constexpr std::uint8_t kNack = 0x1F;
    static constexpr std::uint8_t kGetVersion = 0x01;
    static constexpr std::uint8_t kGetId = 0x02;
    static constexpr std::uint8_t kReadMemory = 0x11;
    static constexpr std::uint8_t kGo = 0x21;
    static constexpr std::uint8_t kWriteMemory = 0x31;
    static constexpr std::uint8_t kEraseMemory = 0x43;
    static constexpr std::uint8_t kWriteUnprotect = 0x73;
    static constexpr std::uint8_t kReadoutUnprotect = 0x92;
    static constexpr std::uint8_t kGlobalErase = 0xFF;
    static constexpr std::uint8_t kGlobalEraseChecksum = 0x00;

    static constexpr std::uint32_t kFlashBase = 0x08000000;
    // 12 bytes at this address: the unique device identifier of STM32F1 parts.
    static constexpr std::uint32_t kDeviceIdAddress = 0x1FFFF7E8;
    static constexpr std::uint8_t kDeviceIdLength = 12;
    static constexpr std::size_t kFrameSize = 256;

    // Retry limit of the synchronisation: attempts 0 to 148.
    static constexpr int kSyncAttempts = 149;

    // The stage takes the boot image from `bootImage` when its frames begin.
    RomBootloaderStage(StageContext context, ImageSource& bootImage);
    // The same, reading the boot image from `path`.
    RomBootloaderStage(StageContext context, std::filesystem::path path);

    // Completes, or throws StageFailure (refused or silent step), ImageError
    // (boot image unusable: the flash is erased by then, so this is a failure
    // too), a serial error, or serial::StopRequested.
    void Run();

private:
    void Synchronise();
    void WriteBootImage();
    void WriteFrame(std::span<const std::uint8_t> image, std::size_t offset);
    void Step(std::string_view what, std::span<const std::uint8_t> request, std::uint16_t wanted,
              std::uint32_t polls);
    void SendAndExpectAck(std::string_view what, std::uint16_t sendCount, std::uint16_t wanted,
                          std::uint32_t polls);

    StageContext m_ctx;
    std::optional<ImageSource> m_ownImage;  // the image read from a path given here
    ImageSource& m_bootImage;
};

}  // namespace korvane::firmware
