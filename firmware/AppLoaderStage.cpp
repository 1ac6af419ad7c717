// The application loader stage: solicit, hand-shake, send every block with the
// loader's pacing, count the completed upgrade. And the end frame.
#include "firmware/AppLoaderStage.h"

#include <algorithm>

#include "firmware/Image.h"
#include "firmware/StageFailure.h"
#include "settings/SysData.h"

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

const char* kHint = " Check that the radio runs its boot loader and is connected to this port.";

}  // namespace

AppLoaderStage::AppLoaderStage(StageContext context, std::filesystem::path userPath)
    : m_ctx(context), m_userPath(std::move(userPath))
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
    const std::vector<std::uint8_t> image = LoadImage(m_userPath);
    const std::size_t blocks = (image.size() + kBlockSize - 1) / kBlockSize;
    m_ctx.report.SetUserTotal(static_cast<std::int64_t>(image.size()),
                              static_cast<std::int32_t>(blocks));
    m_ctx.report.EnterStage(JobStage::LoaderBlocks);
    for (std::size_t n = 0; n < blocks; ++n) {  // step 7
        SendBlock(image, n * kBlockSize, static_cast<std::uint8_t>(n));
    }

    m_ctx.report.SetStatus(StatusId::UserCompleted);  // step 8
    CountCompletedUpgrade();
    m_ctx.report.SetProgress(kProgressComplete);
}

void AppLoaderStage::WaitForLoader()
{
    for (int attempt = 0; attempt < kSolicitAttempts; ++attempt) {
        m_ctx.work[0] = kSolicit;
        m_ctx.exchange.SendBytes(m_ctx.work.data(), kOneByte);
        const auto received = m_ctx.exchange.ReceiveBytes(m_ctx.work, kOneByte, kSolicitPolls);
        if (received > 0 && m_ctx.work[0] == kLoaderHere) return;
    }
    throw StageFailure("The radio's loader did not answer 'G' to " +
                       std::to_string(kSolicitAttempts) + " solicitations." + kHint);
}

void AppLoaderStage::Handshake()
{
    m_ctx.work[0] = kHello;
    m_ctx.exchange.SendBytes(m_ctx.work.data(), kOneByte);
    const auto received = m_ctx.exchange.ReceiveBytes(m_ctx.work, kOneByte, kOnePoll);
    if (received == 0 || m_ctx.work[0] != kHelloReply) {
        throw StageFailure("The radio's loader " +
                           std::string(received == 0
                                           ? "did not answer 'O'"
                                           : "answered 'O' with " + HexByte(m_ctx.work[0])) +
                           " instead of '+'.");
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
    if (received == 0 || work[0] != kAccept) {
        const std::string which = "block " + std::to_string(number);
        if (received == 0) {
            throw StageFailure("The radio's loader did not answer " + which + "." + kHint);
        }
        throw StageFailure("The radio's loader refused " + which + " (answered " +
                           HexByte(work[0]) + (work[0] == kRefuse ? ", a checksum refusal" : "") +
                           ").");
    }
    m_ctx.report.AddUserBlock(static_cast<std::int64_t>(length));
    m_ctx.exchange.Sleeper().Sleep(kPauseAfterBlock);
}

void AppLoaderStage::CountCompletedUpgrade()
{
    auto& settings = m_ctx.report.Settings();
    const bool saved = settings.IncrementUpgradeCount().saved;
    if (!saved) m_ctx.report.SetCounterNotSaved(settings.Path());
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
