// What a protocol stage works with: the byte exchange on the open port, the
// worker's work buffer (every request is built at its offset 0; replies come
// back as values, never through it), the job's progress record, and how the
// job paces its reads.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "firmware/JobReport.h"
#include "firmware/Pacing.h"
#include "serial/ByteExchange.h"

namespace korvane::firmware {

constexpr std::size_t kWorkBufferSize = 5120;
using WorkBuffer = std::array<std::uint8_t, kWorkBufferSize>;

struct StageContext {
    serial::ByteExchange& exchange;
    std::span<std::uint8_t, kWorkBufferSize> work;
    JobReport& report;
    Pacing pacing = Pacing::Exact;
    // Read the boot image back before starting it (full upgrade only).
    bool verify = false;
};

// The window of one read of a protocol step under either policy: the wanted count and polls
// of the fixed schedule, and for patient pacing the bytes the radio really
// sends there and the longest it may take to send them.
struct ReadWindow {
    std::uint16_t wanted;
    std::uint32_t polls;
    std::uint16_t promptWanted;
    std::chrono::milliseconds ceiling;
};

// The read a step makes under the context's pacing.
serial::Reply ReadReply(const StageContext& context, const ReadWindow& window);
// SendBytes of `request`, then ReadReply.
serial::Reply SendAndRead(const StageContext& context, std::span<const std::uint8_t> request,
                          const ReadWindow& window);

// "0x1F" for the failure descriptions.
std::string HexByte(std::uint8_t value);

}  // namespace korvane::firmware
