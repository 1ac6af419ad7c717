// The simulated radio behind the port seam, in memory, on a virtual clock:
// unit tests run a whole upgrade in microseconds and see every write.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <vector>

#include "serial/Port.h"
#include "sim/RadioSim.h"

namespace korvane::sim {

class MemoryRadioPort : public serial::ClockedPort {
public:
    struct Written {
        SimTime at;
        std::vector<std::uint8_t> bytes;
    };

    static constexpr std::size_t kQueueSize = 1024;

    // Both must outlive the port; the clock is the job's virtual clock, anything
    // with a Now() that returns a std::chrono duration.
    template <class VirtualClock>
    MemoryRadioPort(RadioSim& radio, const VirtualClock& clock)
        : m_radio(radio),
          m_now([&clock] { return std::chrono::duration_cast<SimTime>(clock.Now()); })
    {
    }

    // Every Write in order, with the virtual time it happened at.
    const std::vector<Written>& Writes() const { return m_writes; }
    std::vector<std::uint8_t> AllWritten() const;

    // IPort. After the radio hangs up every operation fails as a lost device does.
    std::size_t Waiting() override;
    void Write(std::span<const std::uint8_t> bytes) override;
    void DiscardInput() override;

private:
    std::vector<std::uint8_t> Take(std::size_t most) override;
    void Deliver();
    SimTime Now() const { return m_now(); }

    RadioSim& m_radio;
    std::function<SimTime()> m_now;
    std::deque<std::uint8_t> m_queue;
    std::vector<Written> m_writes;
};

}  // namespace korvane::sim
