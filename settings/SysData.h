// The 1024-byte settings record, the raw image of Sys.dat. Fields are read and
// written at their byte offsets, little-endian, so struct packing never matters.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace korvane::settings {

class SysData {
public:
    static constexpr std::size_t kSize = 1024;
    static constexpr std::size_t kLanguageOffset = 32;
    static constexpr std::size_t kComIndexOffset = 33;
    static constexpr std::size_t kUpgradeCountOffset = 38;

    std::uint8_t Language() const;
    void SetLanguage(std::uint8_t language);
    std::uint8_t ComIndex() const;
    void SetComIndex(std::uint8_t index);
    std::int32_t UpgradeCount() const;
    void SetUpgradeCount(std::int32_t count);
    // Adds one completed download. The count stays a signed 32-bit field, and at
    // its largest value (2,147,483,647) it stays there: a count that wrapped to
    // a negative number would tell the technician less than one that stops.
    void IncrementUpgradeCount();

    std::array<std::uint8_t, kSize>& Bytes() { return m_bytes; }
    const std::array<std::uint8_t, kSize>& Bytes() const { return m_bytes; }

private:
    std::array<std::uint8_t, kSize> m_bytes{};
};

}  // namespace korvane::settings
