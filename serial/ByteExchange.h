// The request/reply exchange that the firmware stages use: write, then read on
// the fixed schedule (the waiting count at once and every 50 ms, then one
// final look) or with a ceiling, waking the moment the reply is there.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "serial/Port.h"
#include "serial/Sleeper.h"

namespace korvane::serial {

// The bytes one read delivered, in arrival order; empty when nothing came.
// A reply holds only what the radio sent: never the request, never an older reply.
class Reply {
public:
    Reply() = default;
    explicit Reply(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}

    std::span<const std::uint8_t> Bytes() const { return m_bytes; }
    std::size_t Size() const { return m_bytes.size(); }
    bool Empty() const { return m_bytes.empty(); }
    std::optional<std::uint8_t> First() const
    {
        if (m_bytes.empty()) return std::nullopt;
        return m_bytes.front();
    }
    bool StartsWith(std::uint8_t value) const { return !m_bytes.empty() && m_bytes[0] == value; }

private:
    std::vector<std::uint8_t> m_bytes;
};

// How long one read may wait: a number of 50 ms polls (the fixed schedule), or
// a ceiling within which the read returns as soon as its bytes are there.
struct ReadLimit {
    std::uint32_t polls = 0;
    std::optional<std::chrono::milliseconds> ceiling;
    // The reply goes on past its first byte only when that byte is this one
    // (a bootloader's ACK); any other first byte (a refusal) is the whole
    // reply, and the read returns with it at once instead of waiting out its
    // polls or its ceiling for bytes that will not come.
    std::optional<std::uint8_t> continuesAfter;

    static ReadLimit Polls(std::uint32_t count) { return {count, std::nullopt, std::nullopt}; }
    static ReadLimit Within(std::chrono::milliseconds limit) { return {0, limit, std::nullopt}; }
    ReadLimit ContinuingAfter(std::uint8_t first) const
    {
        ReadLimit limit = *this;
        limit.continuesAfter = first;
        return limit;
    }
};

// Sees every request and every read as the exchange makes them (a transcript
// for tests and diagnostics).
class IExchangeTrace {
public:
    virtual ~IExchangeTrace() = default;
    virtual void OnSend(std::span<const std::uint8_t> bytes) = 0;
    virtual void OnRead(std::uint16_t wanted, const ReadLimit& limit, const Reply& reply) = 0;
};

class ByteExchange {
public:
    static constexpr std::chrono::milliseconds kPollInterval{50};

    ByteExchange(IPort& port, ISleeper& sleeper) : m_port(port), m_sleeper(sleeper) {}

    // Discards all waiting input, then writes `count` bytes of `data`.
    void SendBytes(const std::uint8_t* data, std::uint16_t count);

    // Waits up to `polls` polls for `wanted` bytes: the fixed schedule checks at
    // once and every poll, then takes one final look, which takes whatever has
    // come (it may be more than wanted).
    Reply Receive(std::uint16_t wanted, std::uint32_t polls);
    // A read that returns as soon as `wanted` bytes are there, or when `limit`
    // runs out with whatever has come; a poll limit keeps the fixed schedule.
    Reply Receive(std::uint16_t wanted, const ReadLimit& limit);

    ISleeper& Sleeper() { return m_sleeper; }
    // Null stops tracing; the trace must outlive the exchange's use of it.
    void SetTrace(IExchangeTrace* trace) { m_trace = trace; }

private:
    // The bytes of one read taken so far, and whether the reply is complete.
    struct Gathered;
    Reply ReceiveOnPolls(std::uint16_t wanted, const ReadLimit& limit);
    Reply ReceiveWithin(std::uint16_t wanted, const ReadLimit& limit);
    bool Complete(Gathered& gathered, std::uint16_t wanted, const ReadLimit& limit);
    Reply TakeWaiting(Gathered& gathered, std::size_t most);

    IPort& m_port;
    ISleeper& m_sleeper;
    IExchangeTrace* m_trace = nullptr;
};

}  // namespace korvane::serial
