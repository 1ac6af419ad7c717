// The system's error sentences through FormatMessageW, converted to UTF-8, in
// the language of the program's own texts where Windows has that language.
#include "settings/Win32Text.h"

#include <windows.h>

#include <optional>

#include "base/TextEncoding.h"
#include "settings/OwnText.h"
#include "settings/TextCatalogue.h"

namespace korvane::settings {

namespace {

// The Windows language of a Sys.dat language byte: Simplified Chinese,
// English, or (any other value) Traditional Chinese.
LANGID LanguageIdOf(std::uint8_t language)
{
    if (language == kLanguageChinese) return MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    if (language == kLanguageEnglish) return MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    return MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL);
}

// The system's text for `error` in `languageId` (0: the system's own choice:
// the thread's, the user's, then the system's language), or none.
std::optional<std::wstring> FormatInLanguage(unsigned long error, DWORD languageId)
{
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, languageId, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr) {
        if (buffer != nullptr) ::LocalFree(buffer);
        return std::nullopt;
    }
    std::wstring text(buffer, length);
    ::LocalFree(buffer);
    return text;
}

}  // namespace

std::string SystemMessage(unsigned long error)
{
    // The sentence around it is in Sys.dat's language: the reason is asked in
    // the same one first, so that a message is not half in another by accident.
    std::optional<std::wstring> text;
    if (const std::optional<std::uint8_t> language = OwnTextLanguage()) {
        text = FormatInLanguage(error, LanguageIdOf(*language));
    }
    if (!text) text = FormatInLanguage(error, 0);
    if (!text) {
        return OwnText(kOwnTextSettings, "system error {0}", {std::to_string(error)});
    }
    // Without its closing line break and full stop, so it reads inside a sentence.
    while (!text->empty() &&
           (text->back() == L'\n' || text->back() == L'\r' || text->back() == L' ' ||
            text->back() == L'.' || text->back() == L'\x3002')) {
        text->pop_back();
    }
    return base::WideToUtf8(*text);
}

}  // namespace korvane::settings
