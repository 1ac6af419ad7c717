// A small writer for one flat JSON object, the machine-readable result of a job.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvane::cli {

// The text as a JSON string literal, quotes included. UTF-8 passes through;
// quotes, backslashes and control characters are escaped.
std::string JsonQuote(std::string_view text);

// Members in the order they are added; keys are the caller's own ASCII names.
class JsonObject {
public:
    JsonObject& Add(std::string_view key, std::string_view value);
    JsonObject& AddInteger(std::string_view key, std::int64_t value);
    JsonObject& AddNumber(std::string_view key, double value);
    JsonObject& AddNull(std::string_view key);
    // "{...}" on one line.
    std::string Text() const { return "{" + m_members + "}"; }

private:
    JsonObject& AddRaw(std::string_view key, const std::string& literal);
    std::string m_members;
};

}  // namespace korvane::cli
