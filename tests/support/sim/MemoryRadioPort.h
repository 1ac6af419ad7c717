// The simulated radio behind the port seam, in memory, on a virtual clock:
// unit tests run a whole upgrade in microseconds and see every write.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "serial/PortOps.h"
#include "tests/support/VirtualSleeper.h"
#include "tests/support/sim/RadioSim.h"

namespace korvane::sim {

class MemoryRadioPort : public serial::IPortOps {
public:
    struct Write {
        std::chrono::milliseconds at;
        std::vector<std::uint8_t> bytes;
    };

    static constexpr std::size_t kQueueSize = 1024;

    // Both must outlive the port; the clock is the job's sleeper.
    MemoryRadioPort(RadioSim& radio, const testing::VirtualSleeper& clock)
        : m_radio(radio), m_clock(clock)
    {
    }

    // Every SetOutput in order, with the virtual time it happened at.
    const std::vector<Write>& Writes() const { return m_writes; }
    std::vector<std::uint8_t> AllWritten() const;

    // IPortOps. After the radio hangs up every operation fails as a lost device does.
    std::int16_t GetInBufferCount() override;
    std::vector<std::uint8_t> GetInput() override;
    void SetInputLen(std::int16_t) override {}
    void SetOutput(std::span<const std::uint8_t> bytes) override;

private:
    void Deliver();
    SimTime Now() const { return SimTime(m_clock.Now()); }

    RadioSim& m_radio;
    const testing::VirtualSleeper& m_clock;
    std::deque<std::uint8_t> m_queue;
    std::vector<Write> m_writes;
};

}  // namespace korvane::sim
