// The program's one set of text conversions: UTF-8 decoding and encoding, UTF-16
// and the platform's wide text, and paths as UTF-8. Every module uses these.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace korvane::base {

// U+FFFD, what every conversion puts in place of a byte or unit it cannot decode.
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes one well-formed UTF-8 sequence at `pos` (no overlong forms, no
// surrogates, nothing above U+10FFFF). Returns its length, 0 when the bytes at
// `pos` do not start one; a caller that goes on skips one byte.
std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t& codePoint);

// Appends the UTF-8 form of `codePoint` (a scalar value).
void AppendUtf8(std::string& out, char32_t codePoint);

bool IsValidUtf8(std::string_view text);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view units);

// UTF-8 to wide text: UTF-16 where wchar_t has 16 bits (Windows), UTF-32
// elsewhere. A malformed byte becomes U+FFFD.
std::wstring Utf8ToWide(std::string_view utf8);

// Wide text (UTF-16 or UTF-32, as above) to UTF-8; what cannot be decoded
// becomes U+FFFD.
std::string WideToUtf8(std::wstring_view wide);

// A path as UTF-8 text, whatever the platform's native encoding.
inline std::string PathToUtf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// A UTF-8 text as a path.
inline std::filesystem::path Utf8ToPath(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace korvane::base
