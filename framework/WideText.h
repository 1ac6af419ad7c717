// Text at the Win32 boundary: the program keeps UTF-8, Win32's wide functions
// take UTF-16. A malformed UTF-8 byte becomes U+FFFD, an unpaired surrogate too.
#pragma once

#include <string>
#include <string_view>

namespace korvane::framework {

std::wstring ToWide(std::string_view utf8);
std::string FromWide(std::wstring_view utf16);

}  // namespace korvane::framework
