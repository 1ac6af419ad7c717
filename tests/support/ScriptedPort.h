// An in-memory radio behind the port seam: records every write and delivers
// scripted reply bytes at given times of a VirtualSleeper's clock.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <vector>

#include "serial/Port.h"
#include "serial/SerialError.h"
#include "tests/support/VirtualSleeper.h"

namespace korvane::testing {

class ScriptedPort : public serial::ClockedPort {
public:
    using Bytes = std::vector<std::uint8_t>;
    // Called for each write with the bytes written; may schedule replies.
    using Responder = std::function<void(std::span<const std::uint8_t>, ScriptedPort&)>;

    static constexpr std::size_t kQueueSize = 1024;

    explicit ScriptedPort(const VirtualSleeper& clock) : m_clock(clock) {}

    // Bytes that arrive once the virtual clock reaches `at`.
    void ArriveAt(std::chrono::milliseconds at, Bytes bytes)
    {
        m_pending.push_back({at, std::move(bytes)});
        std::stable_sort(m_pending.begin(), m_pending.end(),
                         [](const Arrival& a, const Arrival& b) { return a.at < b.at; });
    }
    // Bytes that arrive `delay` after the present virtual time.
    void ArriveAfter(std::chrono::milliseconds delay, Bytes bytes)
    {
        ArriveAt(m_clock.Now() + delay, std::move(bytes));
    }
    void OnWrite(Responder responder) { m_responder = std::move(responder); }
    // A closed port fails every operation with SerialError(NotOpen), as the real one does.
    void SetOpen(bool open) { m_open = open; }

    const std::vector<Bytes>& Writes() const { return m_writes; }
    Bytes AllWritten() const
    {
        Bytes all;
        for (const Bytes& w : m_writes) all.insert(all.end(), w.begin(), w.end());
        return all;
    }
    // Bytes thrown away by a read whose result the caller did not copy are
    // still counted here: the total ever taken off the queue.
    std::size_t BytesTaken() const { return m_taken; }
    int CountQueries() const { return m_countQueries; }

    std::size_t Waiting() override
    {
        Deliver();
        ++m_countQueries;
        return std::min(m_queue.size(), kQueueSize);
    }
    Bytes Take(std::size_t most) override
    {
        Deliver();
        const std::size_t n = std::min({m_queue.size(), kQueueSize, most});
        Bytes bytes(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(n));
        m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(n));
        m_taken += n;
        return bytes;
    }
    void Write(std::span<const std::uint8_t> bytes) override
    {
        Deliver();
        m_writes.emplace_back(bytes.begin(), bytes.end());
        if (m_responder) m_responder(bytes, *this);
    }

    void DiscardInput() override
    {
        Deliver();
        m_discarded += m_queue.size();
        m_queue.clear();
    }

    // Bytes dropped by DiscardInput, in total.
    std::size_t BytesDiscarded() const { return m_discarded; }

private:
    struct Arrival {
        std::chrono::milliseconds at;
        Bytes bytes;
    };

    // Moves every arrival due by now into the receive queue; fails when closed.
    void Deliver()
    {
        if (!m_open) throw serial::SerialError(serial::SerialErrorKind::NotOpen, "port closed");
        while (!m_pending.empty() && m_pending.front().at <= m_clock.Now()) {
            m_queue.insert(m_queue.end(), m_pending.front().bytes.begin(),
                           m_pending.front().bytes.end());
            m_pending.pop_front();
        }
    }

    const VirtualSleeper& m_clock;
    std::deque<Arrival> m_pending;
    std::deque<std::uint8_t> m_queue;
    std::vector<Bytes> m_writes;
    Responder m_responder;
    std::size_t m_taken = 0;
    std::size_t m_discarded = 0;
    int m_countQueries = 0;
    bool m_open = true;
};

}  // namespace korvane::testing
