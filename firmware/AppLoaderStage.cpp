// The application loader stage: solicit, hand-shake, send every block with the
// loader's pacing, count the completed upgrade. And the end frame.
#include "firmware/AppLoaderStage.h"

#include <algorithm>

#include "firmware/Image.h"
#include "firmware/StageFailure.h"

namespace korvane::firmware {

namespace {

constexpr std::uint16_t kOneByte = 1;
constexpr std::uint16_t kHeaderSize = 2;
constexpr std::uint32_t kOnePoll = 1;
constexpr std::uint32_t kSolicitPolls = 10;
constexpr std::uint32_t kReadyPolls = 10;
constexpr std::uint32_t kBlockReplyPolls = 20;
constexpr std::uint32_t kEndFrameReplyPolls = 20;
constexpr std::uint8_t kEndMark = 0xFF;
constexpr std::uint16_t kEndFrameSize = 4099;

}  // namespace

AppLoaderStage::AppLoaderStage(StageContext context, ImageSource& userImage)
    : m_ctx(context), m_userImage(userImage)
{
}

AppLoaderStage::AppLoaderStage(StageContext context, std::filesystem::path path)
    : m_ctx(context),
      m_ownImage(std::in_place, ImageRole::UserProgram, std::move(path)),
      m_userImage(*m_ownImage)
{
}

void AppLoaderStage::Run()
{
    m_ctx.report.EnterStage(JobStage::LoaderWait);
    WaitForLoader();  // step 1
    m_ctx.report.SetProgress(0);
    m_ctx.report.SetStatus(StatusId::UserStart);  // step 2

    m_ctx.report.EnterStage(JobStage::LoaderHandshake);
    Handshake();     // steps 3 and 4
    WaitForReady();  // step 5

    // A user image that cannot be read fails the stage here (step 6).
    const std::vector<std::uint8_t>& image = m_userImage.Bytes();
    const std::size_t blocks = (image.size() + kBlockSize - 1) / kBlockSize;
    m_ctx.report.SetUserTotal(static_cast<std::int64_t>(image.size()),
                              static_cast<std::int32_t>(blocks));
    m_ctx.report.EnterStage(JobStage::LoaderBlocks);
    for (std::size_t n = 0; n < blocks; ++n) {  // step 7
        SendBlock(image, n * kBlockSize, static_cast<std::uint8_t>(n));
    }

    m_ctx.report.CompleteUserProgram();  // step 8
}

void AppLoaderStage::WaitForLoader()
{
    for (int attempt = 0; attempt < kSolicitAttempts; ++attempt) {
        m_ctx.work[0] = kSolicit;
        m_ctx.exchange.SendBytes(m_ctx.work.data(), kOneByte);
        const auto received = m_ctx.exchange.ReceiveBytes(m_ctx.work, kOneByte, kSolicitPolls);
        if (received > 0 && m_ctx.work[0] == kLoaderHere) return;
    }
    throw LoaderAbsent(kSolicitAttempts);
}

void AppLoaderStage::Handshake()
{
    m_ctx.work[0] = kHello;
    m_ctx.exchange.SendBytes(m_ctx.work.data(), kOneByte);
    const auto received = m_ctx.exchange.ReceiveBytes(m_ctx.work, kOneByte, kOnePoll);
    if (received == 0 || m_ctx.work[0] != kHelloReply) {
        throw HelloFailed(FirstByte(received, m_ctx.work));
    }
    // The loader's '!' may already come with this read; it then stays in the
    // buffer and ends the wait that follows at its first read.
    m_ctx.work[0] = kReadyRequest;
    m_ctx.exchange.ExchangeBytes(m_ctx.work, kOneByte, kOneByte, kOnePoll);
}

void AppLoaderStage::WaitForReady()
{
    // Without '!' the blocks are sent all the same: the wait is no failure.
    for (int read = 0; read < kReadyReads; ++read) {
        m_ctx.exchange.ReceiveBytes(m_ctx.work, kOneByte, kReadyPolls);
        if (m_ctx.work[0] == kAccept) return;
    }
}

void AppLoaderStage::SendBlock(std::span<const std::uint8_t> image, std::size_t offset,
                               std::uint8_t number)
{
    m_ctx.report.AddProgress(1);
    m_ctx.report.SetStatus(StatusId::UserDownloading);
    m_ctx.exchange.Sleeper().Sleep(kPauseBeforeBlock);

    // The block on the wire: 00, n, the 4,096 image bytes (zeros past the end
    // of the image), and their sum modulo 256.
    auto& work = m_ctx.work;
    const std::size_t length = std::min(kBlockSize, image.size() - offset);
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
    const auto received = m_ctx.exchange.ReceiveBytes(work, kOneByte, kBlockReplyPolls);
    if (received == 0 || work[0] != kAccept) throw BlockFailed(number, FirstByte(received, work));
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
    context.exchange.ExchangeBytes(context.work, kEndFrameSize, kOneByte, kEndFrameReplyPolls);
}

}  // namespace korvane::firmware
