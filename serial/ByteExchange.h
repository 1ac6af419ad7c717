// The polled request/reply exchange that the firmware stages use: write, then
// check the waiting count at once and every 50 ms, then take one final look.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>

#include "serial/PortOps.h"
#include "serial/Sleeper.h"

namespace korvane::serial {

class ByteExchange {
public:
    static constexpr std::chrono::milliseconds kPollInterval{50};

    ByteExchange(IPortOps& port, ISleeper& sleeper) : m_port(port), m_sleeper(sleeper) {}

    // Discards waiting input, then writes `count` bytes of `data`.
    void SendBytes(const std::uint8_t* data, std::uint16_t count);

    // Waits up to `polls` polls for `wanted` bytes and copies the reply to the
    // start of `buffer` (never past its end). Returns the number of bytes
    // copied; 0 leaves the buffer untouched.
    std::int32_t ReceiveBytes(std::span<std::uint8_t> buffer, std::uint16_t wanted,
                              std::uint32_t polls);

    // SendBytes of the first `sendCount` bytes of `buffer`, then ReceiveBytes
    // into the same buffer.
    void ExchangeBytes(std::span<std::uint8_t> buffer, std::uint16_t sendCount,
                       std::uint16_t wanted, std::uint32_t polls);

    ISleeper& Sleeper() { return m_sleeper; }

private:
    IPortOps& m_port;
    ISleeper& m_sleeper;
};

}  // namespace korvane::serial
