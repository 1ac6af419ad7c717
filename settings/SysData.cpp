// Field access of the settings record at fixed byte offsets, little-endian,
// so the file layout never depends on the compiler's struct packing.
#include "settings/SysData.h"

#include <limits>

namespace korvane::settings {

namespace {
constexpr int kBitsPerByte = 8;
constexpr std::size_t kCountWidth = sizeof(std::int32_t);
}  // namespace

std::uint8_t SysData::Language() const
{
    return m_bytes[kLanguageOffset];
}

void SysData::SetLanguage(std::uint8_t language)
{
    m_bytes[kLanguageOffset] = language;
}

std::uint8_t SysData::ComIndex() const
{
    return m_bytes[kComIndexOffset];
}

void SysData::SetComIndex(std::uint8_t index)
{
    m_bytes[kComIndexOffset] = index;
}

std::int32_t SysData::UpgradeCount() const
{
    // Assembled in unsigned arithmetic, lowest byte first, then reinterpreted as
    // two's complement (well defined since C++20).
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < kCountWidth; ++i) {
        value |= static_cast<std::uint32_t>(m_bytes[kUpgradeCountOffset + i]) << (kBitsPerByte * i);
    }
    return static_cast<std::int32_t>(value);
}

void SysData::SetUpgradeCount(std::int32_t count)
{
    const auto value = static_cast<std::uint32_t>(count);
    for (std::size_t i = 0; i < kCountWidth; ++i) {
        m_bytes[kUpgradeCountOffset + i] = static_cast<std::uint8_t>(value >> (kBitsPerByte * i));
    }
}

void SysData::IncrementUpgradeCount()
{
    const std::int32_t count = UpgradeCount();
    if (count < std::numeric_limits<std::int32_t>::max()) SetUpgradeCount(count + 1);
}

}  // namespace korvane::settings
