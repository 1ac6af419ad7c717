// GB18030 to UTF-8 through the Windows code page 54936.
#include "base/Gb18030.h"

#include <windows.h>

#include "base/TextEncoding.h"

namespace korvane::base::detail {

namespace {
constexpr UINT kCodePageGb18030 = 54936;
}  // namespace

std::string Gb18030ToUtf8(std::string_view bytes)
{
    if (bytes.empty()) return {};
    const int inLength = static_cast<int>(bytes.size());
    // Without MB_ERR_INVALID_CHARS, invalid bytes become U+FFFD.
    const int wideLength =
        ::MultiByteToWideChar(kCodePageGb18030, 0, bytes.data(), inLength, nullptr, 0);
    if (wideLength <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    ::MultiByteToWideChar(kCodePageGb18030, 0, bytes.data(), inLength, wide.data(), wideLength);
    return WideToUtf8(wide);
}

}  // namespace korvane::base::detail
