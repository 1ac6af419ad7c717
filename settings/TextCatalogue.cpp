// The text catalogue Txt.ini: decoding its encoding, finding a key in a section,
// and cutting the text to the length the program's captions allow.
#include "settings/TextCatalogue.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include "base/Gb18030.h"
#include "base/TextEncoding.h"

namespace korvane::settings {

namespace {
constexpr std::int32_t kBaseChinese = 0;
constexpr std::int32_t kBaseEnglish = 100000;
constexpr std::int32_t kBaseThird = 800000;

// A text holds at most this many UTF-16 units (260 with its terminator).
constexpr std::size_t kMaxTextUnits = 259;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr int kBitsPerByte = 8;

constexpr char kCommentMark = ';';
constexpr char kSectionOpen = '[';
constexpr char kSectionClose = ']';
constexpr char kAssign = '=';
constexpr char kQuote = '"';

// UTF-16 bytes (after their BOM) in the given byte order to UTF-8; an odd last
// byte is dropped.
std::string Utf16BytesToUtf8(std::string_view bytes, bool bigEndian)
{
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto first = static_cast<unsigned char>(bytes[2 * i]);
        const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        units[i] = static_cast<char16_t>(bigEndian ? (first << kBitsPerByte) | second
                                                   : (second << kBitsPerByte) | first);
    }
    return base::Utf16ToUtf8(units);
}

// How well text without a BOM reads as UTF-8: its well-formed sequences of more
// than one byte (the non-ASCII characters) and the bytes that start none.
struct Utf8Fit {
    std::size_t wideCharacters = 0;
    std::size_t strayBytes = 0;
};

Utf8Fit MeasureUtf8Fit(std::string_view text)
{
    Utf8Fit fit;
    char32_t ignored = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = base::DecodeUtf8(text, pos, ignored);
        if (length == 0) ++fit.strayBytes;
        if (length > 1) ++fit.wideCharacters;
        pos += length == 0 ? 1 : length;
    }
    return fit;
}

// UTF-8 with every stray byte replaced by U+FFFD.
std::string RepairUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    char32_t ignored = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = base::DecodeUtf8(text, pos, ignored);
        if (length == 0) {
            base::AppendUtf8(out, base::kReplacementCharacter);
            ++pos;
        } else {
            out.append(text.substr(pos, length));
            pos += length;
        }
    }
    return out;
}

// Text without a BOM that is not strictly UTF-8 is either UTF-8 with some bytes
// damaged (a Latin-1 character pasted in, an edit cut off) or a file saved in
// the legacy Chinese code page. Read as UTF-8, GB18030 text is mostly stray
// bytes: a two-byte character forms a valid UTF-8 sequence only by chance, and
// the others give one or two stray bytes each. Our own catalogue saved in
// GB18030 reads as about four stray bytes to every accidental UTF-8 character
// (331 to 78 when this was measured). A damaged UTF-8 catalogue is the reverse: hundreds of
// Chinese characters and a handful of stray bytes. One stray byte to four
// characters lies a factor of sixteen from the legacy file and leaves room for
// a good deal of damage, so only a file with more stray bytes than that is
// read as GB18030.
constexpr std::size_t kCharactersPerStrayByte = 4;

bool LooksLikeDamagedUtf8(const Utf8Fit& fit)
{
    return fit.strayBytes * kCharactersPerStrayByte <= fit.wideCharacters;
}

// The catalogue's contents as UTF-8, whichever encoding the file uses: a BOM
// decides first, then whether the bytes read as UTF-8.
std::string DecodeCatalogue(std::string_view bytes)
{
    if (bytes.starts_with(kUtf16LeBom)) {
        return Utf16BytesToUtf8(bytes.substr(kUtf16LeBom.size()), false);
    }
    if (bytes.starts_with(kUtf16BeBom)) {
        return Utf16BytesToUtf8(bytes.substr(kUtf16BeBom.size()), true);
    }
    if (bytes.starts_with(kUtf8Bom)) {
        return RepairUtf8(bytes.substr(kUtf8Bom.size()));
    }
    const Utf8Fit fit = MeasureUtf8Fit(bytes);
    if (fit.strayBytes == 0) return std::string(bytes);
    if (LooksLikeDamagedUtf8(fit)) return RepairUtf8(bytes);
    return base::detail::Gb18030ToUtf8(bytes);
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
        std::size_t length = base::DecodeUtf8(text, pos, cp);
        if (length == 0) length = 1;  // cannot happen after decoding; stay safe
        const std::size_t needed = cp >= kFirstSupplementary ? 2 : 1;
        if (units + needed > maxUnits) break;
        units += needed;
        pos += length;
    }
    return std::string(text.substr(0, pos));
}

// Calls visit(key, value) for each entry of every section named `section`, in
// the file's order, until it returns false.
template <typename Visit>
void ForEachEntry(std::string_view contents, std::string_view section, Visit visit)
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
        if (!visit(Trim(line.substr(0, assign)), Unquote(Trim(line.substr(assign + 1))))) return;
    }
}

// The first value of `key` in any section named `section`, if there is one.
std::optional<std::string_view> FindValue(std::string_view contents, std::string_view section,
                                          std::string_view key)
{
    std::optional<std::string_view> found;
    ForEachEntry(contents, section, [&](std::string_view name, std::string_view value) {
        if (EqualsIgnoringCase(name, key)) found = value;
        return !found;
    });
    return found;
}

std::string AsciiLowerCopy(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) c = AsciiLower(c);
    return lower;
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

CatalogueSection::CatalogueSection(const std::filesystem::path& path, std::string_view section)
{
    const std::optional<std::string> bytes = ReadWholeFile(path);
    if (!bytes) return;
    const std::string contents = DecodeCatalogue(*bytes);
    ForEachEntry(contents, Trim(section), [this](std::string_view key, std::string_view value) {
        // The first entry of a key wins, as in a lookup that reads the file.
        m_values.try_emplace(AsciiLowerCopy(key), value);
        return true;
    });
}

std::string_view CatalogueSection::Find(std::string_view key) const
{
    const auto found = m_values.find(AsciiLowerCopy(Trim(key)));
    return found == m_values.end() ? std::string_view() : std::string_view(found->second);
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
