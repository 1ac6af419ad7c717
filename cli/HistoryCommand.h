// `korvane history`: the jobs `korvane flash` (and the station) recorded, read
// back filtered by radio and date, as readable lines or as JSON.
#pragma once

#include "cli/Commands.h"
#include "cli/Options.h"

namespace korvane::cli {

// Exit status: 0 also when nothing matched (a line says so); 1 when the file
// exists but cannot be read.
int RunHistory(const Console& console, const HistoryOptions& options);

}  // namespace korvane::cli
