// The --json output with any texts in it (file names, messages, warnings from
// the catalogue, port names): what the writer prints, a JSON reader reads back
// as one object holding exactly those texts (malformed UTF-8 replaced).
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/TextEncoding.h"
#include "cli/FlashReport.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// What the writer makes of a text: the text itself when it is UTF-8, else the
// text with each malformed byte replaced.
void CheckText(const nlohmann::json& value, const std::string& sent)
{
    KORVANE_FUZZ_CHECK(value.is_string());
    const std::string read = value.get<std::string>();
    if (korvane::base::IsValidUtf8(sent)) {
        KORVANE_FUZZ_CHECK(read == sent);
    } else {
        KORVANE_FUZZ_CHECK(korvane::base::IsValidUtf8(read));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace korvane::cli;
    std::vector<std::string> texts = korvane::fuzz::Split(std::span(data, size), '\x01');
    texts.resize(std::max<std::size_t>(texts.size(), 6));
    FlashOutcome outcome;
    outcome.port = texts[0];
    outcome.device = texts[1];
    outcome.record.status = texts[2];
    outcome.error = texts[3];
    outcome.record.warning = texts[4];
    outcome.result = texts[5];
    outcome.record.stage = static_cast<korvane::firmware::JobStage>(
        size % (static_cast<std::size_t>(korvane::firmware::JobStage::Done) + 1));
    outcome.counter = static_cast<std::int32_t>(size);
    outcome.seconds = static_cast<double>(size) / 7.0;

    const std::string one = FormatFlashJson(outcome);
    KORVANE_FUZZ_CHECK(one.find('\n') == std::string::npos);
    const auto parsed = nlohmann::json::parse(one);  // throws, and so fails, on bad JSON
    KORVANE_FUZZ_CHECK(parsed.is_object());
    CheckText(parsed.at("result"), outcome.result);
    CheckText(parsed.at("stage"), outcome.Stage());
    CheckText(parsed.at("status"), outcome.record.status);
    CheckText(parsed.at("error"), outcome.error);
    CheckText(parsed.at("warning"), outcome.record.warning);
    KORVANE_FUZZ_CHECK(parsed.at("counter").get<std::int64_t>() == outcome.counter);

    FlashOutcome second = outcome;
    second.port = texts[1];
    second.device = texts[0];
    const std::string several = FormatFlashJson({outcome, second}, 1.5, outcome.counter);
    const auto all = nlohmann::json::parse(several);
    KORVANE_FUZZ_CHECK(all.at("radios").is_array() && all.at("radios").size() == 2);
    CheckText(all.at("radios").at(0).at("port"), outcome.port);
    CheckText(all.at("radios").at(1).at("device"), second.device);
    CheckText(all.at("radios").at(1).at("error"), second.error);
    return 0;
}
