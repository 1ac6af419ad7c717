// `korvane history`: one line per recorded job, oldest first, and a closing
// line that counts them; or, with --json, the records under the file's own
// column names.
#include "cli/HistoryCommand.h"

#include <nlohmann/json.hpp>

#include <chrono>

#include "base/TextEncoding.h"
#include "cli/JobHistory.h"
#include "cli/TextIds.h"
#include "error/Error.h"
#include "history/History.h"
#include "settings/OwnText.h"

namespace korvane::cli {
namespace {

using settings::OwnText;

// A field the job never learnt shows as a dash, so the columns stay countable.
std::string OrDash(const std::string& text)
{
    return text.empty() ? std::string("-") : text;
}

std::string ImagesOf(const history::Record& record)
{
    if (!record.bootImage.empty()) {
        return OwnText(kTextHistoryImagesFull, "boot {0}, user {1}",
                       {record.bootImage, OrDash(record.userImage)});
    }
    if (record.userImage.empty()) return "-";
    return OwnText(kTextHistoryImagesUser, "user {0}", {record.userImage});
}

std::string JobLine(const history::Record& record)
{
    return OwnText(
        kTextHistoryJob, "{0}  {1}  uid {2}  {3}  {4}, stage {5}: {6}",
        {OrDash(record.started), OrDash(record.port), OrDash(record.uid), ImagesOf(record),
         OrDash(record.result), OrDash(record.stage), OrDash(record.message)});
}

// Every value as the file holds it, under the file's column names.
std::string JsonOf(const std::vector<history::Record>& records)
{
    using Json = nlohmann::ordered_json;
    Json array = Json::array();
    const auto& names = history::ColumnNames();
    for (const history::Record& record : records) {
        const std::vector<std::string> fields = history::Fields(record);
        Json object = Json::object();
        for (std::size_t i = 0; i < names.size() && i < fields.size(); ++i) {
            object[std::string(names[i])] = fields[i];
        }
        array.push_back(std::move(object));
    }
    // A name the file holds in invalid UTF-8 must not make the dump throw.
    return array.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// What was asked for and not found: this radio's jobs, or any job (since when).
std::string NothingFound(const HistoryOptions& options, const std::filesystem::path& file)
{
    if (!options.uid.empty()) {
        return OwnText(kTextHistoryNoneForRadio, "No jobs recorded for radio {0}.", {options.uid});
    }
    const std::string name = base::PathToUtf8(file);
    if (!options.since) return OwnText(kTextHistoryNone, "No jobs recorded in {0}.", {name});
    const std::chrono::system_clock::time_point since{std::chrono::seconds(*options.since)};
    return OwnText(kTextHistoryNoneSince, "No jobs recorded in {0} since {1}.",
                   {name, history::FormatLocalTime(since)});
}

void PrintLines(const Console& console, const HistoryOptions& options,
                const std::filesystem::path& file, const history::ReadResult& read)
{
    // Names come from the file: nothing in them reaches the terminal raw.
    for (const history::Record& record : read.records) {
        console.out << EscapeControls(JobLine(record)) << '\n';
    }
    const std::string count = std::to_string(read.records.size());
    const std::string skipped = std::to_string(read.skippedRows);
    if (!read.records.empty()) {
        console.out << (read.skippedRows == 0
                            ? OwnText(kTextHistoryCount, "Jobs: {0}.", {count})
                            : OwnText(kTextHistoryCountSkipped,
                                      "Jobs: {0}; rows skipped as not written by korvane: {1}.",
                                      {count, skipped}))
                    << std::endl;
        return;
    }
    console.out << EscapeControls(NothingFound(options, file)) << '\n';
    if (read.skippedRows > 0) {
        console.out << OwnText(kTextHistorySkipped, "Rows skipped as not written by korvane: {0}.",
                               {skipped})
                    << '\n';
    }
    console.out.flush();
}

}  // namespace

int RunHistory(const Console& console, const HistoryOptions& options)
{
    const std::filesystem::path file = options.historyPath.value_or(DefaultHistoryFile());
    history::ReadResult read;
    try {
        read = history::Read(file, history::Filter{options.uid, options.since});
    } catch (const korvane::Error& error) {
        PrintFailure(console, error.what(),
                     error.Hint().empty()
                         ? OwnText(kTextHistoryReadHint,
                                   "Check that the file can be read, or name another with "
                                   "--history FILE")
                         : error.Hint());
        return kExitFailed;
    }
    if (options.json) {
        console.out << JsonOf(read.records) << std::endl;
    } else {
        PrintLines(console, options, file, read);
    }
    return kExitSuccess;
}

}  // namespace korvane::cli
