// The text catalogue Txt.ini: decoding its encoding, finding a key in a section,
// and cutting the text to the length the program's captions allow.
#include "settings/TextCatalogue.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include "settings/Gb18030.h"

namespace korvane::settings {

namespace {
constexpr std::int32_t kBaseChinese = 0;
constexpr std::int32_t kBaseEnglish = 100000;
constexpr std::int32_t kBaseThird = 800000;
constexpr std::uint8_t kLanguageChinese = 0;
constexpr std::uint8_t kLanguageEnglish = 1;

// A text holds at most this many UTF-16 units (260 with its terminator).
constexpr std::size_t kMaxTextUnits = 259;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateLast = 0xDFFF;
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr int kSurrogateShift = 10;
constexpr char32_t kSurrogateMask = 0x3FF;

constexpr char kCommentMark = ';';
constexpr char kSectionOpen = '[';
constexpr char kSectionClose = ']';
constexpr char kAssign = '=';
constexpr char kQuote = '"';

// Length of the UTF-8 sequence that starts with `lead`, 0 for a byte that
// cannot start one.
std::size_t SequenceLength(unsigned char lead)
{
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// Decodes one well-formed UTF-8 sequence at `pos`: no overlong forms, no
// surrogates, nothing above U+10FFFF. Returns its length, 0 when malformed.
std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t& codePoint)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    const std::size_t length = SequenceLength(lead);
    if (length == 0 || pos + length > text.size()) return 0;
    if (length == 1) {
        codePoint = lead;
        return 1;
    }
    static constexpr unsigned char kLeadMasks[] = {0, 0, 0x1F, 0x0F, 0x07};
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    char32_t value = lead & kLeadMasks[length];
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < kSmallest[length] || value > kMaxCodePoint) return 0;
    if (value >= kSurrogateFirst && value <= kSurrogateLast) return 0;
    codePoint = value;
    return length;
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

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < kFirstSupplementary) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16LE (after its BOM) to UTF-8; unpaired surrogates become U+FFFD and an
// odd last byte is dropped.
std::string Utf16LeToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    auto unitAt = [&](std::size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    };
    const std::size_t units = bytes.size() / 2;
    for (std::size_t u = 0; u < units; ++u) {
        const char32_t unit = unitAt(2 * u);
        if (unit < kSurrogateFirst || unit > kSurrogateLast) {
            AppendUtf8(out, unit);
            continue;
        }
        const bool isHigh = unit < kLowSurrogateFirst;
        if (isHigh && u + 1 < units) {
            const char32_t low = unitAt(2 * (u + 1));
            if (low >= kLowSurrogateFirst && low <= kSurrogateLast) {
                AppendUtf8(out, kFirstSupplementary + ((unit & kSurrogateMask) << kSurrogateShift) +
                                    (low & kSurrogateMask));
                ++u;
                continue;
            }
        }
        out += kReplacement;
    }
    return out;
}

// The catalogue's contents as UTF-8, whichever encoding the file uses.
std::string DecodeCatalogue(std::string_view bytes)
{
    if (bytes.starts_with(kUtf16LeBom)) return Utf16LeToUtf8(bytes.substr(kUtf16LeBom.size()));
    if (bytes.starts_with(kUtf8Bom)) bytes.remove_prefix(kUtf8Bom.size());
    // Without a BOM, text that is not valid UTF-8 comes from a Chinese Windows
    // editor saving in the legacy code page.
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return detail::Gb18030ToUtf8(bytes);
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) return std::nullopt;
    std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) return std::nullopt;
    return bytes;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

std::string_view Unquote(std::string_view value)
{
    if (value.size() >= 2 && value.front() == kQuote && value.back() == kQuote) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// The longest prefix of `text` (valid UTF-8) that fits in `maxUnits` UTF-16
// units; a character outside the basic plane counts two and is never split.
std::string CutToUtf16Units(std::string_view text, std::size_t maxUnits)
{
    std::size_t units = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        char32_t cp = 0;
        std::size_t length = DecodeUtf8(text, pos, cp);
        if (length == 0) length = 1;  // cannot happen after decoding; stay safe
        const std::size_t needed = cp >= kFirstSupplementary ? 2 : 1;
        if (units + needed > maxUnits) break;
        units += needed;
        pos += length;
    }
    return std::string(text.substr(0, pos));
}

// The first value of `key` in any section named `section`, if there is one.
std::optional<std::string_view> FindValue(std::string_view contents, std::string_view section,
                                          std::string_view key)
{
    bool inSection = false;
    std::size_t start = 0;
    while (start <= contents.size()) {
        std::size_t end = contents.find('\n', start);
        if (end == std::string_view::npos) end = contents.size();
        const std::string_view line = Trim(contents.substr(start, end - start));
        start = end + 1;

        if (line.empty() || line.front() == kCommentMark) continue;
        if (line.front() == kSectionOpen) {
            const std::size_t close = line.find(kSectionClose);
            const std::string_view name =
                close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1);
            inSection = EqualsIgnoringCase(Trim(name), section);
            continue;
        }
        if (!inSection) continue;
        const std::size_t assign = line.find(kAssign);
        if (assign == std::string_view::npos) continue;
        if (EqualsIgnoringCase(Trim(line.substr(0, assign)), key)) {
            return Unquote(Trim(line.substr(assign + 1)));
        }
    }
    return std::nullopt;
}
}  // namespace

std::string CIniFile::GetString(std::string_view section, std::string_view key) const
{
    return CutToUtf16Units(GetWholeString(section, key), kMaxTextUnits);
}

std::string CIniFile::GetWholeString(std::string_view section, std::string_view key) const
{
    const std::optional<std::string> bytes = ReadWholeFile(m_path);
    if (!bytes) return {};
    const std::string contents = DecodeCatalogue(*bytes);
    const std::optional<std::string_view> value = FindValue(contents, Trim(section), Trim(key));
    if (!value) return {};
    return std::string(*value);
}

std::int32_t LanguageBase(std::uint8_t language)
{
    if (language == kLanguageChinese) return kBaseChinese;
    if (language == kLanguageEnglish) return kBaseEnglish;
    return kBaseThird;
}

std::string TextKey(std::int32_t languageBase, std::int32_t id)
{
    // Summed in 64 bits so that no id can overflow the key.
    const long long number = static_cast<long long>(languageBase) + id;
    const int length = std::snprintf(nullptr, 0, "%06lld", number);
    std::string key(static_cast<std::size_t>(length), '\0');
    std::snprintf(key.data(), key.size() + 1, "%06lld", number);
    return key;
}

TextCatalogue::TextCatalogue(std::filesystem::path txtPath, std::uint8_t language)
    : m_iniFile(std::move(txtPath)), m_nLanguageBase(LanguageBase(language))
{
}

std::string TextCatalogue::GetText(std::string_view section, std::int32_t id) const
{
    return m_iniFile.GetString(section, TextKey(m_nLanguageBase, id));
}

std::string TextCatalogue::GetWholeText(std::string_view section, std::int32_t id) const
{
    return m_iniFile.GetWholeString(section, TextKey(m_nLanguageBase, id));
}

}  // namespace korvane::settings
