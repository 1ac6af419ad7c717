// The part of the port's operation contract that the byte exchange uses. The
// real port (CMscomm) implements it; tests put a scripted radio behind it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace korvane::serial {

class IPortOps {
public:
    virtual ~IPortOps() = default;

    // Number of received bytes not yet taken (InBufferCount).
    virtual std::int16_t GetInBufferCount() = 0;
    // All waiting bytes in arrival order, removed from the queue; empty when
    // nothing waits (Input).
    virtual std::vector<std::uint8_t> GetInput() = 0;
    // 0 makes every GetInput take all waiting bytes (InputLen).
    virtual void SetInputLen(std::int16_t length) = 0;
    // Hands all bytes to the line in order, however many (Output).
    virtual void SetOutput(std::span<const std::uint8_t> bytes) = 0;
    // Drops every received byte not yet taken, however many the system holds
    // (more than one Input can take).
    virtual void DiscardInput() = 0;
};

}  // namespace korvane::serial
