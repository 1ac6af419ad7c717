// The one exception a protocol stage throws when the radio refuses a step or a
// retry limit runs out; the worker catches it once at its top.
#pragma once

#include <stdexcept>
#include <string>

namespace korvane::firmware {

class StageFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace korvane::firmware
