// UTF-8 decoding into the platform's wide text, and path conversions.
#include "maintenance/TextEncoding.h"

#include <cstdint>

namespace korvane::maintenance {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kSurrogateLast = 0xDFFF;
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr char32_t kHighSurrogateBase = 0xD800;
constexpr char32_t kLowSurrogateBase = 0xDC00;
constexpr unsigned kSurrogateBits = 10;
constexpr char32_t kSurrogateMask = 0x3FF;
constexpr unsigned kContinuationBits = 6;
constexpr std::uint8_t kContinuationMask = 0xC0;
constexpr std::uint8_t kContinuationTag = 0x80;

struct LeadByte {
    std::uint8_t mask;  // bits that identify the lead byte's kind
    std::uint8_t tag;   // their value
    int continuations;  // bytes that follow
    char32_t smallest;  // smallest code point this length may encode (no overlongs)
};

constexpr LeadByte kLeadBytes[] = {
    {0xE0, 0xC0, 1, 0x80},
    {0xF0, 0xE0, 2, 0x800},
    {0xF8, 0xF0, 3, 0x10000},
};

// Decodes one code point at `pos`, advancing it; malformed input yields
// U+FFFD and skips one byte so decoding resumes at the next one.
char32_t DecodeOne(std::string_view text, std::size_t& pos)
{
    const auto lead = static_cast<std::uint8_t>(text[pos]);
    if (lead < kContinuationTag) {
        ++pos;
        return lead;
    }
    for (const LeadByte& kind : kLeadBytes) {
        if ((lead & kind.mask) != kind.tag) {
            continue;
        }
        if (pos + static_cast<std::size_t>(kind.continuations) >= text.size()) {
            break;  // truncated sequence
        }
        char32_t value = lead & static_cast<std::uint8_t>(~kind.mask);
        for (int i = 1; i <= kind.continuations; ++i) {
            const auto next = static_cast<std::uint8_t>(text[pos + static_cast<std::size_t>(i)]);
            if ((next & kContinuationMask) != kContinuationTag) {
                ++pos;
                return kReplacement;
            }
            value = (value << kContinuationBits) |
                    (next & static_cast<std::uint8_t>(~kContinuationMask));
        }
        if (value < kind.smallest || value > kMaxCodePoint ||
            (value >= kSurrogateFirst && value <= kSurrogateLast)) {
            break;
        }
        pos += static_cast<std::size_t>(kind.continuations) + 1;
        return value;
    }
    ++pos;
    return kReplacement;
}

void AppendWide(std::wstring& out, char32_t codePoint)
{
    if constexpr (sizeof(wchar_t) == 2) {
        if (codePoint >= kFirstSupplementary) {
            const char32_t offset = codePoint - kFirstSupplementary;
            out.push_back(static_cast<wchar_t>(kHighSurrogateBase + (offset >> kSurrogateBits)));
            out.push_back(static_cast<wchar_t>(kLowSurrogateBase + (offset & kSurrogateMask)));
            return;
        }
    }
    out.push_back(static_cast<wchar_t>(codePoint));
}

}  // namespace

std::wstring Utf8ToWide(std::string_view utf8)
{
    std::wstring out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        AppendWide(out, DecodeOne(utf8, pos));
    }
    return out;
}

std::string PathToUtf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

std::filesystem::path Utf8ToPath(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace korvane::maintenance
