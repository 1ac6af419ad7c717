// Line settings as the serial control takes them: "baud,parity,data,stop".
#pragma once

#include <cstdint>
#include <string_view>

namespace korvane::serial {

enum class Parity { None, Even, Odd, Mark, Space };

struct LineSettings {
    std::uint32_t baud = 9600;
    Parity parity = Parity::None;
    std::uint8_t dataBits = 8;
    std::uint8_t stopBits = 1;
    bool operator==(const LineSettings&) const = default;
};

// Parses e.g. "115200,E,8,1"; throws SerialError(BadSettings) naming the fault.
LineSettings ParseLineSettings(std::string_view text);

}  // namespace korvane::serial
