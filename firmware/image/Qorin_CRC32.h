// CRC-32 of IEEE 802.3 (zlib, PNG), table-driven, as the image labels show it.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace korvane::firmware {

class Qorin_CRC32 {
public:
    Qorin_CRC32();
    virtual ~Qorin_CRC32() = default;

    std::uint32_t Compute(std::span<const std::uint8_t> bytes) const;
    const std::array<std::uint32_t, 256>& Table() const { return m_table; }

private:
    std::array<std::uint32_t, 256> m_table{};
};

// "CRC32:%08X"
std::string FormatCrcLabel(std::uint32_t crc);

}  // namespace korvane::firmware
