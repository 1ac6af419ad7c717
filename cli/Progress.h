// How `korvane flash` shows a running job: the live one-line bar for a terminal
// and plain lines for logs and pipes. Pure formatting, so it can be tested.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::cli {

// What the front end knows of the job at one moment.
struct ProgressView {
    std::string stage;            // "boot", "user", ... (see Flash.h)
    std::int64_t bytesSent = 0;   // image bytes the radio has taken so far, both stages
    std::int64_t bytesTotal = 0;  // image bytes of the whole job
    double seconds = 0.0;         // since the job started
};

// "512 B", "12.5 KiB", "1.0 MiB"
std::string FormatBytes(std::int64_t bytes);
// "0:07", "12:34", "1:02:03"
std::string FormatDuration(double seconds);
// Whole percent of the job, 0..100.
int PercentDone(const ProgressView& view);
// Average rate so far; none until there is something to average.
std::optional<double> BytesPerSecond(const ProgressView& view);

// Columns a UTF-8 text takes on a terminal or console: East Asian wide and
// full-width characters (Chinese among them) take two, combining marks none,
// everything else one.
std::size_t DisplayColumns(std::string_view text);
// The longest start of `text` that fits in `columns`, cut between characters.
std::string CutToColumns(std::string text, std::size_t columns);

// "[########------------]  40%  user  32.0 KiB / 80.0 KiB  3.1 KiB/s  0:15 left",
// in `width` columns: the details that do not fit whole are left out.
std::string FormatProgressLine(const ProgressView& view, std::size_t width);

// "progress: 40% (32768 of 81920 bytes, stage user)"
std::string FormatPlainProgress(const ProgressView& view);

}  // namespace korvane::cli
