// printf-style formatting of a catalogue text with its one integer argument.
// The text comes from a file the user may edit, so it is parsed here and only a
// conversion known to take one int ever reaches snprintf.
#include "base/SafeFormat.h"

#include <cstdio>

namespace korvane::base {

namespace {
constexpr char kPercent = '%';
constexpr std::string_view kFlags = "-+ #0";
constexpr std::string_view kSignedConversions = "di";
constexpr std::string_view kUnsignedConversions = "uxX";
// Wider fields than this are not a caption anyone meant; they are shown as written.
constexpr int kMaxFieldWidth = 256;
constexpr int kDecimalBase = 10;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads a run of digits at `pos`; false when the number exceeds kMaxFieldWidth.
bool ReadNumber(std::string_view text, std::size_t& pos)
{
    int number = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        number = number * kDecimalBase + (text[pos] - '0');
        if (number > kMaxFieldWidth) return false;
        ++pos;
    }
    return true;
}

// Length of an integer conversion "%[flags][width][.precision](d|i|u|x|X)" at
// the start of `text`, or 0 when the text there is anything else.
std::size_t IntegerConversionLength(std::string_view text)
{
    std::size_t pos = 1;  // past '%'
    while (pos < text.size() && kFlags.find(text[pos]) != std::string_view::npos) ++pos;
    if (!ReadNumber(text, pos)) return 0;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        if (!ReadNumber(text, pos)) return 0;
    }
    if (pos >= text.size()) return 0;
    const char conversion = text[pos];
    const bool isInteger = kSignedConversions.find(conversion) != std::string_view::npos ||
                           kUnsignedConversions.find(conversion) != std::string_view::npos;
    return isInteger ? pos + 1 : 0;
}

// Formats `value` with one validated conversion such as "%-5d" or "%08X".
std::string FormatOne(const std::string& conversion, std::int32_t value)
{
    const bool isSigned = kSignedConversions.find(conversion.back()) != std::string_view::npos;
    const auto format = [&](char* out, std::size_t size) {
        return isSigned ? std::snprintf(out, size, conversion.c_str(), static_cast<int>(value))
                        : std::snprintf(out, size, conversion.c_str(),
                                        static_cast<unsigned>(static_cast<std::uint32_t>(value)));
    };
    const int length = format(nullptr, 0);
    if (length < 0) return conversion;
    std::string out(static_cast<std::size_t>(length), '\0');
    format(out.data(), out.size() + 1);
    return out;
}
}  // namespace

std::string SafeFormat(std::string_view format, std::int32_t value)
{
    std::string out;
    out.reserve(format.size());
    bool valueUsed = false;
    std::size_t pos = 0;
    while (pos < format.size()) {
        const std::size_t percent = format.find(kPercent, pos);
        if (percent == std::string_view::npos) {
            out.append(format.substr(pos));
            break;
        }
        out.append(format.substr(pos, percent - pos));
        const std::string_view rest = format.substr(percent);
        if (rest.size() > 1 && rest[1] == kPercent) {
            out += kPercent;
            pos = percent + 2;
            continue;
        }
        const std::size_t length = valueUsed ? 0 : IntegerConversionLength(rest);
        if (length == 0) {
            // Not a conversion this text may use: the percent sign stays as
            // written, and what follows it is copied as ordinary text.
            out += kPercent;
            pos = percent + 1;
            continue;
        }
        out += FormatOne(std::string(rest.substr(0, length)), value);
        valueUsed = true;
        pos = percent + length;
    }
    return out;
}

}  // namespace korvane::base
