// Parsing of the serial control's settings text "baud,parity,data,stop".
#include "serial/LineSettings.h"

#include <charconv>
#include <string>
#include <vector>

#include "serial/SerialError.h"

namespace korvane::serial {

namespace {

constexpr std::size_t kFieldCount = 4;
constexpr std::uint32_t kMaxBaud = 4'000'000;
constexpr unsigned kMinDataBits = 5;
constexpr unsigned kMaxDataBits = 8;

[[noreturn]] void Refuse(std::string_view text, const std::string& reason)
{
    throw SerialError(SerialErrorKind::BadSettings,
                      "The line settings \"" + std::string(text) + "\" are not valid: " + reason +
                          ". Expected the form baud,parity,data bits,stop bits, for example "
                          "\"115200,E,8,1\".");
}

std::vector<std::string_view> SplitFields(std::string_view text)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
}

// A plain decimal number: digits only, no sign, no spaces, no trailing text.
bool ParseNumber(std::string_view field, std::uint32_t& value)
{
    if (field.empty()) return false;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    return error == std::errc() && end == field.data() + field.size();
}

bool ParseParity(std::string_view field, Parity& parity)
{
    if (field.size() != 1) return false;
    switch (field[0]) {
        case 'N':
        case 'n':
            parity = Parity::None;
            return true;
        case 'E':
        case 'e':
            parity = Parity::Even;
            return true;
        case 'O':
        case 'o':
            parity = Parity::Odd;
            return true;
        case 'M':
        case 'm':
            parity = Parity::Mark;
            return true;
        case 'S':
        case 's':
            parity = Parity::Space;
            return true;
        default:
            return false;
    }
}

}  // namespace

LineSettings ParseLineSettings(std::string_view text)
{
    const std::vector<std::string_view> fields = SplitFields(text);
    if (fields.size() != kFieldCount) {
        Refuse(text, "it has " + std::to_string(fields.size()) + " comma-separated fields, not " +
                         std::to_string(kFieldCount));
    }

    LineSettings settings;
    std::uint32_t number = 0;
    if (!ParseNumber(fields[0], number) || number == 0 || number > kMaxBaud)
        Refuse(text, "the baud rate \"" + std::string(fields[0]) +
                         "\" is not a positive number up to " + std::to_string(kMaxBaud));
    settings.baud = number;

    if (!ParseParity(fields[1], settings.parity))
        Refuse(text, "the parity \"" + std::string(fields[1]) + "\" is not one of N, E, O, M, S");

    if (!ParseNumber(fields[2], number) || number < kMinDataBits || number > kMaxDataBits)
        Refuse(text, "the data bits \"" + std::string(fields[2]) + "\" are not 5, 6, 7 or 8");
    settings.dataBits = static_cast<std::uint8_t>(number);

    if (fields[3] != "1" && fields[3] != "2")
        Refuse(text, "the stop bits \"" + std::string(fields[3]) + "\" are not 1 or 2");
    settings.stopBits = fields[3] == "1" ? 1 : 2;
    return settings;
}

}  // namespace korvane::serial
