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
#include "firmware/protocol/Pacing.h"
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

// The read a step makes under the context's pacing.
serial::Reply ReadReply(const StageContext& context, const ReadWindow& window);
// SendBytes of `request`, then ReadReply.
serial::Reply SendAndRead(const StageContext& context, std::span<const std::uint8_t> request,
                          const ReadWindow& window);

}  // namespace korvane::firmware
