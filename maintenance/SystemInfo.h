// Facts about the operating system that the driver buttons and start-up need.
#pragma once

#include <string_view>

namespace korvane::maintenance {

// Whether the operating system is 64-bit (Windows: a 64-bit process, or a
// 32-bit one that IsWow64Process says runs on 64-bit Windows; Linux: uname).
bool IsOperatingSystem64Bit();

// Whether a machine name as uname reports it (x86_64, aarch64, i686, ...)
// names a 64-bit architecture.
bool IsMachineName64Bit(std::string_view machine);

// The COM-port database reset command line of the Windows build, exactly.
extern const std::string_view kComDatabaseResetCommand;

// Windows: runs kComDatabaseResetCommand through the command processor; its
// result is not needed. Elsewhere there is no COM-port database: runs nothing.
void ResetComPortDatabase();

}  // namespace korvane::maintenance
