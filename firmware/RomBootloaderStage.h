// The first stage of a full upgrade: the STM32 system-memory bootloader is
// unprotected, erased, identified, given the boot image in 256-byte frames at
// the start of flash and told to start it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "firmware/StageContext.h"
#include "firmware/image/Image.h"
#include "firmware/protocol/Stm32Bootloader.h"

namespace korvane::firmware {

class RomBootloaderStage {
public:
    static constexpr std::uint32_t kFlashBase = 0x08000000;
    // 12 bytes at this address: the unique device identifier of STM32F1 parts.
    static constexpr std::uint32_t kDeviceIdAddress = 0x1FFFF7E8;
    static constexpr std::size_t kFrameSize = 256;

    // Retry limit of the synchronisation: attempts 0 to 148.
    static constexpr int kSyncAttempts = 149;

    // The stage takes the boot image from `bootImage` when its frames begin.
    RomBootloaderStage(StageContext context, ImageSource& bootImage);

    // Completes, or throws StageFailure (refused or silent step, bootloader
    // not back after an unprotect, boot image read back different),
    // ImageError (boot image unusable: the flash is erased by then, so this is
    // a failure too), a serial error, or serial::StopRequested. Returns true
    // when bytes of the boot image were read back and found as sent
    // (context.verify and an image that is not empty). The chip's identity
    // goes to the job's report as soon as the bootloader has given it.
    bool Run();

private:
    void Synchronise();
    // The command's acknowledgement(s), then the synchronisation with the
    // bootloader that the command restarts.
    void Unprotect(const BootloaderAnswer& answer);
    void Resynchronise(const std::string& after, const StepName& what);
    void Erase();
    void Identify();
    const std::vector<std::uint8_t>& WriteBootImage();
    void WriteFrame(std::span<const std::uint8_t> image, std::size_t offset);
    // Reads the image back in frame-sized pieces; the first difference fails.
    void ReadBack(std::span<const std::uint8_t> image);
    // Only an ACK as the first byte that arrived lets the stage go on.
    BootloaderAnswer Expect(BootloaderAnswer answer);
    void Expect(const BootloaderAnswer& answer, const StepName& what);

    StageContext m_ctx;
    ImageSource& m_bootImage;
    Stm32Bootloader m_bootloader;
};

}  // namespace korvane::firmware
