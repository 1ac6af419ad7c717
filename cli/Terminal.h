// Whether an output stream of the process is a terminal (console), and how wide
// it is: the live progress line is drawn only there, and kept shorter than it.
#pragma once

#include <cstddef>

namespace korvane::cli {

enum class StandardStream { Out, Err };

bool IsTerminal(StandardStream stream);
// Columns of the terminal behind `stream`, or `fallback` when that is unknown.
std::size_t TerminalWidth(StandardStream stream, std::size_t fallback);

}  // namespace korvane::cli
