// The second stage: the application loader inside the boot image is called up,
// takes a two-step hand-shake and receives the user program in 4,096-byte
// blocks. Also the end frame the worker sends after either stage.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>

#include "firmware/StageContext.h"
#include "firmware/image/Image.h"

namespace korvane::firmware {

class AppLoaderStage {
public:
    // Loader protocol bytes.
    static constexpr std::uint8_t kSolicit = 0x00;
    static constexpr std::uint8_t kLoaderHere = 'G';
    static constexpr std::uint8_t kHello = 'O';
    static constexpr std::uint8_t kHelloReply = '+';
    static constexpr std::uint8_t kReadyRequest = '-';
    static constexpr std::uint8_t kAccept = '!';
    static constexpr std::uint8_t kRefuse = '@';
    static constexpr std::uint8_t kBlockHeader = 0x00;

    static constexpr std::size_t kBlockSize = 4096;
    // Retry limits: solicitations sent, and reads made while waiting for '!'.
    static constexpr int kSolicitAttempts = 49;
    static constexpr int kReadyReads = 50;
    static constexpr std::chrono::milliseconds kPauseBeforeBlock{100};
    static constexpr std::chrono::milliseconds kPauseAfterBlock{200};

    // The stage takes the user image from `userImage` when its blocks begin.
    AppLoaderStage(StageContext context, ImageSource& userImage);

    // Completes (counter incremented and saved), or throws StageFailure,
    // ImageError (user image unusable), a serial error, or serial::StopRequested.
    void Run();

private:
    void WaitForLoader();
    // True when the loader answered '-' with '!' at once.
    bool Handshake();
    void WaitForReady(bool ready);
    void SendBlock(std::span<const std::uint8_t> image, std::size_t offset, std::uint8_t number);

    StageContext m_ctx;
    ImageSource& m_userImage;
};

// The closing frame, FF FF and 4,097 zero bytes in one write, then one read
// whose answer does not matter.
void SendEndFrame(StageContext context);

}  // namespace korvane::firmware
