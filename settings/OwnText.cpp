// The process-wide choice of catalogue for the program's own texts, and the
// positional placeholders they use.
#include "settings/OwnText.h"

#include <mutex>
#include <optional>

#include "settings/TextCatalogue.h"

namespace korvane::settings {

namespace {

std::mutex g_mutex;
std::optional<TextCatalogue> g_catalogue;
std::optional<std::uint8_t> g_language;

}  // namespace

void UseOwnTextCatalogue(std::filesystem::path txtPath, std::uint8_t language)
{
    std::lock_guard lock(g_mutex);
    g_catalogue.emplace(std::move(txtPath), language);
    g_language = language;
}

void UseBuiltInTexts()
{
    std::lock_guard lock(g_mutex);
    g_catalogue.reset();
    g_language.reset();
}

std::optional<std::uint8_t> OwnTextLanguage()
{
    std::lock_guard lock(g_mutex);
    return g_language;
}

std::string OwnText(std::int32_t id, std::string_view english)
{
    std::optional<TextCatalogue> catalogue;
    {
        std::lock_guard lock(g_mutex);
        catalogue = g_catalogue;
    }
    if (catalogue) {
        std::string text = catalogue->GetWholeText(TextCatalogue::kSection, id);
        if (!text.empty()) return text;
    }
    return std::string(english);
}

std::string FillText(std::string_view text, std::initializer_list<std::string_view> args)
{
    std::string filled;
    filled.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool placeholder = text[i] == '{' && i + 2 < text.size() && text[i + 2] == '}' &&
                                 text[i + 1] >= '0' && text[i + 1] <= '9';
        const auto index = placeholder ? static_cast<std::size_t>(text[i + 1] - '0') : 0;
        if (placeholder && index < args.size()) {
            filled += *(args.begin() + index);
            i += 2;
        } else {
            filled += text[i];
        }
    }
    return filled;
}

std::string OwnText(std::int32_t id, std::string_view english,
                    std::initializer_list<std::string_view> args)
{
    return FillText(OwnText(id, english), args);
}

}  // namespace korvane::settings
