// The Win32 port looks at the stop request between the slices of its waits; the
// signal itself has nothing to hold.
#include "serial/StopSignal.h"

namespace korvane::serial {

StopSignal::StopSignal() = default;
StopSignal::~StopSignal() = default;
void StopSignal::Raise() {}
void StopSignal::Clear() {}

}  // namespace korvane::serial
