// What a download job put on the line and what it read back, as the job saw it,
// and the rules of the protocol a job must keep whatever the radio does: after
// a request the radio refused or left unanswered, only a retry of that very
// request may follow (synchronisation and solicitation are retried), anything
// else means the job went on as if it had been answered. Shared by the
// property search and the protocol fuzz targets; header-only.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "firmware/protocol/Pacing.h"
#include "serial/Port.h"
#include "serial/SerialError.h"

namespace korvane::testing {

// One request (the writes made with no read between them: a loader block goes
// out as three writes) and every byte the job took off the line before the next.
struct WireRequest {
    std::chrono::milliseconds at{0};
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> reply;
    bool lost = false;  // the line was gone when the job wrote it
};

// Line faults the radio itself does not make: the line drops at a given write,
// or the bytes of one read are lost or arrive with their first byte damaged.
struct LineFaults {
    std::optional<int> cutAtWrite;           // the write (0-based) that finds the line gone
    std::optional<int> dropRead;             // the non-empty read (0-based) whose bytes are lost
    std::optional<int> garbleRead;           // the non-empty read whose first byte is damaged
    std::uint8_t garbleTo = 0x1F;            // what it becomes: never an answer that lets a job on
    std::int64_t runawayLimit = 20'000'000;  // port operations before the job is cut off
};

// The line between the job and a radio port, recording what the job wrote and read.
class WireProbe : public serial::IPort {
public:
    using Clock = std::function<std::chrono::milliseconds()>;

    WireProbe(serial::IPort& radio, Clock clock, LineFaults faults = {})
        : m_radio(radio), m_clock(std::move(clock)), m_faults(faults)
    {
    }

    const std::vector<WireRequest>& Requests() const { return m_requests; }
    // The job kept polling without end (far more port operations than any bounded job makes).
    bool RanAway() const { return m_ops > m_faults.runawayLimit; }

    std::size_t Waiting() override
    {
        Tick();
        m_readSinceWrite = true;
        return m_radio.Waiting();
    }
    std::vector<std::uint8_t> Read(std::size_t most, std::chrono::nanoseconds wait,
                                   serial::ISleeper& stop) override
    {
        Tick();
        m_readSinceWrite = true;
        std::vector<std::uint8_t> bytes = m_radio.Read(most, wait, stop);
        if (!bytes.empty()) {
            const int read = m_nonEmptyReads++;
            if (m_faults.dropRead == read) bytes.clear();
            if (m_faults.garbleRead == read && !bytes.empty()) bytes[0] = m_faults.garbleTo;
        }
        if (!m_requests.empty()) {
            auto& reply = m_requests.back().reply;
            reply.insert(reply.end(), bytes.begin(), bytes.end());
        }
        return bytes;
    }
    void DiscardInput() override
    {
        Tick();
        m_radio.DiscardInput();
    }
    void Write(std::span<const std::uint8_t> bytes) override
    {
        Tick();
        const bool cut = m_faults.cutAtWrite && m_writes >= *m_faults.cutAtWrite;
        ++m_writes;
        if (m_readSinceWrite || m_requests.empty()) m_requests.push_back({m_clock(), {}, {}});
        m_readSinceWrite = false;
        auto& request = m_requests.back().bytes;
        request.insert(request.end(), bytes.begin(), bytes.end());
        if (cut) {
            m_requests.back().lost = true;
            throw serial::SerialError(serial::SerialErrorKind::DeviceGone, "the line dropped");
        }
        m_radio.Write(bytes);
    }

private:
    void Tick()
    {
        if (++m_ops > m_faults.runawayLimit) {
            throw serial::SerialError(serial::SerialErrorKind::Io, "runaway job cut off");
        }
    }

