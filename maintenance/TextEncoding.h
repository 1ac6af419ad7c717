// Conversions between the UTF-8 text the core keeps and the wide text and paths
// of the platform, without loss for any character.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace korvane::maintenance {

// UTF-8 to wide text: UTF-16 where wchar_t has 16 bits (Windows), UTF-32
// elsewhere. A malformed byte becomes U+FFFD.
std::wstring Utf8ToWide(std::string_view utf8);

// A path as UTF-8 text, whatever the platform's native encoding.
std::string PathToUtf8(const std::filesystem::path& path);

// A UTF-8 text as a path.
std::filesystem::path Utf8ToPath(std::string_view utf8);

}  // namespace korvane::maintenance
