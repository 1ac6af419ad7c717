// The one exception a protocol stage throws when the radio refuses a step or a
// retry limit runs out; the worker catches it once at its top.
#pragma once

#include <string>

#include "error/Error.h"

namespace korvane::firmware {

class StageFailure : public korvane::Error {
public:
    explicit StageFailure(const std::string& message, std::string hint = {})
        : korvane::Error(ErrorKind::Refused, message, std::move(hint))
    {
    }
};

}  // namespace korvane::firmware
