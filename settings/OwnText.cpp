// The process-wide choice of catalogue for the program's own texts, and the
// positional placeholders they use.
#include "settings/OwnText.h"

#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "settings/TextCatalogue.h"

namespace korvane::settings {

namespace {

// The chosen catalogue as it was read: never changed once made, so a lookup
// reads it without holding the lock.
struct LoadedCatalogue {
    std::filesystem::path path;
    std::uint8_t language = 0;
    std::int32_t languageBase = 0;
    CatalogueSection texts;
};

// Guards g_catalogue; a lookup holds it only to copy the pointer.
std::mutex g_mutex;
std::shared_ptr<const LoadedCatalogue> g_catalogue;
// Keeps loads in the order they were asked for, without holding g_mutex while
// the file is read.
std::mutex g_loadMutex;

std::shared_ptr<const LoadedCatalogue> Current()
{
    std::lock_guard lock(g_mutex);
    return g_catalogue;
}

void Replace(std::shared_ptr<const LoadedCatalogue> catalogue)
{
    std::lock_guard lock(g_mutex);
    g_catalogue.swap(catalogue);
}

std::shared_ptr<const LoadedCatalogue> Load(std::filesystem::path txtPath, std::uint8_t language)
{
    auto catalogue = std::make_shared<LoadedCatalogue>();
    catalogue->texts = CatalogueSection(txtPath, TextCatalogue::kSection);
    catalogue->path = std::move(txtPath);
    catalogue->language = language;
    catalogue->languageBase = LanguageBase(language);
    return catalogue;
}

}  // namespace

void UseOwnTextCatalogue(std::filesystem::path txtPath, std::uint8_t language)
{
    std::lock_guard load(g_loadMutex);
    Replace(Load(std::move(txtPath), language));
}

void ReloadOwnTextCatalogue()
{
    std::lock_guard load(g_loadMutex);
    const std::shared_ptr<const LoadedCatalogue> current = Current();
    if (current) Replace(Load(current->path, current->language));
}

void UseBuiltInTexts()
{
    std::lock_guard load(g_loadMutex);
    Replace(nullptr);
}

std::optional<std::uint8_t> OwnTextLanguage()
{
    const std::shared_ptr<const LoadedCatalogue> catalogue = Current();
    if (!catalogue) return std::nullopt;
    return catalogue->language;
}

std::string OwnText(std::int32_t id, std::string_view english)
{
    const std::shared_ptr<const LoadedCatalogue> catalogue = Current();
    if (catalogue) {
        const std::string_view text = catalogue->texts.Find(TextKey(catalogue->languageBase, id));
        if (!text.empty()) return std::string(text);
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