    serial::IPort& m_radio;
    Clock m_clock;
    LineFaults m_faults;
    std::vector<WireRequest> m_requests;
    bool m_readSinceWrite = false;
    int m_writes = 0;
    int m_nonEmptyReads = 0;
    std::int64_t m_ops = 0;
};

// What a request is, by its bytes, and the answer that lets the job go on.
enum class RequestKind { Sync, Solicit, Ready, EndFrame, Unprotect, Other };

// `previous` tells an unprotect (which follows a synchronisation) from a Read
// Memory length of the same two bytes (which follows an address).
inline RequestKind KindOf(const std::vector<std::uint8_t>& bytes,
                          const std::vector<std::uint8_t>& previous)
{
    constexpr std::size_t kLoaderFrame = 4099;
    if (bytes.size() == 1 && bytes[0] == 0x7F) return RequestKind::Sync;
    if (bytes.size() == 1 && bytes[0] == 0x00) return RequestKind::Solicit;
    if (bytes.size() == 1 && bytes[0] == '-') return RequestKind::Ready;
    if (bytes.size() == kLoaderFrame && bytes[0] == 0xFF && bytes[1] == 0xFF) {
        return RequestKind::EndFrame;
    }
    const bool afterSync = previous.size() == 1 && previous[0] == 0x7F;
    if (afterSync && bytes.size() == 2 &&
        ((bytes[0] == 0x92 && bytes[1] == 0x6D) || (bytes[0] == 0x73 && bytes[1] == 0x8C))) {
        return RequestKind::Unprotect;
    }
    return RequestKind::Other;
}

inline std::uint8_t PositiveAnswer(const std::vector<std::uint8_t>& bytes)
{
    if (bytes.size() == 1 && bytes[0] == 0x00) return 'G';
    if (bytes.size() == 1 && bytes[0] == 'O') return '+';
    if (bytes.size() == 4099 && bytes[0] == 0x00) return '!';  // a loader block
    return 0x79;                                               // the bootloader's ACK
}

// Whether the reply lets the job go on past the request.
inline bool Answered(const WireRequest& request, const std::vector<std::uint8_t>& previous,
                     firmware::Pacing pacing)
{
    const RequestKind kind = KindOf(request.bytes, previous);
    if (kind == RequestKind::Ready || kind == RequestKind::EndFrame) return true;
    const std::uint8_t positive = PositiveAnswer(request.bytes);
    // A bootloader already synchronised (by an earlier `korvane info`) refuses a
    // further 0x7F: the patient job takes that as in step.
    constexpr std::uint8_t kNack = 0x1F;
    if (kind == RequestKind::Sync && pacing == firmware::Pacing::Patient &&
        !request.reply.empty() && request.reply[0] == kNack)
        return true;
    if (request.reply.empty() || request.reply[0] != positive) return false;
    // Waiting for both acknowledgements of an unprotect, the patient job needs both.
    if (kind == RequestKind::Unprotect && pacing == firmware::Pacing::Patient) {
        return request.reply.size() >= 2 && request.reply[1] == positive;
    }
    return true;
}

// The first request after which the job went on although the radio refused
// it or stayed silent; nothing when the job kept the rule.
inline std::optional<std::size_t> FirstGoneOnUnanswered(const std::vector<WireRequest>& requests,
                                                        firmware::Pacing pacing)
{
    for (std::size_t i = 0; i + 1 < requests.size(); ++i) {
        const std::vector<std::uint8_t> none;
        const auto& previous = i == 0 ? none : requests[i - 1].bytes;
        if (Answered(requests[i], previous, pacing)) continue;
        const RequestKind kind = KindOf(requests[i].bytes, previous);
        const bool retry = (kind == RequestKind::Sync || kind == RequestKind::Solicit) &&
                           requests[i + 1].bytes == requests[i].bytes;
        if (!retry) return i;
    }
    return std::nullopt;
}

// "7F -> 79", bytes in hex, long requests shortened to their first bytes.
inline std::string Hex(std::span<const std::uint8_t> bytes, std::size_t most = 12)
{
    std::string text;
    char byte[4];
    for (std::size_t i = 0; i < bytes.size() && i < most; ++i) {
        std::snprintf(byte, sizeof(byte), "%02X", bytes[i]);
        if (i != 0) text += ' ';
        text += byte;
    }
    if (bytes.size() > most) text += " ... (" + std::to_string(bytes.size()) + " bytes)";
    return text;
}

// The transcript, one request a line, sync and solicitation retries folded.
inline std::string Transcript(const std::vector<WireRequest>& requests)
{
    std::string text;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        std::size_t same = i;
        while (same + 1 < requests.size() && requests[same + 1].bytes.size() == 1 &&
               requests[same + 1].bytes == requests[i].bytes &&
               requests[same + 1].reply == requests[i].reply && !requests[same + 1].lost) {
            ++same;
        }
        const WireRequest& r = requests[i];
        text += "  " + std::to_string(r.at.count()) + " ms  > " + Hex(r.bytes) + "   < " +
                (r.lost            ? std::string("(the line was gone)")
                 : r.reply.empty() ? std::string("(nothing)")
                                   : Hex(r.reply));
        if (same != i) text += "   (x" + std::to_string(same - i + 1) + ")";
        text += '\n';
        i = same;
    }
    return text;
}

}  // namespace korvane::testing
