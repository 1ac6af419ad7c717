// The one exception a protocol stage throws when the radio refuses a step or a
// retry limit runs out; the worker catches it once at its top. The functions
// below build each failure a stage meets, with its message and its hint in
// the user's language.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "error/Error.h"

namespace korvane::firmware {

class StageFailure : public korvane::Error {
public:
    explicit StageFailure(const std::string& message, std::string hint = {})
        : korvane::Error(ErrorKind::Refused, message, std::move(hint))
    {
    }
};

// `answer` is the first byte the radio sent back, or nothing when it was silent.

// The loader sent no 'G' to `attempts` solicitations.
StageFailure LoaderAbsent(int attempts);
// 'O' was not answered with '+'.
StageFailure HelloFailed(std::optional<std::uint8_t> answer);
// Block `number` was not answered with '!'.
StageFailure BlockFailed(int number, std::optional<std::uint8_t> answer);
// The ROM bootloader sent no ACK to `attempts` synchronisation bytes.
StageFailure BootloaderAbsent(int attempts);
// A bootloader step (`what`, e.g. "Erase Memory") was not acknowledged.
StageFailure StepFailed(std::string_view what, std::optional<std::uint8_t> answer);
// Erase 0x43 was refused, as protocol-3.x bootloaders refuse it.
StageFailure EraseRefused();

}  // namespace korvane::firmware
