// Reads korvane's --json output in tests: the whole text must be one JSON value.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace korvane::testing {

inline std::optional<nlohmann::json> ParseJson(const std::string& text)
{
    nlohmann::json json = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded()) return std::nullopt;
    return json;
}

}  // namespace korvane::testing
