// The port the protocol talks through: bytes out, bytes in, and a read that
// waits for its bytes instead of counting them. The serial port implements it
// on the system's device; tests and benchmarks put in-memory radios behind it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "serial/Sleeper.h"

namespace korvane::serial {

class IPort {
public:
    virtual ~IPort() = default;

    // Received bytes not yet taken.
    virtual std::size_t Waiting() = 0;
    // Takes up to `most` received bytes in arrival order. Returns as soon as
    // `most` have come, or once `wait` has passed with what has come (perhaps
    // nothing); a zero wait takes what is there. A stop requested of `stop`
    // during the wait ends it at once with StopRequested.
    virtual std::vector<std::uint8_t> Read(std::size_t most, std::chrono::nanoseconds wait,
                                           ISleeper& stop) = 0;
    // Hands every byte to the line, in order.
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;
    // Drops every received byte not yet taken.
    virtual void DiscardInput() = 0;
};

// A port whose bytes come as the sleeper's clock goes on (an in-memory radio on
// a virtual clock): a waiting read looks again after every millisecond it
// sleeps, so the clock, not the read, decides when the bytes are there.
class ClockedPort : public IPort {
public:
    static constexpr std::chrono::milliseconds kLookInterval{1};

    std::vector<std::uint8_t> Read(std::size_t most, std::chrono::nanoseconds wait,
                                   ISleeper& stop) override;

protected:
    // Up to `most` of the bytes there now, without waiting.
    virtual std::vector<std::uint8_t> Take(std::size_t most) = 0;
};

}  // namespace korvane::serial
