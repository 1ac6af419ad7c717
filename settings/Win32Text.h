// Windows only: the system's own sentence for an error code, as UTF-8.
#pragma once

#include <string>

namespace korvane::settings {

// The system's message for `error` (a GetLastError code) in the language of
// the program's own texts (Sys.dat's) where Windows has it, else the system's,
// without its closing line break and full stop, so it reads inside a sentence;
// "system error N" when the system has none.
std::string SystemMessage(unsigned long error);

}  // namespace korvane::settings
