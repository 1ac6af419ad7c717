// The history's file format: the columns, the CSV quoting and parsing, the
// times with their offsets, and the filter. The platform files do the locked
// append and the local time.
#include "history/History.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "base/TextEncoding.h"
#include "error/Error.h"
#include "history/HistoryText.h"

namespace korvane::history {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kSecondsPerHour = 3600;
constexpr std::int64_t kSecondsPerMinute = 60;

// Days from 1970-01-01 to the given civil date (proleptic Gregorian), after
// Howard Hinnant's days_from_civil: no time zone, no table, no platform call.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

bool NeedsQuotes(std::string_view field)
{
    return field.find_first_of(",\"\r\n") != std::string_view::npos;
}

void AppendField(std::string& line, std::string_view field)
{
    if (!NeedsQuotes(field)) {
        line += field;
        return;
    }
    line += '"';
    for (const char c : field) {
        if (c == '"') line += '"';
        line += c;
    }
    line += '"';
}

std::optional<Record> FromFields(const std::vector<std::string>& f)
{
    if (f.size() != ColumnNames().size()) return std::nullopt;
    Record r;
    std::size_t i = 0;
    r.started = f[i++];
    const std::string& seconds = f[i++];
    try {
        r.seconds = std::stod(seconds);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    r.port = f[i++];
    r.location = f[i++];
    r.adapterSerial = f[i++];
    r.uid = f[i++];
    r.pid = f[i++];
    r.bootloader = f[i++];
    r.bootImage = f[i++];
    r.bootBytes = f[i++];
    r.bootCrc = f[i++];
    r.userImage = f[i++];
    r.userBytes = f[i++];
    r.userCrc = f[i++];
    r.pacing = f[i++];
    r.verified = f[i++] == "yes";
    r.result = f[i++];
    r.stage = f[i++];
    const std::string& exit = f[i++];
    const auto parsed = std::from_chars(exit.data(), exit.data() + exit.size(), r.exitStatus);
    if (parsed.ec != std::errc{}) return std::nullopt;
    r.message = f[i++];
    return r;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Reads a fixed number of decimal digits at `pos`, advancing it.
bool Digits(std::string_view text, std::size_t& pos, std::size_t count, int& value)
{
    if (pos + count > text.size()) return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
}

bool Expect(std::string_view text, std::size_t& pos, char c)
{
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

}  // namespace

const std::vector<std::string_view>& ColumnNames()
{
    static const std::vector<std::string_view> names = {
        "started",  "seconds",    "port",       "location",   "adapter_serial",
        "uid",      "pid",        "bootloader", "boot_image", "boot_bytes",
        "boot_crc", "user_image", "user_bytes", "user_crc",   "pacing",
        "verified", "result",     "stage",      "exit",       "message"};
    return names;
}

std::string FormatLocalTime(std::chrono::system_clock::time_point when)
{
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count();
    const detail::LocalTime t = detail::ToLocalTime(seconds);
    const std::int64_t offset = t.offsetSeconds < 0 ? -t.offsetSeconds : t.offsetSeconds;
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", t.year, t.month,
                  t.day, t.hour, t.minute, t.second, t.offsetSeconds < 0 ? '-' : '+',
                  static_cast<int>(offset / kSecondsPerHour),
                  static_cast<int>(offset % kSecondsPerHour / kSecondsPerMinute));
    return text;
}

std::optional<std::int64_t> ParseTime(std::string_view text)
{
    std::size_t pos = 0;
    int year = 0, month = 0, day = 0;
    if (!Digits(text, pos, 4, year) || !Expect(text, pos, '-') || !Digits(text, pos, 2, month) ||
        !Expect(text, pos, '-') || !Digits(text, pos, 2, day))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
    const std::int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    if (pos == text.size()) {
        // A date alone means its local midnight: the offset is the one in force
        // around then (taken at noon UTC, clear of any change at midnight).
        const auto noon = days * kSecondsPerDay + kSecondsPerDay / 2;
        return days * kSecondsPerDay - detail::ToLocalTime(noon).offsetSeconds;
    }
    int hour = 0, minute = 0, second = 0;
    if (!Expect(text, pos, 'T') || !Digits(text, pos, 2, hour) || !Expect(text, pos, ':') ||
        !Digits(text, pos, 2, minute) || !Expect(text, pos, ':') || !Digits(text, pos, 2, second))
        return std::nullopt;
    if (hour > 23 || minute > 59 || second > 60) return std::nullopt;
    std::int64_t offset = 0;
    if (pos < text.size() && text[pos] == 'Z') {
        ++pos;
    } else {
        if (pos >= text.size() || (text[pos] != '+' && text[pos] != '-')) return std::nullopt;
        const int sign = text[pos++] == '-' ? -1 : 1;
        int offsetHours = 0, offsetMinutes = 0;
        if (!Digits(text, pos, 2, offsetHours) || !Expect(text, pos, ':') ||
            !Digits(text, pos, 2, offsetMinutes))
            return std::nullopt;
        offset = sign * (offsetHours * kSecondsPerHour + offsetMinutes * kSecondsPerMinute);
    }
    if (pos != text.size()) return std::nullopt;
    return days * kSecondsPerDay + hour * kSecondsPerHour + minute * kSecondsPerMinute + second -
           offset;
}

std::vector<std::string> Fields(const Record& r)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", r.seconds);
    return {r.started,
            seconds,
            r.port,
            r.location,
            r.adapterSerial,
            r.uid,
            r.pid,
            r.bootloader,
            r.bootImage,
            r.bootBytes,
            r.bootCrc,
            r.userImage,
            r.userBytes,
            r.userCrc,
            r.pacing,
            r.verified ? "yes" : "no",
            r.result,
            r.stage,
            std::to_string(r.exitStatus),
            r.message};
}

std::string CsvLine(const Record& record)
{
    std::string line;
    bool first = true;
    for (const std::string& field : Fields(record)) {
        if (!first) line += ',';
        first = false;
        AppendField(line, field);
    }
    line += kLineEnd;
    return line;
}

std::vector<std::vector<std::string>> ParseCsv(std::string_view text)
{
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        text.remove_prefix(kByteOrderMark.size());
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    bool rowStarted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"') {
                field += c;
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else {
                quoted = false;
            }
            continue;
        }
        if (c == '"') {
            quoted = true;
            rowStarted = true;
        } else if (c == ',') {
            row.push_back(std::move(field));
            field.clear();
            rowStarted = true;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            if (rowStarted || !field.empty()) {
                row.push_back(std::move(field));
                rows.push_back(std::move(row));
            }
            field.clear();
            row.clear();
            rowStarted = false;
        } else {
            field += c;
            rowStarted = true;
        }
    }
    if (rowStarted || !field.empty()) {
        row.push_back(std::move(field));
        rows.push_back(std::move(row));
    }
    return rows;
}

