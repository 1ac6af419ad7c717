// The operating system's word size from uname, and the COM-port database reset,
// which has nothing to reset on a POSIX system.
#include <sys/utsname.h>

#include "maintenance/SystemInfo.h"

namespace korvane::maintenance {

bool IsOperatingSystem64Bit()
{
    utsname name{};
    if (::uname(&name) != 0) {
        return false;  // the 32-bit pair is the one that installs everywhere
    }
    return IsMachineName64Bit(name.machine);
}

void ResetComPortDatabase()
{
    // Serial device names here come from the kernel and udev; no database of
    // taken port numbers exists, so there is nothing to run.
}

}  // namespace korvane::maintenance
