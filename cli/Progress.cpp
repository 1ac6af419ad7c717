// Formatting of the flash progress: bar, sizes, rate and time left.
#include "cli/Progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace korvane::cli {
namespace {

constexpr double kKibi = 1024.0;
constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerHour = 3600;
constexpr int kPercentAll = 100;
constexpr std::size_t kBarCells = 20;
constexpr char kDoneCell = '#';
constexpr char kTodoCell = '-';

std::string Printf(const char* format, double value)
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

std::string FormatBytes(std::int64_t bytes)
{
    if (bytes < static_cast<std::int64_t>(kKibi)) {
        return std::to_string(bytes) + " B";
    }
    const double kib = static_cast<double>(bytes) / kKibi;
    if (kib < kKibi) {
        return Printf("%.1f KiB", kib);
    }
    return Printf("%.1f MiB", kib / kKibi);
}

std::string FormatDuration(double seconds)
{
    const long total = std::lround(std::max(0.0, seconds));
    const long hours = total / kSecondsPerHour;
    const long minutes = (total % kSecondsPerHour) / kSecondsPerMinute;
    const long secs = total % kSecondsPerMinute;
    char text[32];
    if (hours > 0) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", hours, minutes, secs);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", minutes, secs);
    }
    return text;
}

int PercentDone(const ProgressView& view)
{
    if (view.bytesTotal <= 0) {
        return 0;
    }
    const std::int64_t sent = std::clamp<std::int64_t>(view.bytesSent, 0, view.bytesTotal);
    return static_cast<int>(sent * kPercentAll / view.bytesTotal);
}

std::optional<double> BytesPerSecond(const ProgressView& view)
{
    if (view.bytesSent <= 0 || view.seconds <= 0.0) {
        return std::nullopt;
    }
    return static_cast<double>(view.bytesSent) / view.seconds;
}

std::string FormatProgressLine(const ProgressView& view, std::size_t width)
{
    const int percent = PercentDone(view);
    const std::size_t done = static_cast<std::size_t>(percent) * kBarCells / kPercentAll;
    std::string line = "[" + std::string(done, kDoneCell) +
                       std::string(kBarCells - done, kTodoCell) + "] " + Printf("%3.0f%%", percent);
    // Then as many of the details as fit whole, in this order: a line cut in
    // the middle of one ("0:") says nothing.
    std::vector<std::string> details{
        view.stage, FormatBytes(view.bytesSent) + " / " + FormatBytes(view.bytesTotal)};
    if (const auto rate = BytesPerSecond(view)) {
        details.push_back(FormatBytes(std::llround(*rate)) + "/s");
        const auto left =
            static_cast<double>(std::max<std::int64_t>(0, view.bytesTotal - view.bytesSent));
        details.push_back(FormatDuration(left / *rate) + " left");
    }
    for (const std::string& detail : details) {
        if (line.size() + 2 + detail.size() > width) break;
        line += "  " + detail;
    }
    if (line.size() > width) {
        line.resize(width);
    }
    return line;
}

std::string FormatPlainProgress(const ProgressView& view)
{
    return "progress: " + std::to_string(PercentDone(view)) + "% (" +
           std::to_string(view.bytesSent) + " of " + std::to_string(view.bytesTotal) +
           " bytes, stage " + view.stage + ")";
}

}  // namespace korvane::cli
