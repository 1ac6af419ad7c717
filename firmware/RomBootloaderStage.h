// The first stage of a full upgrade: the STM32 system-memory bootloader is
// unprotected, erased, identified, given the boot image in 256-byte frames at
// the start of flash and told to start it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

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

    // Completes, or throws StageFailure (refused or silent step, bootloader
    // not back after an unprotect, boot image read back different),
    // ImageError (boot image unusable: the flash is erased by then, so this is
    // a failure too), a serial error, or serial::StopRequested. Returns true
    // when the boot image was read back and found as sent (context.verify).
    bool Run();

    // What a step is called in a failure message. The bootloader's command
    // names stay as they are; the rest is text of our own, looked up in the
    // user's language only when a step fails (never per frame).
    struct StepName {
        std::int32_t textId = 0;  // 0: `english` is a command name
        std::string_view english;
        std::string argument;  // fills {0}
        std::string Text() const;
    };

private:
    void Synchronise();
    // The command, its acknowledgement(s), and the synchronisation with the
    // bootloader that the command restarts.
    void Unprotect(std::string_view command, std::uint8_t code, const ReadWindow& acks);
    void Resynchronise(const StepName& after, const StepName& what);
    const std::vector<std::uint8_t>& WriteBootImage();
    void WriteFrame(std::span<const std::uint8_t> image, std::size_t offset);
    // Reads the image back in frame-sized pieces; the first difference fails.
    void ReadBack(std::span<const std::uint8_t> image);
    void Step(const StepName& what, std::span<const std::uint8_t> request, const ReadWindow& read);
    // Only an ACK as the first byte that arrived lets the stage go on.
    void ExpectAck(const StepName& what, const serial::Reply& reply);

    StageContext m_ctx;
    ImageSource& m_bootImage;
};

}  // namespace korvane::firmware
