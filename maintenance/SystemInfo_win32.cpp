// The operating system's word size (a 64-bit process, or IsWow64Process looked
// up at run time) and the COM-port database reset through the command processor.
#include <windows.h>

#include "maintenance/Process.h"
#include "maintenance/SystemInfo.h"
#include "maintenance/TextEncoding.h"

namespace korvane::maintenance {

namespace {
using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
constexpr bool kIs64BitProcess = sizeof(void*) == 8;
}  // namespace

bool IsOperatingSystem64Bit()
{
    if constexpr (kIs64BitProcess) {
        return true;
    }
    // Looked up by name: Windows versions without it are 32-bit only.
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32");
    if (kernel == nullptr) {
        return false;
    }
    const auto isWow64Process = reinterpret_cast<IsWow64ProcessFunction>(
        reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "IsWow64Process")));
    BOOL wow64 = FALSE;
    return isWow64Process != nullptr && isWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

void ResetComPortDatabase()
{
    // Without administrator rights reg delete fails and the value stays; the
    // start-up goes on either way, so the outcome is not needed.
    RunCommandLine(base::Utf8ToWide(kComDatabaseResetCommand));
}

}  // namespace korvane::maintenance
