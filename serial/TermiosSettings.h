// The terminal settings the POSIX backend applies for given line settings: raw
// mode, the speed, parity, data and stop bits, no flow control. Kept apart from
// the device access so the exact flags can be checked without a device.
#pragma once

#include <termios.h>

#include <cstdint>

#include "serial/LineSettings.h"

namespace korvane::serial {

// The termios speed constant for a baud rate; throws SerialError(BadSettings)
// for a rate this system's terminals do not offer.
speed_t BaudToSpeed(std::uint32_t baud);

// `current` with raw mode and `settings` applied; reads return at once with
// whatever is waiting (VMIN 0, VTIME 0).
termios BuildTermios(const termios& current, const LineSettings& settings);

}  // namespace korvane::serial
