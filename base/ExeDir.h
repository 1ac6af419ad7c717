// The folder of the running executable, where the portable program keeps its
// files.
#pragma once

#include <filesystem>

namespace korvane::base {

// Directory of the running executable (no trailing separator), any length.
std::filesystem::path GetExeDir();

}  // namespace korvane::base
