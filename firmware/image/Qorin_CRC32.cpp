// The CRC-32 table of the reflected IEEE 802.3 polynomial and the label text
// that lets a technician compare an image with the one the vendor published.
#include "firmware/image/Qorin_CRC32.h"

#include <cstdio>

namespace korvane::firmware {

namespace {
constexpr std::uint32_t kReflectedPolynomial = 0xEDB88320u;
constexpr std::uint32_t kInitialRegister = 0xFFFFFFFFu;
constexpr int kBitsPerByte = 8;
constexpr std::uint32_t kLowByteMask = 0xFFu;
}  // namespace

Qorin_CRC32::Qorin_CRC32()
{
    for (std::uint32_t i = 0; i < m_table.size(); ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < kBitsPerByte; ++bit) {
            c = (c & 1u) ? (c >> 1) ^ kReflectedPolynomial : c >> 1;
        }
        m_table[i] = c;
    }
}

std::uint32_t Qorin_CRC32::Compute(std::span<const std::uint8_t> bytes) const
{
    std::uint32_t reg = kInitialRegister;
    for (std::uint8_t b : bytes) {
        reg = (reg >> kBitsPerByte) ^ m_table[(reg ^ b) & kLowByteMask];
    }
    return ~reg;
}

std::string FormatCrcLabel(std::uint32_t crc)
{
    char text[sizeof("CRC32:FFFFFFFF")];
    std::snprintf(text, sizeof(text), "CRC32:%08X", static_cast<unsigned>(crc));
    return text;
}

}  // namespace korvane::firmware
