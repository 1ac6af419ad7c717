// How a download job paces its reads. Both policies send the same bytes in the
// same order; they differ only in how long each read waits.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

#include "serial/ByteExchange.h"

namespace korvane::firmware {

enum class Pacing : std::int32_t {
    // The fixed polls of the protocol: every reply within one or a few 50 ms
    // polls. What the dialog uses, as shipped.
    Exact,
    // Each read returns as soon as its bytes have come, and otherwise waits up
    // to a ceiling that covers slow parts and late USB adapters; both
    // acknowledgements of an unprotect are awaited and the rebooted
    // bootloader is synchronised again.
    Patient,
};

// "exact" / "patient", for logs and machine-readable output.
const char* PacingName(Pacing pacing);

// The window of one read of a protocol step under either policy: the wanted
// count and polls of the fixed schedule, and for patient pacing the bytes the
// radio really sends there and the longest it may take to send them.
struct ReadWindow {
    std::uint16_t wanted;
    std::uint32_t polls;
    std::uint16_t promptWanted;
    std::chrono::milliseconds ceiling;
};

// The read of `window` under `pacing`. With `continuesAfter`, a first byte
// other than that one ends the read at once (a refusal is the whole reply).
serial::Reply ReadUnder(serial::ByteExchange& exchange, Pacing pacing, const ReadWindow& window,
                        std::optional<std::uint8_t> continuesAfter = std::nullopt);

}  // namespace korvane::firmware
