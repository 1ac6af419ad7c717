// The system's error sentences through FormatMessageW, converted to UTF-8.
#include "settings/Win32Text.h"

#include <windows.h>

#include "settings/TextEncoding.h"

namespace korvane::settings {

std::string SystemMessage(unsigned long error)
{
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr) return "system error " + std::to_string(error);
    std::wstring text(buffer, length);
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                             text.back() == L'.')) {
        text.pop_back();
    }
    return WideToUtf8(text);
}

}  // namespace korvane::settings
