// Conversion of the legacy Chinese code page GB18030 to UTF-8, one
// implementation per platform (Gb18030_posix.cpp with iconv, Gb18030_win32.cpp).
#pragma once

#include <string>
#include <string_view>

namespace korvane::base::detail {

// Bytes that are not valid GB18030 become U+FFFD, one per undecodable byte, so
// that a damaged file still yields its readable parts.
std::string Gb18030ToUtf8(std::string_view bytes);

}  // namespace korvane::base::detail
