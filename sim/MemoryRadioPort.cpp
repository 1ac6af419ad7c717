// In-memory line to the simulated radio: writes reach it at the virtual time
// they are made; its answers wait in a receive queue until their time comes.
#include "sim/MemoryRadioPort.h"

#include <algorithm>

#include "serial/SerialError.h"

namespace korvane::sim {

std::vector<std::uint8_t> MemoryRadioPort::AllWritten() const
{
    std::vector<std::uint8_t> all;
    for (const Written& w : m_writes) all.insert(all.end(), w.bytes.begin(), w.bytes.end());
    return all;
}

void MemoryRadioPort::Deliver()
{
    if (m_radio.HungUp()) {
        throw serial::SerialError(serial::SerialErrorKind::DeviceGone,
                                  "The simulated radio hung up the line.");
    }
    const auto due = m_radio.TakeDue(Now());
    m_queue.insert(m_queue.end(), due.begin(), due.end());
}

std::size_t MemoryRadioPort::Waiting()
{
    Deliver();
    return std::min(m_queue.size(), kQueueSize);
}

std::vector<std::uint8_t> MemoryRadioPort::Take(std::size_t most)
{
    Deliver();
    const auto n = static_cast<std::ptrdiff_t>(std::min({m_queue.size(), kQueueSize, most}));
    std::vector<std::uint8_t> bytes(m_queue.begin(), m_queue.begin() + n);
    m_queue.erase(m_queue.begin(), m_queue.begin() + n);
    return bytes;
}

void MemoryRadioPort::Write(std::span<const std::uint8_t> bytes)
{
    Deliver();
    m_writes.push_back({Now(), {bytes.begin(), bytes.end()}});
    m_radio.Receive(bytes, Now());
}

void MemoryRadioPort::DiscardInput()
{
    Deliver();
    m_queue.clear();
}

}  // namespace korvane::sim
