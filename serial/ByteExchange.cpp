// The polled request/reply exchange: a write that first clears stale input, and
// a read that checks the waiting count at once, every 50 ms, then once more.
#include "serial/ByteExchange.h"

#include <algorithm>

namespace korvane::serial {

void ByteExchange::SendBytes(const std::uint8_t* data, std::uint16_t count)
{
    const std::span<const std::uint8_t> bytes(data, count);
    // A late or surplus reply to an earlier step must not be read as the
    // reply to this one. One Input takes at most the receive queue's size, so
    // a flood would leave bytes behind: the whole queue is dropped instead.
    m_port.DiscardInput();
    m_port.SetInputLen(0);
    if (m_trace != nullptr) m_trace->OnSend(bytes);
    m_port.SetOutput(bytes);
}

std::int32_t ByteExchange::ReceiveBytes(std::span<std::uint8_t> buffer, std::uint16_t wanted,
                                        std::uint32_t polls)
{
    const Reply reply = Receive(wanted, polls);
    const std::size_t n = std::min(reply.Size(), buffer.size());
    std::copy_n(reply.Bytes().begin(), n, buffer.begin());
    return static_cast<std::int32_t>(n);
}

Reply ByteExchange::Receive(std::uint16_t wanted, std::uint32_t polls)
{
    return Receive(wanted, ReadLimit::Polls(polls));
}

Reply ByteExchange::Receive(std::uint16_t wanted, const ReadLimit& limit)
{
    Reply reply =
        limit.ceiling ? ReceiveWithin(wanted, *limit.ceiling) : ReceiveOnPolls(wanted, limit.polls);
    if (m_trace != nullptr) m_trace->OnRead(wanted, limit, reply);
    return reply;
}

Reply ByteExchange::TakeWaiting(std::size_t most)
{
    std::vector<std::uint8_t> input = m_port.GetInput();
    // Bytes beyond `most` were taken off the queue with the rest and are lost.
    if (input.size() > most) input.resize(most);
    return Reply(std::move(input));
}

Reply ByteExchange::ReceiveOnPolls(std::uint16_t wanted, std::uint32_t polls)
{
    while (polls != 0) {
        m_sleeper.CheckStop();
        if (m_port.GetInBufferCount() >= wanted) return TakeWaiting(wanted);
        m_sleeper.Sleep(kPollInterval);
        --polls;
    }
    // Final look right after the last sleep: take whatever has arrived.
    m_sleeper.CheckStop();
    if (m_port.GetInBufferCount() == 0) return Reply();
    return Reply(m_port.GetInput());
}

Reply ByteExchange::ReceiveWithin(std::uint16_t wanted, std::chrono::milliseconds ceiling)
{
    // The sleeper's clock measures the wait: real time in production, so a
    // loaded machine does not stretch the ceiling; virtual time in tests.
    const auto start = m_sleeper.MonotonicNow();
    while (m_sleeper.MonotonicNow() - start < ceiling) {
        m_sleeper.CheckStop();
        if (m_port.GetInBufferCount() >= wanted) return TakeWaiting(wanted);
        m_sleeper.Sleep(kPromptCheckInterval);
    }
    m_sleeper.CheckStop();
    if (m_port.GetInBufferCount() == 0) return Reply();
    // More than wanted may have come during the last sleep; only the wanted part counts.
    return TakeWaiting(wanted);
}

void ByteExchange::ExchangeBytes(std::span<std::uint8_t> buffer, std::uint16_t sendCount,
                                 std::uint16_t wanted, std::uint32_t polls)
{
    const std::size_t toSend = std::min<std::size_t>(sendCount, buffer.size());
    SendBytes(buffer.data(), static_cast<std::uint16_t>(toSend));
    ReceiveBytes(buffer, wanted, polls);
}

}  // namespace korvane::serial
