// UTF-8 decoding and encoding, UTF-16 and the platform's wide text.
#include "base/TextEncoding.h"

#include <cstdint>

namespace korvane::base {
namespace {

constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateLast = 0xDFFF;
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr unsigned kSurrogateBits = 10;
constexpr char32_t kSurrogateMask = 0x3FF;
constexpr unsigned kContinuationBits = 6;
constexpr std::uint8_t kContinuationMask = 0xC0;
constexpr std::uint8_t kContinuationTag = 0x80;
constexpr std::uint8_t kPayloadMask = 0x3F;

// Length of the UTF-8 sequence that starts with `lead`, 0 for a byte that
// cannot start one (continuations, C0/C1 which only start overlong forms, F5..FF).
std::size_t SequenceLength(std::uint8_t lead)
{
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

bool IsSurrogate(char32_t value)
{
    return value >= kSurrogateFirst && value <= kSurrogateLast;
}

// UTF-16 units to UTF-8, whatever type holds them.
template <typename Unit>
std::string Utf16UnitsToUtf8(std::basic_string_view<Unit> units)
{
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto unit = static_cast<char32_t>(units[i]);
        if (!IsSurrogate(unit)) {
            AppendUtf8(out, unit);
            continue;
        }
        const bool isHigh = unit < kLowSurrogateFirst;
        if (isHigh && i + 1 < units.size()) {
            const auto low = static_cast<char32_t>(units[i + 1]);
            if (low >= kLowSurrogateFirst && low <= kSurrogateLast) {
                AppendUtf8(out, kFirstSupplementary + ((unit & kSurrogateMask) << kSurrogateBits) +
                                    (low & kSurrogateMask));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, kReplacementCharacter);
    }
    return out;
}

void AppendWide(std::wstring& out, char32_t codePoint)
{
    if constexpr (sizeof(wchar_t) == 2) {
        if (codePoint >= kFirstSupplementary) {
            const char32_t offset = codePoint - kFirstSupplementary;
            out.push_back(static_cast<wchar_t>(kSurrogateFirst + (offset >> kSurrogateBits)));
            out.push_back(static_cast<wchar_t>(kLowSurrogateFirst + (offset & kSurrogateMask)));
            return;
        }
    }
    out.push_back(static_cast<wchar_t>(codePoint));
}

}  // namespace

std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t& codePoint)
{
    if (pos >= text.size()) return 0;
    const auto lead = static_cast<std::uint8_t>(text[pos]);
    const std::size_t length = SequenceLength(lead);
    if (length == 0 || length > text.size() - pos) return 0;
    if (length == 1) {
        codePoint = lead;
        return 1;
    }
    static constexpr std::uint8_t kLeadMasks[] = {0, 0, 0x1F, 0x0F, 0x07};
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    char32_t value = lead & kLeadMasks[length];
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<std::uint8_t>(text[pos + i]);
        if ((next & kContinuationMask) != kContinuationTag) return 0;
        value = (value << kContinuationBits) | (next & kPayloadMask);
    }
    if (value < kSmallest[length] || value > kMaxCodePoint || IsSurrogate(value)) return 0;
    codePoint = value;
    return length;
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & kPayloadMask));
    } else if (cp < kFirstSupplementary) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & kPayloadMask));
        out += static_cast<char>(0x80 | (cp & kPayloadMask));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & kPayloadMask));
        out += static_cast<char>(0x80 | ((cp >> 6) & kPayloadMask));
        out += static_cast<char>(0x80 | (cp & kPayloadMask));
    }
}

bool IsValidUtf8(std::string_view text)
{
    char32_t ignored = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = DecodeUtf8(text, pos, ignored);
        if (length == 0) return false;
        pos += length;
    }
    return true;
}

std::string Utf16ToUtf8(std::u16string_view units)
{
    return Utf16UnitsToUtf8(units);
}

std::wstring Utf8ToWide(std::string_view utf8)
{
    std::wstring out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t codePoint = 0;
        const std::size_t length = DecodeUtf8(utf8, pos, codePoint);
        AppendWide(out, length == 0 ? kReplacementCharacter : codePoint);
        pos += length == 0 ? 1 : length;
    }
    return out;
}

std::string WideToUtf8(std::wstring_view wide)
{
    if constexpr (sizeof(wchar_t) == 2) {
        return Utf16UnitsToUtf8(wide);
    } else {
        std::string out;
        out.reserve(wide.size());
        for (const wchar_t unit : wide) {
            const auto value = static_cast<char32_t>(unit);
            AppendUtf8(out,
                       value > kMaxCodePoint || IsSurrogate(value) ? kReplacementCharacter : value);
        }
        return out;
    }
}

}  // namespace korvane::base
