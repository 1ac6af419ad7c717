// The application loader stage: solicit, hand-shake, send every block with the
// loader's pacing, count the completed upgrade. And the end frame.
#include "firmware/AppLoaderStage.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "firmware/StageFailure.h"
#include "firmware/image/Image.h"

namespace korvane::firmware {

namespace {

using std::chrono::milliseconds;

constexpr std::uint16_t kOneByte = 1;
constexpr std::uint16_t kHeaderSize = 2;
constexpr std::uint8_t kEndMark = 0xFF;
constexpr std::uint16_t kEndFrameSize = 4099;

// Patient ceilings: the loader's own answers come within a second; the
// solicitation and the wait for '!' keep the fixed schedule's length.
constexpr milliseconds kAnswerCeiling{1000};

// clang-format off
//                                     fixed schedule   patient
//                                     wants  polls     wants  ceiling
constexpr ReadWindow kSolicitReply   {1,     10,       1,     milliseconds(500)};
constexpr ReadWindow kHelloAnswer    {1,     1,        1,     kAnswerCeiling};
constexpr ReadWindow kReadyAnswer    {1,     1,        1,     milliseconds(50)};
constexpr ReadWindow kReadyWait      {1,     10,       1,     milliseconds(500)};
constexpr ReadWindow kBlockAnswer    {1,     20,       1,     kAnswerCeiling};
constexpr ReadWindow kEndFrameAnswer {1,     20,       1,     kAnswerCeiling};
// clang-format on

}  // namespace

AppLoaderStage::AppLoaderStage(StageContext context, ImageSource& userImage)
    : m_ctx(context), m_userImage(userImage)
{
}

void AppLoaderStage::Run()
{
    m_ctx.report.EnterStage(JobStage::LoaderWait);
    WaitForLoader();  // step 1
    m_ctx.report.RestartProgress();
    m_ctx.report.SetStatus(StatusId::UserStart);  // step 2

    m_ctx.report.EnterStage(JobStage::LoaderHandshake);
    const bool ready = Handshake();  // steps 3 and 4
    WaitForReady(ready);             // step 5

    // A user image that cannot be read fails the stage here (step 6).
    const std::vector<std::uint8_t>& image = m_userImage.Bytes();
    const std::size_t blocks = (image.size() + kBlockSize - 1) / kBlockSize;
    m_ctx.report.SetUserTotal(static_cast<std::int64_t>(image.size()),
                              static_cast<std::int32_t>(blocks));
    m_ctx.report.EnterStage(JobStage::LoaderBlocks);
    for (std::size_t n = 0; n < blocks; ++n) {  // step 7
        SendBlock(image, n * kBlockSize, static_cast<std::uint8_t>(n));
    }

    m_ctx.report.CompleteUserProgram(m_ctx.exchange.Sleeper());  // step 8
}

void AppLoaderStage::WaitForLoader()
{
    const std::array<std::uint8_t, 1> solicit{kSolicit};
    for (int attempt = 0; attempt < kSolicitAttempts; ++attempt) {
        if (SendAndRead(m_ctx, solicit, kSolicitReply).StartsWith(kLoaderHere)) return;
    }
    throw LoaderAbsent(kSolicitAttempts);
}

bool AppLoaderStage::Handshake()
{
    const std::array<std::uint8_t, 1> hello{kHello};
    const serial::Reply reply = SendAndRead(m_ctx, hello, kHelloAnswer);
    if (!reply.StartsWith(kHelloReply)) {
        throw HelloFailed(reply.First());
    }
    // The loader's '!' may already come with this read; it then ends the wait
    // that follows at its first read.
    const std::array<std::uint8_t, 1> ready{kReadyRequest};
    return SendAndRead(m_ctx, ready, kReadyAnswer).StartsWith(kAccept);
}

void AppLoaderStage::WaitForReady(bool ready)
{
    // Without '!' the blocks are sent all the same: the wait is no failure.
    // A read that brings nothing leaves the last answer standing; any byte
    // that comes replaces it.
    const int reads = m_ctx.pacing == Pacing::Patient && ready ? 0 : kReadyReads;
    for (int read = 0; read < reads; ++read) {
        const serial::Reply reply = ReadReply(m_ctx, kReadyWait);
        if (!reply.Empty()) ready = reply.StartsWith(kAccept);
        if (ready) return;
    }
}

void AppLoaderStage::SendBlock(std::span<const std::uint8_t> image, std::size_t offset,
                               std::uint8_t number)
{
    // The progress counts a block as it begins.
    const std::size_t length = std::min(kBlockSize, image.size() - offset);
    m_ctx.report.AddProgress(static_cast<std::int64_t>(length));
    m_ctx.report.SetStatus(StatusId::UserDownloading);
    m_ctx.exchange.Sleeper().Sleep(kPauseBeforeBlock);

    // The block on the wire: 00, n, the 4,096 image bytes (zeros past the end
    // of the image), and their sum modulo 256.
    auto& work = m_ctx.work;
    work[0] = kBlockHeader;
    work[1] = number;
    const auto data = work.subspan(kHeaderSize, kBlockSize);
    std::fill(data.begin(), data.end(), std::uint8_t{0});
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(offset), length, data.begin());
    std::uint8_t sum = 0;
    for (std::uint8_t b : data) sum = static_cast<std::uint8_t>(sum + b);
    work[kHeaderSize + kBlockSize] = sum;

    m_ctx.exchange.SendBytes(work.data(), kHeaderSize);
    m_ctx.exchange.SendBytes(data.data(), static_cast<std::uint16_t>(kBlockSize));
    m_ctx.exchange.SendBytes(&work[kHeaderSize + kBlockSize], kOneByte);
    const serial::Reply reply = ReadReply(m_ctx, kBlockAnswer);
    if (!reply.StartsWith(kAccept)) throw BlockFailed(number, reply.First());
    m_ctx.report.AddUserBlock(static_cast<std::int64_t>(length));
    m_ctx.exchange.Sleeper().Sleep(kPauseAfterBlock);
}

void SendEndFrame(StageContext context)
{
    context.report.EnterStage(JobStage::EndFrame);
    auto frame = context.work.first(kEndFrameSize);
    std::fill(frame.begin(), frame.end(), std::uint8_t{0});
    frame[0] = kEndMark;
    frame[1] = kEndMark;
    // The loader's answer does not matter: the radio starts its new program.
    (void)SendAndRead(context, frame, kEndFrameAnswer);
}

}  // namespace korvane::firmware
