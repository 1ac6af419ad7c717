// JSON string quoting and the flat-object writer for the flash result.
#include "cli/Json.h"

#include <cmath>
#include <cstdio>

namespace korvane::cli {
namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;

}  // namespace

std::string JsonQuote(std::string_view text)
{
    std::string quoted = "\"";
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        switch (ch) {
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\r':
                quoted += "\\r";
                break;
            case '\t':
                quoted += "\\t";
                break;
            default:
                if (byte < kFirstPrintable || byte == kDelete) {
                    char escape[8];  // "\u00XX" and its terminator
                    std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(byte));
                    quoted += escape;
                } else {
                    quoted += ch;
                }
        }
    }
    return quoted + "\"";
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view value)
{
    return AddRaw(key, JsonQuote(value));
}

JsonObject& JsonObject::AddInteger(std::string_view key, std::int64_t value)
{
    return AddRaw(key, std::to_string(value));
}

JsonObject& JsonObject::AddNumber(std::string_view key, double value)
{
    if (!std::isfinite(value)) {
        return AddNull(key);  // JSON has no NaN or infinity
    }
    char number[32];
    std::snprintf(number, sizeof number, "%.3f", value);
    return AddRaw(key, number);
}

JsonObject& JsonObject::AddNull(std::string_view key)
{
    return AddRaw(key, "null");
}

JsonObject& JsonObject::AddRaw(std::string_view key, const std::string& literal)
{
    if (!m_members.empty()) {
        m_members += ",";
    }
    m_members += JsonQuote(key) + ":" + literal;
    return *this;
}

}  // namespace korvane::cli
