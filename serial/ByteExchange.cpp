// The polled request/reply exchange: a write that first clears stale input, and
// a read that checks the waiting count at once, every 50 ms, then once more.
#include "serial/ByteExchange.h"

#include <algorithm>
#include <vector>

namespace korvane::serial {

namespace {

// Copies at most `count` bytes of `from` to the start of `to`, never past its end.
std::int32_t CopyReply(const std::vector<std::uint8_t>& from, std::size_t count,
                       std::span<std::uint8_t> to)
{
    const std::size_t n = std::min({count, from.size(), to.size()});
    std::copy_n(from.begin(), n, to.begin());
    return static_cast<std::int32_t>(n);
}

}  // namespace

void ByteExchange::SendBytes(const std::uint8_t* data, std::uint16_t count)
{
    const std::vector<std::uint8_t> bytes(data, data + count);
    // A late or surplus reply to an earlier step must not be read as the
    // reply to this one, so whatever is waiting now is dropped.
    (void)m_port.GetInput();
    m_port.SetInputLen(0);
    m_port.SetOutput(bytes);
}

std::int32_t ByteExchange::ReceiveBytes(std::span<std::uint8_t> buffer, std::uint16_t wanted,
                                        std::uint32_t polls)
{
    while (polls != 0) {
        m_sleeper.CheckStop();
        if (m_port.GetInBufferCount() >= wanted) {
            // Bytes beyond `wanted` are taken off the queue with the rest and lost.
            return CopyReply(m_port.GetInput(), wanted, buffer);
        }
        m_sleeper.Sleep(kPollInterval);
        --polls;
    }
    // Final look right after the last sleep: take whatever has arrived.
    m_sleeper.CheckStop();
    if (m_port.GetInBufferCount() == 0) return 0;
    const std::vector<std::uint8_t> input = m_port.GetInput();
    return CopyReply(input, input.size(), buffer);
}

void ByteExchange::ExchangeBytes(std::span<std::uint8_t> buffer, std::uint16_t sendCount,
                                 std::uint16_t wanted, std::uint32_t polls)
{
    const std::size_t toSend = std::min<std::size_t>(sendCount, buffer.size());
    SendBytes(buffer.data(), static_cast<std::uint16_t>(toSend));
    ReceiveBytes(buffer, wanted, polls);
}

}  // namespace korvane::serial
