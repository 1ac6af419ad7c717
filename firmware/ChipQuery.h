// Asking a radio's ROM bootloader what chip it runs on, without changing
// anything on it: synchronise, Get, Get Version, Get ID, then, where the part
// is known, Read Memory of its unique id and flash-size register. Never an
// unprotect, an erase or a write. What `korvane info` shows.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "firmware/protocol/Stm32Bootloader.h"
#include "firmware/protocol/Stm32Parts.h"

namespace korvane::firmware {

struct ChipReport {
    ChipIdentity identity;  // readProtected: a refused Read Memory means protected
    // What Get says the bootloader offers; empty when it refused Get.
    std::optional<std::vector<std::uint8_t>> commands;
    std::optional<std::uint16_t> flashKiB;
    // The ROM bootloader stage serves the part (the F1 family and its compatibles).
    bool served = false;
};

// Synchronisation bytes sent before the bootloader counts as silent.
constexpr int kQuerySyncAttempts = 20;

// Throws StageFailure for a silent or refusing bootloader (Get Version and Get
// ID must be answered; a refused Get leaves the commands unknown), MalformedReply for a reply the
// protocol does not have, a serial error or serial::StopRequested. Reads wait as patient pacing
// does.
ChipReport QueryChip(serial::ByteExchange& exchange);

}  // namespace korvane::firmware
