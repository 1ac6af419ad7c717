// Formatting of the flash progress: bar, sizes, rate and time left.
#include "cli/Progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <utility>
#include <vector>

#include "base/TextEncoding.h"

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

// The blocks of East Asian wide and full-width characters: Hangul Jamo, the
// CJK radicals, punctuation, kana and symbols, the ideographs, Yi, Hangul
// syllables, the compatibility ideographs and forms, the full-width forms and
// the supplementary ideographic planes.
struct Range {
    char32_t first;
    char32_t last;
};
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
    {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F},
    {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};
constexpr Range kCombining[] = {{0x0300, 0x036F}, {0x200B, 0x200F}, {0xFE00, 0xFE0F}};

bool In(const Range* begin, const Range* end, char32_t c)
{
    return std::any_of(begin, end, [c](const Range& r) { return c >= r.first && c <= r.last; });
}

std::size_t ColumnsOf(char32_t c)
{
    if (In(std::begin(kCombining), std::end(kCombining), c)) return 0;
    return In(std::begin(kWide), std::end(kWide), c) ? 2 : 1;
}

// Columns of the character at `pos` and its length in bytes (a malformed
// byte counts as one column, as the replacement character shown for it).
std::size_t NextCharacter(std::string_view text, std::size_t pos, std::size_t& columns)
{
    char32_t c = 0;
    const std::size_t length = base::DecodeUtf8(text, pos, c);
    columns = length == 0 ? 1 : ColumnsOf(c);
    return length == 0 ? 1 : length;
}

}  // namespace

std::size_t DisplayColumns(std::string_view text)
{
    std::size_t total = 0;
    for (std::size_t pos = 0, columns = 0; pos < text.size(); total += columns) {
        pos += NextCharacter(text, pos, columns);
    }
    return total;
}

std::string CutToColumns(std::string text, std::size_t columns)
{
    std::size_t used = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t width = 0;
        const std::size_t length = NextCharacter(text, pos, width);
        if (used + width > columns) {
            text.resize(pos);
            break;
        }
        used += width;
        pos += length;
    }
    return text;
}

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
        if (DisplayColumns(line) + 2 + DisplayColumns(detail) > width) break;
        line += "  " + detail;
    }
    return CutToColumns(std::move(line), width);
}

std::string FormatPlainProgress(const ProgressView& view)
{
    return "progress: " + std::to_string(PercentDone(view)) + "% (" +
           std::to_string(view.bytesSent) + " of " + std::to_string(view.bytesTotal) +
           " bytes, stage " + view.stage + ")";
}

}  // namespace korvane::cli
