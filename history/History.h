// The history of radio jobs: one CSV line per job, appended to a file that
// several programs may share, and read back filtered ("what happened to this
// radio"). The file is UTF-8 with a byte-order mark, so a spreadsheet on a
// Chinese Windows opens it as UTF-8 rather than in the ANSI code page.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::history {

// What one radio job leaves in the history. Text fields are UTF-8; a field the
// job never learnt (no chip answered, no boot image) stays empty.
struct Record {
    std::string started;  // ISO 8601 local time with its offset, see FormatLocalTime
    double seconds = 0;
    std::string port;
    std::string location;
    std::string adapterSerial;
    std::string uid;
    std::string pid;
    std::string bootloader;
    std::string bootImage;
    std::string bootBytes;
    std::string bootCrc;
    std::string userImage;
    std::string userBytes;
    std::string userCrc;
    std::string pacing;
    bool verified = false;
    std::string result;
    std::string stage;
    int exitStatus = 0;
    std::string message;
};

// The file's first row: the column names, in the order of Record's fields.
const std::vector<std::string_view>& ColumnNames();

// `2026-12-08T17:21:24+08:00`: the local time of `when` with the offset from UTC
// it was taken at, to the second.
std::string FormatLocalTime(std::chrono::system_clock::time_point when);

// Seconds since the epoch of a time as FormatLocalTime writes it, or of a date
// `YYYY-MM-DD` (its local midnight); nothing for anything else.
std::optional<std::int64_t> ParseTime(std::string_view text);

// The record's fields as the file holds them, in the order of ColumnNames().
std::vector<std::string> Fields(const Record& record);

// One record as one CSV line (RFC 4180 quoting, CRLF at the end).
std::string CsvLine(const Record& record);

// Splits CSV text into rows of fields; a byte-order mark at the start is dropped,
// quoted fields may hold commas, quotes and line breaks.
std::vector<std::vector<std::string>> ParseCsv(std::string_view text);

// Appends `record` as one line. The line reaches the file whole or not at all
// with respect to other appenders, in this and other processes; a new file gets
// the byte-order mark and the column names first. Throws korvane::FileError.
void Append(const std::filesystem::path& file, const Record& record);

struct Filter {
    std::string uid;                    // empty: every radio; else compared ignoring case
    std::optional<std::int64_t> since;  // seconds since the epoch
};

struct ReadResult {
    std::vector<Record> records;
    std::size_t skippedRows = 0;  // rows that are not records of ours (edited by hand, cut)
};

// The records of `file` that pass `filter`, oldest first. A missing file is an
// empty history. Throws korvane::FileError when the file cannot be read.
ReadResult Read(const std::filesystem::path& file, const Filter& filter);

namespace detail {
// Appends `bytes` in one write under an exclusive lock; `header` goes first when
// the file is empty. One implementation per platform.
void AppendLocked(const std::filesystem::path& file, std::string_view header,
                  std::string_view bytes);

// The local broken-down time of `seconds` since the epoch, and its offset from
// UTC in seconds.
struct LocalTime {
    int year, month, day, hour, minute, second;
    std::int64_t offsetSeconds;
};
LocalTime ToLocalTime(std::int64_t seconds);
}  // namespace detail

}  // namespace korvane::history
