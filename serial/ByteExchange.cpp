// The request/reply exchange: a write that first clears stale input, and a read
// on the fixed schedule or one that waits on the port for its bytes.
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
    if (m_trace != nullptr) m_trace->OnSend(bytes);
    m_port.Write(bytes);
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
    std::size_t Waiting(IPort& port) const { return bytes.size() + port.Waiting(); }
};

bool ByteExchange::Complete(Gathered& gathered, std::uint16_t wanted, const ReadLimit& limit)
{
    const std::size_t waiting = gathered.Waiting(m_port);
    if (waiting >= wanted) return true;
    if (!limit.continuesAfter || waiting == 0) return false;
    if (gathered.bytes.empty()) gathered.bytes = m_port.Read(kEverything, {}, m_sleeper);
    return !gathered.bytes.empty() && gathered.bytes.front() != *limit.continuesAfter;
}

Reply ByteExchange::TakeWaiting(Gathered& gathered, std::size_t most)
{
    std::vector<std::uint8_t> input = std::move(gathered.bytes);
    if (input.size() < most) {
        const std::vector<std::uint8_t> rest = m_port.Read(kEverything, {}, m_sleeper);
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
    m_sleeper.CheckStop();
    const auto start = m_sleeper.MonotonicNow();
    const auto left = [&] {
        return std::max<std::chrono::nanoseconds>(
            *limit.ceiling - (m_sleeper.MonotonicNow() - start), {});
    };
    std::vector<std::uint8_t> bytes;
    if (limit.continuesAfter && wanted > 1) {
        // The first byte decides whether more follow: a refusal is the whole reply.
        bytes = m_port.Read(1, left(), m_sleeper);
        if (bytes.empty()) return Reply();
        if (bytes.front() != *limit.continuesAfter) {
            const std::vector<std::uint8_t> rest = m_port.Read(wanted - 1u, {}, m_sleeper);
            bytes.insert(bytes.end(), rest.begin(), rest.end());
            return Reply(std::move(bytes));
        }
    }
    const std::vector<std::uint8_t> rest = m_port.Read(wanted - bytes.size(), left(), m_sleeper);
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    return Reply(std::move(bytes));
}

}  // namespace korvane::serial
