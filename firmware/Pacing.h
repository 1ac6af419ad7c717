// How a download job paces its reads. Both policies send the same bytes in the
// same order; they differ only in how long each read waits.
#pragma once

#include <cstdint>

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

}  // namespace korvane::firmware