void Append(const std::filesystem::path& file, const Record& record)
{
    std::string header(kByteOrderMark);
    for (const std::string_view name : ColumnNames()) {
        if (header.size() > kByteOrderMark.size()) header += ',';
        header += name;
    }
    header += kLineEnd;
    detail::AppendLocked(file, header, CsvLine(record));
}

ReadResult Read(const std::filesystem::path& file, const Filter& filter)
{
    ReadResult result;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(file, error);
    if (status.type() == std::filesystem::file_type::not_found) return result;
    // Only a regular file is read: a FIFO would hold the reader until some
    // writer came, a folder would read as an empty history.
    if (!error && !std::filesystem::is_regular_file(status)) {
        throw FileError(settings::OwnText(kTextNotRegular, "The history {0} is not a regular file.",
                                          {base::PathToUtf8(file)}));
    }
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        throw FileError(settings::OwnText(kTextCannotRead, "Cannot read the history {0}.",
                                          {base::PathToUtf8(file)}));
    }
    const std::string uid = Lower(filter.uid);
    const auto& names = ColumnNames();
    for (const auto& row : ParseCsv(text)) {
        if (row.size() == names.size() && row[0] == names[0]) continue;  // the column names
        auto record = FromFields(row);
        if (!record) {
            ++result.skippedRows;
            continue;
        }
        if (!uid.empty() && Lower(record->uid) != uid) continue;
        if (filter.since) {
            const auto started = ParseTime(record->started);
            if (!started || *started < *filter.since) continue;
        }
        result.records.push_back(std::move(*record));
    }
    return result;
}

}  // namespace korvane::history
