// The polled request/reply exchange: a write that first clears stale input, and
// a read that checks the waiting count at once, every 50 ms, then once more.
#include "serial/ByteExchange.h"

#include <algorithm>
#include <limits>

namespace korvane::serial {

namespace {
constexpr std::size_t kEverything = std::numeric_limits<std::size_t>::max();
}  // namespace

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

Reply ByteExchange::Receive(std::uint16_t wanted, std::uint32_t polls)
{
    return Receive(wanted, ReadLimit::Polls(polls));
}

Reply ByteExchange::Receive(std::uint16_t wanted, const ReadLimit& limit)
{
    Reply reply = limit.ceiling ? ReceiveWithin(wanted, limit) : ReceiveOnPolls(wanted, limit);
    if (m_trace != nullptr) m_trace->OnRead(wanted, limit, reply);
    return reply;
}

// A read that must see its first byte before its last takes the waiting bytes
// off the queue early; the count it checks is what it holds plus what waits.
struct ByteExchange::Gathered {
    std::vector<std::uint8_t> bytes;
    std::size_t Waiting(IPortOps& port) const
    {
        return bytes.size() +
               static_cast<std::size_t>(std::max<std::int16_t>(port.GetInBufferCount(), 0));
    }
};

bool ByteExchange::Complete(Gathered& gathered, std::uint16_t wanted, const ReadLimit& limit)
{
    const std::size_t waiting = gathered.Waiting(m_port);
    if (waiting >= wanted) return true;
    if (!limit.continuesAfter || waiting == 0) return false;
    if (gathered.bytes.empty()) gathered.bytes = m_port.GetInput();
    return !gathered.bytes.empty() && gathered.bytes.front() != *limit.continuesAfter;
}

Reply ByteExchange::TakeWaiting(Gathered& gathered, std::size_t most)
{
    std::vector<std::uint8_t> input = std::move(gathered.bytes);
    if (input.size() < most) {
        const std::vector<std::uint8_t> rest = m_port.GetInput();
        input.insert(input.end(), rest.begin(), rest.end());
    }
    // Bytes beyond `most` were taken off the queue with the rest and are lost.
    if (input.size() > most) input.resize(most);
    return Reply(std::move(input));
}

Reply ByteExchange::ReceiveOnPolls(std::uint16_t wanted, const ReadLimit& limit)
{
    Gathered gathered;
    for (std::uint32_t polls = limit.polls; polls != 0; --polls) {
        m_sleeper.CheckStop();
        if (Complete(gathered, wanted, limit)) return TakeWaiting(gathered, wanted);
        m_sleeper.Sleep(kPollInterval);
    }
    // Final look right after the last sleep: take whatever has arrived.
    m_sleeper.CheckStop();
    if (gathered.Waiting(m_port) == 0) return Reply();
    return TakeWaiting(gathered, kEverything);
}

Reply ByteExchange::ReceiveWithin(std::uint16_t wanted, const ReadLimit& limit)
{
    // The sleeper's clock measures the wait: real time in production, so a
    // loaded machine does not stretch the ceiling; virtual time in tests.
    Gathered gathered;
    const auto start = m_sleeper.MonotonicNow();
    while (m_sleeper.MonotonicNow() - start < *limit.ceiling) {
        m_sleeper.CheckStop();
        if (Complete(gathered, wanted, limit)) return TakeWaiting(gathered, wanted);
        m_sleeper.Sleep(kPromptCheckInterval);
    }
    m_sleeper.CheckStop();
    if (gathered.Waiting(m_port) == 0) return Reply();
    // More than wanted may have come during the last sleep; only the wanted part counts.
    return TakeWaiting(gathered, wanted);
}

}  // namespace korvane::serial
