// What a protocol stage works with: the byte exchange on the open port, the
// worker's work buffer (every request is built and every reply read at its
// offset 0), and the job's progress record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "firmware/JobReport.h"
#include "serial/ByteExchange.h"

namespace korvane::firmware {

constexpr std::size_t kWorkBufferSize = 5120;
using WorkBuffer = std::array<std::uint8_t, kWorkBufferSize>;

struct StageContext {
    serial::ByteExchange& exchange;
    std::span<std::uint8_t, kWorkBufferSize> work;
    JobReport& report;
};

// "0x1F" for the failure descriptions.
std::string HexByte(std::uint8_t value);

}  // namespace korvane::firmware
