// printf-style formatting of a catalogue text with its one integer argument,
// safe whatever the text holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvane::base {

// The first %d, %i, %u, %x or %X (with flags, width and precision) takes
// `value`; "%%" is a percent sign; every other conversion (%s, %n, a second
// integer conversion, ...) is copied literally. Never reads a missing argument.
std::string SafeFormat(std::string_view format, std::int32_t value);

}  // namespace korvane::base
