// A strict reader for one flat JSON object (string, number and null values),
// enough to check korvane's --json output without a JSON library.
#pragma once

#include <cctype>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::testing {

struct JsonValue {
    enum class Kind { String, Number, Null } kind = Kind::Null;
    std::string text;  // the string's decoded value, or the literal as written
    double number = 0.0;
};

using FlatJson = std::map<std::string, JsonValue>;

namespace detail {

class FlatJsonReader {
public:
    explicit FlatJsonReader(std::string_view text) : m_text(text) {}

    std::optional<FlatJson> Object()
    {
        FlatJson object;
        if (!Take('{')) return std::nullopt;
        if (Take('}')) return End(object);
        do {
            std::optional<std::string> key = String();
            if (!key || !Take(':') || object.contains(*key)) return std::nullopt;
            std::optional<JsonValue> value = Value();
            if (!value) return std::nullopt;
            object.emplace(std::move(*key), std::move(*value));
        } while (Take(','));
        if (!Take('}')) return std::nullopt;
        return End(object);
    }

private:
    std::optional<FlatJson> End(FlatJson& object)
    {
        SkipSpace();
        return m_pos == m_text.size() ? std::optional<FlatJson>(std::move(object)) : std::nullopt;
    }

    void SkipSpace()
    {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
    }

    bool Take(char expected)
    {
        SkipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == expected) {
            ++m_pos;
            return true;
        }
        return false;
    }

    bool TakeWord(std::string_view word)
    {
        if (m_text.substr(m_pos, word.size()) != word) return false;
        m_pos += word.size();
        return true;
    }

    std::optional<std::string> String()
    {
        if (!Take('"')) return std::nullopt;
        std::string out;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_text.size()) return std::nullopt;
            const char e = m_text[m_pos++];
            switch (e) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    if (m_pos + 4 > m_text.size()) return std::nullopt;
                    const long code =
                        std::strtol(std::string(m_text.substr(m_pos, 4)).c_str(), nullptr, 16);
                    if (code >= 0x80)
                        return std::nullopt;  // korvane escapes only control characters
                    out += static_cast<char>(code);
                    m_pos += 4;
                    break;
                }
                default:
                    return std::nullopt;
            }
        }
        return std::nullopt;
    }

    std::optional<JsonValue> Value()
    {
        SkipSpace();
        JsonValue value;
        if (m_pos < m_text.size() && m_text[m_pos] == '"') {
            std::optional<std::string> text = String();
            if (!text) return std::nullopt;
            value.kind = JsonValue::Kind::String;
            value.text = std::move(*text);
            return value;
        }
        if (TakeWord("null")) return value;
        const std::string rest(m_text.substr(m_pos));
        char* end = nullptr;
        value.number = std::strtod(rest.c_str(), &end);
        if (end == rest.c_str()) return std::nullopt;
        value.kind = JsonValue::Kind::Number;
        value.text = rest.substr(0, static_cast<std::size_t>(end - rest.c_str()));
        m_pos += value.text.size();
        return value;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

}  // namespace detail

// The object, or nothing when the text is not exactly one flat JSON object.
inline std::optional<FlatJson> ParseFlatJson(std::string_view text)
{
    return detail::FlatJsonReader(text).Object();
}

}  // namespace korvane::testing
