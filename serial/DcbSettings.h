// Building the Win32 DCB for a set of line settings (Win32 backend), kept apart
// from the device so that the settings can be checked without a port.
#pragma once

#include <windows.h>

#include "serial/LineSettings.h"

namespace korvane::serial {

// `current` with the speed, framing and parity of `settings`, binary mode, no
// flow control, no error replacement, and DTR and RTS held on.
DCB BuildDcb(const DCB& current, const LineSettings& settings);

}  // namespace korvane::serial
