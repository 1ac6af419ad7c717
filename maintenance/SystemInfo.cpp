// Word-size names of the architectures and the COM-port database reset command.
#include "maintenance/SystemInfo.h"

#include <algorithm>
#include <array>

namespace korvane::maintenance {

const std::string_view kComDatabaseResetCommand =
    "c: && reg query \"HKLM\\SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter\" /v ComDB && "
    "reg delete \"HKLM\\SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter\" /v ComDB /f ";

namespace {
// Machine names of 64-bit kernels as uname spells them.
constexpr std::array<std::string_view, 15> k64BitMachines = {
    "x86_64",  "amd64",  "aarch64",  "aarch64_be",  "arm64",   "ppc64", "ppc64le", "s390x",
    "riscv64", "mips64", "mips64el", "loongarch64", "sparc64", "alpha", "ia64"};
}  // namespace

bool IsMachineName64Bit(std::string_view machine)
{
    return std::find(k64BitMachines.begin(), k64BitMachines.end(), machine) != k64BitMachines.end();
}

}  // namespace korvane::maintenance
