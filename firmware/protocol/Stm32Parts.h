// Which STM32 part a radio carries: the product ids the ROM bootloader's Get ID
// names, with the family's name, whether the ROM bootloader stage serves it,
// and where the part keeps its unique id and its flash-size register; and the
// identity a job or `korvane info` learnt from the bootloader's replies.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace korvane::firmware {

struct Stm32Part {
    std::uint16_t pid;
    std::string_view name;
    // The ROM bootloader stage serves the part: a protocol-2.x bootloader with
    // Erase 0x43 and the F1 layout it reads the unique id from.
    bool served;
    std::uint32_t uidAddress;        // 12 bytes; 0: not known for the part
    std::uint32_t flashSizeAddress;  // 16 bits, KiB; 0: not known for the part
};

// The part with product id `pid`, or null for an id the table does not hold.
const Stm32Part* FindPart(std::uint16_t pid);
// The part's name, or "unknown part" in the user's language.
std::string PartName(std::uint16_t pid);

constexpr std::size_t kUidSize = 12;

// What the bootloader told about the chip; each part is empty until known.
struct ChipIdentity {
    std::optional<std::uint16_t> pid;
    std::optional<std::uint8_t> bootloaderVersion;  // 0x22: version 2.2
    std::optional<bool> readProtected;
    std::optional<std::array<std::uint8_t, kUidSize>> uid;

    bool Empty() const { return !pid && !bootloaderVersion && !readProtected && !uid; }
    bool operator==(const ChipIdentity&) const = default;
};

// "2.2" for 0x22.
std::string BootloaderVersionText(std::uint8_t version);
// "0x410".
std::string PidText(std::uint16_t pid);
// The bytes as read, in address order, as upper-case hexadecimal.
std::string UidText(std::span<const std::uint8_t> uid);

}  // namespace korvane::firmware
